// The four closed curves. The constants are the single-precision roundings of 2π and π (and
// the table's steps per radian) that the curves were first tuned with: written out in full so
// the sampled points land where they always have.
#include "scenes/knot/knot_path.h"

#include <cmath>

#include "gfx/sine_table.h"

namespace {
constexpr double kTwoPiSingle = 6.2831854820251465;
constexpr double kElevenTwoPiSingle = 69.11504030227661;
constexpr double kPiSingle = 3.1415927410125732;
constexpr double kFourThirds = 1.3333333333333333;
constexpr double kSixElevenths = 0.5454545454545454;
constexpr double kTableStepsPerRadian = 40.743673908005874;

// Types 0 and "other" share this shape; only the final factor differs.
Vec3 knotPoint(double s, double t, double factor) {
    using std::cos;
    using std::sin;
    const double x = s * (10.0 * (cos(t) + cos(3.0 * t)) + cos(2.0 * t) + cos(4.0 * t)) * factor;
    const double y = s * (4.0 * (sin(2.5 * t) * sin(3.0 * t) + sin(4.0 * t)) - 2.0 * sin(6.0 * t)) * factor;
    const double z = s * (6.0 * sin(t) + 10.0 * sin(3.0 * t)) * factor;
    return {float(x), float(y), float(z)};
}

Vec3 trefoilPoint(double s, double t) {
    using std::cos;
    using std::sin;
    const double x = s * (kFourThirds * cos(t + kPiSingle) + 2.0 * cos(3.0 * t));
    const double y = s * (0.5 * sin(2.0 * t) + sin(4.0 * t));
    const double z = s * (2.0 * sin(3.0 * t) + kFourThirds * sin(t));
    return {float(x), float(y), float(z)};
}

// The torus knot takes its tube radius from the coarse table, like every other turn in the
// program; only its angles around the ring are exact.
Vec3 torusKnotPoint(double s, int i, int n) {
    const double u = double(i) * kElevenTwoPiSingle / double(n);
    const double v = u * kSixElevenths;
    const int j = int(v * kTableStepsPerRadian) & 255;  // v stays within 0..38: always in range
    const double r = 1.0 + 0.5 * double(SineTable[j + 64]);
    return {float(s * r * std::cos(u)), float(s * 0.5 * std::sin(v)), float(s * r * std::sin(u))};
}
}  // namespace

void KnotPath::init(float scale, int count, int type) {
    if (count < 1) {
        points.clear();
        return;
    }
    points.resize(std::size_t(count) + 1);
    const double s = scale;
    for (int i = 0; i <= count; ++i) {
        const double t = double(i) * kTwoPiSingle / double(count);
        Vec3& p = points[std::size_t(i)];
        switch (type) {
        case 0: p = knotPoint(s, t, 0.1); break;
        case 1: p = trefoilPoint(s, t); break;
        case 2: p = torusKnotPoint(s, i, count); break;
        default: p = knotPoint(s, t, 1.0); break;
        }
    }
}

int pathIndex(float position) {
    // Below 2^30 every float's integer part fits an int with room to spare.
    if (!(position >= 0.0f && position < 1073741824.0f)) return kNoPathIndex;
    return int(position);
}
