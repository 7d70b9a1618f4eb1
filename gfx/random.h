// The process-wide random generator: the classic linear congruential one
// (state × 214013 + 2531011, bits 16 to 30), seeded with 1 and never reseeded by the program.
// Every scene draws from this one sequence in a fixed order, so every run shows the same
// layouts. Never use the C library's rand(): its sequence differs between platforms.
#pragma once

#include <cstdint>

// The generator's state; tests set it back to 1 to replay the sequence from the start.
extern std::uint32_t lcgState;

// The next number, 0 to 32767.
int lcgRand();
