// Rays and emitters: colours, taper, kinks in groups of three, how many random numbers an
// update takes, the chain of rays, and how heading and side follow the start points.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/laser/laser_emitter.h"

namespace {

const Colour4 kOrange{1.0f, 0.5f, 0.0f, 0.3f};
const Vec3 kTarget{0.7f, -0.4f, 1.1f};

// How many numbers the generator has drawn since it stood at `from`.
int drawsSince(std::uint32_t from) {
    const std::uint32_t now = lcgState;
    lcgState = from;
    int n = 0;
    for (; lcgState != now && n < 100000; ++n) lcgRand();
    return n;
}

Vec3 spine(const RaySegment& s) { return Vec3::subtract(s.corners[2], s.corners[1]); }
float length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
float cosDegrees(float d) { return std::cos(d * 3.14159265f / 180.0f); }

// Corners exactly as the bolt is described: every corner turned on its own by rotateAboutAxis,
// with the group's angles drawn for each group of three segments.
std::vector<Vec3> cornersByTheDescription(const LaserRay& shape, Vec3 start, float spread, std::uint32_t state) {
    lcgState = state;
    const auto draw = [](double range) { return double(lcgRand()) * range / 32767.0; };
    const float range = float(spread + draw(double(spread) * 0.3));
    float jx = 0.0f, jy = 0.0f, jz = 0.0f;
    std::vector<Vec3> out;
    Vec3 s = start;
    const std::size_t n = shape.segments.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i % 3 == 0) {
            jx = float(draw(range) - double(range) * 0.5);
            jy = float(draw(range) - double(range) * 0.5);
            jz = float(draw(range) - double(range) * 0.5);
        }
        const float h = shape.width - float(i + 1) * shape.widthStep;
        const Vec3 along = Vec3::scale(shape.heading, shape.segmentLength);
        const Vec3 across = Vec3::scale(shape.side, h);
        const Vec3 q1 = s;
        const Vec3 q0 = Vec3::add(s, across);
        Vec3 q2 = Vec3::add(s, along);
        Vec3 q3 = Vec3::add(Vec3::add(s, along), across);
        const float angles[3] = {jx, jy, jz};
        const Vec3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
        for (int a = 0; a < 3; ++a) {
            q2 = Vec3::add(q1, rotateAboutAxis(Vec3::subtract(q2, q1), angles[a], axes[a]));
            q3 = Vec3::add(q0, rotateAboutAxis(Vec3::subtract(q3, q0), angles[a], axes[a]));
        }
        out.insert(out.end(), {q0, q1, q2, q3});
        s = q2;
    }
    return out;
}

class LaserEmitterTest : public testing::Test {
protected:
    void SetUp() override {
        buildSineTable();
        lcgState = 1;
        emitter.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    }
    LaserEmitter emitter;
};

TEST_F(LaserEmitterTest, TheSecondHalfOfARayRedensDarkensAndFadesPastZero) {
    const LaserRay& ray = emitter.rays[1];
    ASSERT_EQ(ray.segments.size(), 20u);
    EXPECT_FLOAT_EQ(ray.widthStep, 0.005f);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const Colour4& c = ray.segments[std::size_t(i)].colour;
        const int k = i < 10 ? 0 : i - 9;
        EXPECT_NEAR(c.a, 0.3 - 0.05 * k, 1e-6);  // 0.25 ... -0.20 past the middle: the GL clamps
        EXPECT_NEAR(c.r, 1.0 + 0.05 * k, 1e-6);  // above 1
        EXPECT_NEAR(c.g, 0.5 - 0.025 * k, 1e-6);
        EXPECT_EQ(c.b, 0.0f);
    }
}

TEST_F(LaserEmitterTest, WithoutSpreadARayIsAStraightTaperingRibbonAlongHeading) {
    LaserRay& ray = emitter.rays[0];
    ray.update({1.0f, 2.0f, 3.0f}, 0.0f);
    EXPECT_EQ(drawsSince(1), 22);
    for (std::size_t i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const RaySegment& s = ray.segments[i];
        EXPECT_NEAR(s.corners[1].x, 1.0f + 0.2f * float(i), 1e-5f);
        EXPECT_NEAR(s.corners[2].x, 1.0f + 0.2f * float(i + 1), 1e-5f);
        EXPECT_EQ(s.corners[2].y, 2.0f);
        EXPECT_EQ(s.corners[2].z, 3.0f);
        // The outer edge is off the spine along side (0, 1, 0) by the tapered width.
        EXPECT_NEAR(s.corners[0].y - s.corners[1].y, 0.1f - 0.005f * float(i + 1), 1e-6f);
        EXPECT_NEAR(s.corners[3].y - s.corners[2].y, 0.1f - 0.005f * float(i + 1), 1e-6f);
    }
}

