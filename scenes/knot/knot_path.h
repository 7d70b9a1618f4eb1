// KnotPath: a closed parametric space curve sampled once into count + 1 points (the last
// repeating the first). The knot track, the corner orbits of the outer boxes and the three
// laser curves are all paths of this kind, read by index afterwards.
#pragma once

#include <cstddef>
#include <vector>

#include "gfx/vec3.h"

class KnotPath {
public:
    KnotPath() = default;
    virtual ~KnotPath() = default;
    KnotPath(const KnotPath&) = default;
    KnotPath& operator=(const KnotPath&) = default;
    KnotPath(KnotPath&&) = default;
    KnotPath& operator=(KnotPath&&) = default;

    // Replaces the points by count + 1 samples of curve type 0, 1, 2 or (any other value) the
    // unscaled type 0. Type 2 reads the sine table, which must be built first. A count below 1
    // leaves the path empty rather than dividing by zero.
    void init(float scale, int count, int type);

    std::size_t size() const { return points.size(); }

    std::vector<Vec3> points;
};

// The point index a fractional position along a path selects: its integer part (truncated).
// Anything that is not a number, negative or far beyond any path gives kNoPathIndex, which
// every caller treats as "past the end", so a stalled frame never turns into an undefined
// conversion or a read outside the points.
constexpr int kNoPathIndex = 0x7fffffff;
int pathIndex(float position);
