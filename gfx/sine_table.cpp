// The sine table and its indexing rule.
#include "gfx/sine_table.h"

#include <cmath>

float SineTable[kSineTableSize];

void buildSineTable() {
    for (int i = 0; i < kSineTableSize; ++i) {
        SineTable[i] = float(std::sin(i * 0.02454369260617026));
    }
}

int sineIndex(float degrees) {
    // The float radians factor and the double steps-per-radian factor multiply to slightly
    // more than 256/360, which puts every whole step exactly on its own index.
    const float radians = degrees * 0.017453292f;
    const double steps = double(radians) * 40.743673908005874;
    // Beyond the range of int the angle means nothing anyway; keep the conversion defined.
    if (!(std::fabs(steps) < 2147483520.0)) return 0;
    return int(steps) & 255;
}
