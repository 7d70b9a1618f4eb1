// The curve generator: where each curve starts, how many points it holds, that it closes, and
// how positions become safe indices.
#include <gtest/gtest.h>

#include <limits>

#include "gfx/sine_table.h"
#include "scenes/knot/knot_path.h"

namespace {

TEST(KnotPath, EachCurveStartsOnTheXAxisClosesAndHoldsCountPlusOnePoints) {
    buildSineTable();
    const struct {
        int type;
        double startPerScale;
    } cases[] = {{0, 2.2}, {1, 2.0 - 4.0 / 3.0}, {2, 1.5}, {3, 22.0}, {-1, 22.0}};
    for (const float s : {1.0f, 10.0f, 0.25f}) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << "type " << c.type << " scale " << s);
            KnotPath path;
            path.init(s, 800, c.type);
            ASSERT_EQ(path.points.size(), 801u);
            const Vec3 first = path.points.front(), last = path.points.back();
            EXPECT_NEAR(first.x, c.startPerScale * s, 1e-5 * s);
            EXPECT_NEAR(first.y, 0.0, 1e-6 * s);
            EXPECT_NEAR(first.z, 0.0, 1e-6 * s);
            EXPECT_NEAR(last.x, first.x, 1e-4 * s);
            EXPECT_NEAR(last.y, first.y, 1e-4 * s);
            EXPECT_NEAR(last.z, first.z, 1e-4 * s);
        }
    }
    KnotPath path;
    path.init(1.0f, 180, 2);
    path.init(3.0f, 10, 0);  // a second init shortens
    ASSERT_EQ(path.points.size(), 11u);
    EXPECT_NEAR(path.points[0].x, 6.6f, 1e-5f);
    path.init(1.0f, 0, 1);  // never asked for: no division by zero, no wild size
    EXPECT_TRUE(path.points.empty());
}

TEST(KnotPath, PositionsTruncateAndNothingNoPathHoldsBecomesAnIndex) {
    EXPECT_EQ(pathIndex(0.0f), 0);
    EXPECT_EQ(pathIndex(799.999f), 799);
    EXPECT_EQ(pathIndex(1e9f), 1000000000);
    for (const float bad : {-0.5f, 3e9f, std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()}) {
        EXPECT_EQ(pathIndex(bad), kNoPathIndex) << bad;
    }
}

}  // namespace
