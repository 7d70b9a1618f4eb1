// Rays and emitters: colours, taper, kinks in groups of three, the number of random draws, the
// chain of rays, and how heading and side follow the start points.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/laser/laser_emitter.h"

namespace {

const Colour4 kOrange{1.0f, 0.5f, 0.0f, 0.3f};

// How many draws the generator made since it stood at `from`.
int drawsSince(std::uint32_t from) {
    const std::uint32_t now = lcgState;
    lcgState = from;
    int n = 0;
    while (lcgState != now && n < 100000) {
        lcgRand();
        ++n;
    }
    return n;
}

Vec3 spine(const RaySegment& s) { return Vec3::subtract(s.corners[2], s.corners[1]); }

float length(const Vec3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

class LaserEmitterTest : public testing::Test {
protected:
    void SetUp() override {
        buildSineTable();
        lcgState = 1;
    }
};

TEST_F(LaserEmitterTest, SecondHalfOfARayRedensDarkensAndFadesPastZero) {
    LaserRay ray;
    ray.init(20, 0.2f, 0.1f, kOrange);
    ASSERT_EQ(ray.segments.size(), 20u);
    EXPECT_FLOAT_EQ(ray.widthStep, 0.005f);
    for (int i = 0; i < 10; ++i) {
        const Colour4& c = ray.segments[std::size_t(i)].colour;
        EXPECT_EQ(c.r, 1.0f);
        EXPECT_EQ(c.g, 0.5f);
        EXPECT_EQ(c.a, 0.3f);
    }
    for (int i = 10; i < 20; ++i) {
        SCOPED_TRACE(i);
        const Colour4& c = ray.segments[std::size_t(i)].colour;
        const int k = i - 9;
        EXPECT_NEAR(c.a, 0.3 - 0.05 * k, 1e-6);  // 0.25 down to -0.20: the GL clamps
        EXPECT_NEAR(c.r, 1.0 + 0.05 * k, 1e-6);  // above 1
        EXPECT_NEAR(c.g, 0.5 - 0.025 * k, 1e-6);
        EXPECT_EQ(c.b, 0.0f);
    }
    EXPECT_NEAR(ray.segments[19].colour.a, -0.2f, 1e-6f);
    EXPECT_GT(ray.segments[19].colour.r, 1.49f);
    // Default texture coordinates: v is 1 on the spine, 0 on the edge.
    EXPECT_EQ(ray.segments[0].texCoords[1].v, 1.0f);
    EXPECT_EQ(ray.segments[0].texCoords[3].u, 1.0f);
    EXPECT_EQ(ray.segments[0].texCoords[3].v, 0.0f);
}

TEST_F(LaserEmitterTest, WithoutSpreadARayIsAStraightTaperingRibbonAlongHeading) {
    LaserRay ray;
    ray.init(20, 0.2f, 0.1f, kOrange);
    const Vec3 start{1.0f, 2.0f, 3.0f};
    ray.update(start, 0.0f);
    EXPECT_EQ(drawsSince(1), 22);
    for (std::size_t i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        const RaySegment& s = ray.segments[i];
        EXPECT_NEAR(s.corners[1].x, 1.0f + 0.2f * float(i), 1e-5f);
        EXPECT_NEAR(s.corners[2].x, 1.0f + 0.2f * float(i + 1), 1e-5f);
        EXPECT_EQ(s.corners[2].y, 2.0f);
        EXPECT_EQ(s.corners[2].z, 3.0f);
        // The edge is off the spine along side (0, 1, 0) by the tapered width.
        EXPECT_NEAR(s.corners[0].y - s.corners[1].y, 0.1f - 0.005f * float(i + 1), 1e-6f);
        EXPECT_NEAR(s.corners[3].y - s.corners[2].y, 0.1f - 0.005f * float(i + 1), 1e-6f);
        if (i > 0) {
            EXPECT_EQ(s.corners[1].x, ray.segments[i - 1].corners[2].x);
        }
    }
}

TEST_F(LaserEmitterTest, KinksAreSharedByThreeSegmentsAndDrawnAnewForTheNext) {
    LaserRay ray;
    ray.init(20, 0.2f, 0.1f, kOrange);
    ray.update({0.5f, 0.5f, 0.5f}, 30.0f);
    EXPECT_GE(ray.jitterRange, 30.0f);
    EXPECT_LE(ray.jitterRange, 39.0f);
    for (std::size_t group = 0; group < 7; ++group) {
        const Vec3 first = spine(ray.segments[group * 3]);
        EXPECT_NEAR(length(first), 0.2f, 1e-5f);
        for (std::size_t j = 1; j < 3 && group * 3 + j < 20; ++j) {
            const Vec3 other = spine(ray.segments[group * 3 + j]);
            EXPECT_NEAR(other.x, first.x, 1e-5f);
            EXPECT_NEAR(other.y, first.y, 1e-5f);
            EXPECT_NEAR(other.z, first.z, 1e-5f);
        }
        if (group > 0) {
            const Vec3 before = spine(ray.segments[group * 3 - 1]);
            EXPECT_GT(length(Vec3::subtract(first, before)), 1e-4f) << group;
        }
        // Not cumulative: every group stays within its own kink of the heading (1, 0, 0).
        EXPECT_GT(first.x / 0.2f, std::cos(3.0f * 19.5f * 3.14159265f / 180.0f));
    }
}

TEST_F(LaserEmitterTest, EmitterChainsRaysFromTheBranchSegmentAndDraws66Times) {
    LaserEmitter e;
    e.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    ASSERT_EQ(e.rays.size(), 3u);
    EXPECT_EQ(e.branchIndex, 6);
    EXPECT_EQ(e.frozen, 0);
    const Vec3 target{0.7f, -0.4f, 1.1f};
    e.update(target);
    EXPECT_EQ(drawsSince(1), 66);
    EXPECT_EQ(e.rays[0].segments[0].corners[1].x, target.x);
    const Vec3 branch0 = e.rays[0].segments[6].corners[2];
    const Vec3 branch1 = e.rays[1].segments[6].corners[2];
    EXPECT_EQ(e.rays[1].segments[0].corners[1].x, branch0.x);
    EXPECT_EQ(e.rays[2].segments[0].corners[1].z, branch1.z);
    EXPECT_EQ(e.lastPoint.y, branch1.y);  // the start of the last ray
    // Each further ray is kinked harder: 10, 20 and 30 degrees of spread.
    EXPECT_LT(e.rays[0].jitterRange, 13.01f);
    EXPECT_GE(e.rays[1].jitterRange, 20.0f);
    EXPECT_GE(e.rays[2].jitterRange, 30.0f);

    LaserEmitter other;
    other.init(3, 10, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    EXPECT_EQ(other.branchIndex, 3);
    other.init(2, 1, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    EXPECT_EQ(other.branchIndex, 0);
    other.update(target);  // the branch segment exists for any count of one or more
    EXPECT_EQ(other.rays[1].segments[0].corners[1].x, other.rays[0].segments[0].corners[2].x);
}

TEST_F(LaserEmitterTest, FirstUpdateGrowsAlongXAndLeavesSideOppositeHeading) {
    LaserEmitter e;
    e.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    const Vec3 target{0.7f, -0.4f, 1.1f};
    e.update(target);
    // Ray 0 grew along (1, 0, 0), turned at most half its largest spread about each axis.
    const Vec3 first = spine(e.rays[0].segments[0]);
    EXPECT_GT(first.x / 0.2f, std::cos(3.0f * 6.5f * 3.14159265f / 180.0f));
    // With lastPoint at the origin the new side is minus the start point, the heading plus it.
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        const LaserRay& ray = e.rays[k];
        EXPECT_NEAR(length(ray.heading), 1.0f, 1e-6f);
        EXPECT_EQ(ray.side.x, -ray.heading.x);
        EXPECT_EQ(ray.side.y, -ray.heading.y);
        EXPECT_EQ(ray.side.z, -ray.heading.z);
    }
    Vec3 expectedHeading = target;
    Vec3::normalize(expectedHeading);
    EXPECT_EQ(e.rays[0].heading.z, expectedHeading.z);

    // So the second update builds flat parallelograms: the edge lies on the spine's line, and
    // only the kinks give a segment any width.
    LaserRay flat = e.rays[0];
    flat.update(target, 0.0f);
    const RaySegment& s = flat.segments[0];
    const Vec3 across = Vec3::subtract(s.corners[0], s.corners[1]);
    const Vec3 along = spine(s);
    EXPECT_NEAR(std::fabs(dot(across, along)), length(across) * length(along), 1e-6f);
}

TEST_F(LaserEmitterTest, AZeroCoordinateKeepsHeadingAndSide) {
    LaserEmitter e;
    e.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    e.update({0.0f, 0.5f, 1.0f});
    EXPECT_EQ(e.rays[0].heading.x, 1.0f);  // the start point has x = 0
    EXPECT_EQ(e.rays[0].heading.y, 0.0f);
    EXPECT_EQ(e.rays[0].side.y, 1.0f);     // and so has lastPoint - start
    EXPECT_EQ(e.rays[0].side.x, 0.0f);

    // A start point off every axis, but level with the previous last point in y: heading
    // follows it, side stays.
    const Vec3 previousSide = e.rays[0].side;
    const float lastY = e.lastPoint.y;
    e.update({0.3f, lastY, 0.9f});
    Vec3 h{0.3f, lastY, 0.9f};
    Vec3::normalize(h);
    EXPECT_EQ(e.rays[0].heading.x, h.x);
    EXPECT_EQ(e.rays[0].side.x, previousSide.x);
    EXPECT_EQ(e.rays[0].side.y, previousSide.y);
}

TEST_F(LaserEmitterTest, AFrozenEmitterDrawsNothingAndKeepsItsShape) {
    LaserEmitter e;
    e.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    e.update({0.4f, 0.4f, 0.4f});
    const LaserEmitter before = e;
    e.frozen = 1;
    const std::uint32_t state = lcgState;
    e.update({1.0f, 2.0f, 3.0f});
    EXPECT_EQ(lcgState, state);
    EXPECT_EQ(e.lastPoint.x, before.lastPoint.x);
    EXPECT_EQ(e.rays[2].segments[19].corners[3].x, before.rays[2].segments[19].corners[3].x);
    // Thawed, the side comes from the lastPoint saved before the freeze.
    e.frozen = 0;
    const Vec3 target{1.0f, 2.0f, 3.0f};
    e.update(target);
    Vec3 d = Vec3::subtract(before.lastPoint, target);
    Vec3::normalize(d);
    EXPECT_EQ(e.rays[0].side.x, d.x);
    EXPECT_EQ(e.rays[0].side.z, d.z);
}

TEST_F(LaserEmitterTest, CopiesOwnTheirRays) {
    LaserEmitter a;
    a.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, kOrange);
    LaserEmitter b = a;
    a.update({0.4f, 0.4f, 0.4f});
    EXPECT_EQ(b.rays[0].segments[5].corners[2].x, 0.0f);
    EXPECT_NE(a.rays[0].segments[5].corners[2].x, 0.0f);
}

}  // namespace
