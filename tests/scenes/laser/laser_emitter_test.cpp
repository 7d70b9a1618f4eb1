// Rays and emitters: taper, kinks in groups of three, how many random numbers an update takes,
// the chain of rays, and how heading and side follow the start points.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/laser/laser_emitter.h"
#include "tests/scenes/scene_test_support.h"

namespace {

const Colour4 kOrange{1.0f, 0.5f, 0.0f, 0.3f};
const Vec3 kTarget{0.7f, -0.4f, 1.1f};

Vec3 spine(const RaySegment& s) { return Vec3::subtract(s.corners[2], s.corners[1]); }
float length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }
float cosDegrees(float d) { return std::cos(d * 3.14159265f / 180.0f); }

class LaserEmitterTest : public testing::Test {
protected:
    void SetUp() override {
        buildSineTable();
        lcgState = 1;
        emitter.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    }
    LaserEmitter emitter;
};

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
                const std::vector<RaySegment>& a = alone[e].rays[k].segments;
                const std::vector<RaySegment>& b = together[e].rays[k].segments;
                ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(RaySegment)), 0) << e << "/" << k;
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

}  // namespace
