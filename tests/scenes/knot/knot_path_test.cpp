// The curve generator: where each curve starts, how many points it holds, that it closes, and
// how fractional positions turn into safe indices.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gfx/sine_table.h"
#include "scenes/knot/knot_path.h"

namespace {

class KnotPathTest : public testing::Test {
protected:
    void SetUp() override { buildSineTable(); }
};

TEST_F(KnotPathTest, EachCurveStartsOnTheXAxisScaledAndCloses) {
    struct Case {
        int type;
        double startPerScale;
    };
    const Case cases[] = {{0, 2.2}, {1, 2.0 - 4.0 / 3.0}, {2, 1.5}, {3, 22.0}, {-1, 22.0}};
    for (const float s : {1.0f, 10.0f, 0.25f}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << "type " << c.type << " scale " << s);
            KnotPath path;
            path.init(s, 800, c.type);
            ASSERT_EQ(path.points.size(), 801u);
            const Vec3 first = path.points.front();
            EXPECT_NEAR(first.x, c.startPerScale * s, 1e-5 * s);
            EXPECT_NEAR(first.y, 0.0, 1e-6 * s);
            EXPECT_NEAR(first.z, 0.0, 1e-6 * s);
            const Vec3 last = path.points.back();
            EXPECT_NEAR(last.x, first.x, 1e-4 * s);
            EXPECT_NEAR(last.y, first.y, 1e-4 * s);
            EXPECT_NEAR(last.z, first.z, 1e-4 * s);
        }
    }
}

TEST_F(KnotPathTest, TrackSpansItsKnownExtent) {
    KnotPath track;
    track.init(10.0f, 800, 0);
    float minX = 1e9f, maxX = -1e9f, maxY = 0.0f, maxZ = 0.0f;
    for (const Vec3& p : track.points) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        maxY = std::max(maxY, std::fabs(p.y));
        maxZ = std::max(maxZ, std::fabs(p.z));
    }
    EXPECT_NEAR(maxX, 22.0f, 0.01f);
    EXPECT_NEAR(minX, -18.0f, 0.05f);
    EXPECT_NEAR(maxY, 8.27f, 0.05f);
    EXPECT_NEAR(maxZ, 13.15f, 0.05f);
}

TEST_F(KnotPathTest, TorusKnotTakesItsRadiusFromTheTable) {
    // A quarter of the way round the ring (i = n/44) the tube angle v is 6/11 × π/2: its table
    // cosine, not the exact one, sets the radius.
    KnotPath path;
    path.init(1.0f, 44, 2);
    const double u = 69.11504030227661 / 44.0;
    const double v = u * 0.5454545454545454;
    const int j = int(v * 40.743673908005874) & 255;
    const double r = 1.0 + 0.5 * SineTable[j + 64];
    EXPECT_FLOAT_EQ(path.points[1].x, float(r * std::cos(u)));
    EXPECT_FLOAT_EQ(path.points[1].z, float(r * std::sin(u)));
    EXPECT_FLOAT_EQ(path.points[1].y, float(0.5 * std::sin(v)));
}

TEST_F(KnotPathTest, AnotherInitReplacesThePointsAndCanShortenThePath) {
    KnotPath path;
    path.init(1.0f, 180, 2);
    ASSERT_EQ(path.points.size(), 181u);
    path.init(3.0f, 10, 0);
    ASSERT_EQ(path.points.size(), 11u);
    EXPECT_NEAR(path.points[0].x, 6.6f, 1e-5f);
    path.init(1.0f, 1, 1);
    EXPECT_EQ(path.points.size(), 2u);
    path.init(1.0f, 0, 1);  // never asked for; must not divide by zero or size wildly
    EXPECT_TRUE(path.points.empty());
}

TEST_F(KnotPathTest, CopiesAreIndependent) {
    KnotPath a;
    a.init(1.0f, 20, 0);
    KnotPath b = a;
    a.init(1.0f, 5, 1);
    EXPECT_EQ(b.points.size(), 21u);
    EXPECT_NEAR(b.points[0].x, 2.2f, 1e-5f);
}

TEST(PathIndex, TruncatesAndRefusesWhatNoPathHolds) {
    EXPECT_EQ(pathIndex(0.0f), 0);
    EXPECT_EQ(pathIndex(799.999f), 799);
    EXPECT_EQ(pathIndex(800.0f), 800);
    EXPECT_EQ(pathIndex(1e9f), 1000000000);
    EXPECT_EQ(pathIndex(-0.5f), kNoPathIndex);
    EXPECT_EQ(pathIndex(3e9f), kNoPathIndex);
    EXPECT_EQ(pathIndex(std::numeric_limits<float>::infinity()), kNoPathIndex);
    EXPECT_EQ(pathIndex(std::numeric_limits<float>::quiet_NaN()), kNoPathIndex);
}

}  // namespace
