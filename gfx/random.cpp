// The process-wide linear congruential generator.
#include "gfx/random.h"

std::uint32_t lcgState = 1;

int lcgRand() {
    lcgState = lcgState * 214013u + 2531011u;
    return int((lcgState >> 16) & 32767u);
}