TEST_F(LaserEmitterTest, KinksAreSharedByThreeSegmentsAndDrawnAnewForTheNextThree) {
    LaserRay& ray = emitter.rays[0];
    ray.update({0.5f, 0.5f, 0.5f}, 30.0f);
    EXPECT_GE(ray.jitterRange, 30.0f);
    EXPECT_LE(ray.jitterRange, 39.0f);
    for (std::size_t i = 0; i < 20; ++i) {
        const Vec3 s = spine(ray.segments[i]);
        EXPECT_NEAR(length(s), 0.2f, 1e-5f);
        // Not cumulative: every group turns from heading (1, 0, 0) by its own kinks only.
        EXPECT_GT(s.x / 0.2f, cosDegrees(39.0f));
        if (i == 0) continue;
        const float change = length(Vec3::subtract(s, spine(ray.segments[i - 1])));
        if (i % 3 == 0) {
            EXPECT_GT(change, 1e-4f) << i;
        } else {
            EXPECT_LT(change, 1e-5f) << i;
        }
    }
}

TEST_F(LaserEmitterTest, EveryCornerIsBitForBitTheOneTurnedOnItsOwn) {
    // The ray shares one rotation per group and axis among its corners; the picture must not
    // move by a single bit for that. A slanted heading and side, and a hard kink, over 20
    // segments (seven groups, the last one short).
    LaserRay& ray = emitter.rays[2];
    Vec3 heading(0.3f, -0.8f, 0.52f);
    Vec3::normalize(heading);
    Vec3 side(-0.6f, 0.1f, 0.79f);
    Vec3::normalize(side);
    ray.heading = heading;
    ray.side = side;
    for (const float spread : {0.0f, 10.0f, 30.0f, 250.0f}) {
        SCOPED_TRACE(spread);
        const std::uint32_t state = 12345u + std::uint32_t(spread);
        const std::vector<Vec3> expected = cornersByTheDescription(ray, {0.7f, -1.3f, 2.2f}, spread, state);
        lcgState = state;
        ray.update({0.7f, -1.3f, 2.2f}, spread);
        ASSERT_EQ(expected.size(), 4 * ray.segments.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            const Vec3& got = ray.segments[i / 4].corners[i % 4];
            ASSERT_EQ(std::bit_cast<std::uint32_t>(got.x), std::bit_cast<std::uint32_t>(expected[i].x)) << i;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(got.y), std::bit_cast<std::uint32_t>(expected[i].y)) << i;
            ASSERT_EQ(std::bit_cast<std::uint32_t>(got.z), std::bit_cast<std::uint32_t>(expected[i].z)) << i;
        }
    }
}

TEST_F(LaserEmitterTest, BoltsBuiltTogetherMatchBoltsUpdatedOneByOne) {
    // Three bolts drawn in update order and built in step must equal three plain updates, bit
    // for bit, over a few frames (heading, side and last point carry over); a frozen bolt in
    // the group takes the one-by-one path and must not change at all.
    const Vec3 targets[3] = {{0.7f, -0.4f, 1.1f}, {-1.2f, 0.3f, 0.9f}, {0.2f, 1.5f, -0.8f}};
    LaserEmitter alone[3];
    LaserEmitter together[3];
    for (int e = 0; e < 3; ++e) {
        alone[e].init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
        together[e].init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    }
    for (int frame = 0; frame < 4; ++frame) {
        const int frozen = frame == 2 ? 1 : 0;  // the middle bolt stands still in frame 2
        alone[1].frozen = together[1].frozen = frozen;
        Vec3 moved[3];
        for (int e = 0; e < 3; ++e) moved[e] = Vec3::add(targets[e], Vec3(0.1f * float(frame), 0.0f, 0.05f));
        lcgState = 99u + std::uint32_t(frame);
        for (int e = 0; e < 3; ++e) alone[e].update(moved[e]);
        const std::uint32_t after = lcgState;
        lcgState = 99u + std::uint32_t(frame);
        for (LaserEmitter& e : together) e.drawKinks();
        EXPECT_EQ(lcgState, after);
        LaserEmitter* const group[3] = {&together[0], &together[1], &together[2]};
        LaserEmitter::buildTogether(group, moved, 3);
        for (int e = 0; e < 3; ++e) {
            for (std::size_t k = 0; k < 3; ++k) {
                for (std::size_t i = 0; i < 20; ++i) {
                    for (int c = 0; c < 4; ++c) {
                        const Vec3& a = alone[e].rays[k].segments[i].corners[c];
                        const Vec3& b = together[e].rays[k].segments[i].corners[c];
                        ASSERT_EQ(std::bit_cast<std::uint32_t>(a.x), std::bit_cast<std::uint32_t>(b.x));
                        ASSERT_EQ(std::bit_cast<std::uint32_t>(a.y), std::bit_cast<std::uint32_t>(b.y));
                        ASSERT_EQ(std::bit_cast<std::uint32_t>(a.z), std::bit_cast<std::uint32_t>(b.z));
                    }
                }
                EXPECT_EQ(alone[e].rays[k].heading.x, together[e].rays[k].heading.x);
                EXPECT_EQ(alone[e].rays[k].side.z, together[e].rays[k].side.z);
            }
            EXPECT_EQ(alone[e].lastPoint.y, together[e].lastPoint.y);
        }
    }
}

