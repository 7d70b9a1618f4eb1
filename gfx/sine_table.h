// The one coarse sine table that every rotation and pulse in the program reads.
// 256 entries make a full turn (1.40625 degrees a step); 64 more let cos = entry i + 64
// without wrapping.
#pragma once

constexpr int kSineTableSize = 320;

extern float SineTable[kSineTableSize];

// Fills the table; the shell calls it once at start-up, before the demo is initialised.
void buildSineTable();

// Degrees to a table index 0..255: truncated toward zero to whole steps, low 8 bits kept,
// so -90 gives 192 and an angle between two steps falls to the one nearer zero.
int sineIndex(float degrees);