TEST_F(LaserEmitterTest, RaysChainFromTheBranchSegmentKinkHarderAndTake66Draws) {
    EXPECT_EQ(emitter.branchIndex, 6);
    emitter.update(kTarget);
    EXPECT_EQ(drawsSince(1), 66);
    EXPECT_EQ(emitter.rays[0].segments[0].corners[1].x, kTarget.x);
    const Vec3 branch0 = emitter.rays[0].segments[6].corners[2];
    const Vec3 branch1 = emitter.rays[1].segments[6].corners[2];
    EXPECT_EQ(emitter.rays[1].segments[0].corners[1].x, branch0.x);
    EXPECT_EQ(emitter.rays[2].segments[0].corners[1].z, branch1.z);
    EXPECT_EQ(emitter.lastPoint.y, branch1.y);
    EXPECT_LE(emitter.rays[0].jitterRange, 13.0f);
    EXPECT_GE(emitter.rays[1].jitterRange, 20.0f);
    EXPECT_GE(emitter.rays[2].jitterRange, 30.0f);

    LaserEmitter single;  // the branch segment exists for any count of one or more
    single.init(2, 1, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    EXPECT_EQ(single.branchIndex, 0);
    single.update(kTarget);
    EXPECT_EQ(single.rays[1].segments[0].corners[1].x, single.rays[0].segments[0].corners[2].x);
}

TEST_F(LaserEmitterTest, TheFirstUpdateGrowsAlongXAndLeavesSideOppositeHeading) {
    emitter.update(kTarget);
    const Vec3 first = spine(emitter.rays[0].segments[0]);
    EXPECT_GT(first.x / 0.2f, cosDegrees(13.0f));  // within ray 0's kinks of (1, 0, 0)
    // lastPoint was the origin, so side is minus the start point and heading plus it.
    for (const LaserRay& ray : emitter.rays) {
        EXPECT_NEAR(length(ray.heading), 1.0f, 1e-6f);
        EXPECT_EQ(ray.side.x, -ray.heading.x);
        EXPECT_EQ(ray.side.y, -ray.heading.y);
        EXPECT_EQ(ray.side.z, -ray.heading.z);
    }
    // The second update's straight parallelograms are therefore flat: edge and spine share a
    // line, and only the kinks give a segment width.
    LaserRay flat = emitter.rays[0];
    flat.update(kTarget, 0.0f);
    const Vec3 across = Vec3::subtract(flat.segments[0].corners[0], flat.segments[0].corners[1]);
    const Vec3 along = spine(flat.segments[0]);
    const float dot = across.x * along.x + across.y * along.y + across.z * along.z;
    EXPECT_NEAR(std::fabs(dot), length(across) * length(along), 1e-6f);
}

TEST_F(LaserEmitterTest, AZeroCoordinateKeepsHeadingOrSide) {
    emitter.update({0.0f, 0.5f, 1.0f});  // start and lastPoint - start both have x = 0
    EXPECT_EQ(emitter.rays[0].heading.x, 1.0f);
    EXPECT_EQ(emitter.rays[0].side.y, 1.0f);
    const Vec3 side = emitter.rays[0].side;
    const Vec3 level{0.3f, emitter.lastPoint.y, 0.9f};  // off every axis, level with lastPoint
    emitter.update(level);
    Vec3 h = level;
    Vec3::normalize(h);
    EXPECT_EQ(emitter.rays[0].heading.x, h.x);
    EXPECT_EQ(emitter.rays[0].side.x, side.x);
    EXPECT_EQ(emitter.rays[0].side.y, side.y);
}

TEST_F(LaserEmitterTest, AFrozenEmitterKeepsItsShapeAndThawsFromItsOldLastPoint) {
    emitter.update({0.4f, 0.4f, 0.4f});
    const LaserEmitter before = emitter;
    emitter.frozen = 1;
    const std::uint32_t state = lcgState;
    emitter.update({1.0f, 2.0f, 3.0f});
    EXPECT_EQ(lcgState, state);
    EXPECT_EQ(emitter.lastPoint.x, before.lastPoint.x);
    EXPECT_EQ(emitter.rays[2].segments[19].corners[3].x, before.rays[2].segments[19].corners[3].x);
    emitter.frozen = 0;
    emitter.update({1.0f, 2.0f, 3.0f});
    Vec3 d = Vec3::subtract(before.lastPoint, {1.0f, 2.0f, 3.0f});
    Vec3::normalize(d);
    EXPECT_EQ(emitter.rays[0].side.x, d.x);
    EXPECT_EQ(emitter.rays[0].side.z, d.z);
}

}  // namespace
