// The knot track scene on screen, drawn through the demo: red or grey inner boxes where the
// track puts them, yellow corner points while the high band sounds, translucent orange outer
// boxes after 75 s, and nothing of the scene outside its window.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/scenes/scene_test_support.h"

namespace {

bool reddish(const Rgb& p) { return p.r > 80 && p.g < 40 && p.b < 40; }
bool greyish(const Rgb& p) { return p.r > 90 && std::abs(p.r - p.g) < 12 && std::abs(p.g - p.b) < 12; }
bool yellowish(const Rgb& p) { return p.r > 150 && p.g > 150 && p.b < 80; }
bool orangeish(const Rgb& p) { return p.r > 40 && p.r > 2 * p.g + 10 && p.b * 2 < p.r; }

class KnotPixelTest : public ScenePixelTest {
protected:
    void start(float bass, float treble) {
        // The knot scene alone: the clouds drift over the boxes and the bolts share colours.
        harness.hidden = {&demo.cloud.active, &demo.laser.active};
        harness.init();
        harness.audio.fill(0.0f);
        harness.audio.bins[3] = bass;      // band(150)
        harness.audio.bins[128] = treble;  // band(5000)
    }

    // Of the pairs whose centre is on screen, the share whose centre pixel is as wanted.
    double centresThatAre(const std::vector<Rgb>& p, bool (*wanted)(const Rgb&)) const {
        int visible = 0, matching = 0;
        for (const float pos : demo.knot.trackPos) {
            int x = 0, y = 0;
            if (!project(demo.knot.track.points[std::size_t(pathIndex(pos))], x, y)) continue;
            ++visible;
            matching += wanted(pixel(p, x, y)) ? 1 : 0;
        }
        EXPECT_GE(visible, 5);
        return visible > 0 ? double(matching) / visible : 0.0;
    }
};

TEST_F(KnotPixelTest, StrongBassDrawsRedBoxesOnTheTrackAndTrebleYellowCornersOnlyInTheWindow) {
    start(0.5f, 0.5f);
    const auto early = frameAt(58.0, "knot_58s");
    ASSERT_EQ(demo.knot.active, 0);
    EXPECT_LT(count(early, reddish), 10);
    EXPECT_LT(count(early, yellowish), 10);

    const auto p = frameAt(62.0, "knot_62s");
    ASSERT_EQ(demo.knot.active, 1);
    EXPECT_GE(centresThatAre(p, reddish), 0.75);
    EXPECT_GT(count(p, yellowish), 100);

    const auto late = frameAt(116.5, "knot_116s");
    ASSERT_EQ(demo.knot.active, 0);
    EXPECT_LT(count(late, greyish) + count(late, yellowish), 10);
}

TEST_F(KnotPixelTest, BassExactlyOnTheThresholdIsGreyWithoutCorners) {
    start(0.1f, 0.001f);
    const auto p = frameAt(62.0, "knot_62s_threshold");
    EXPECT_GE(centresThatAre(p, greyish), 0.75);
    EXPECT_LT(count(p, yellowish) + count(p, reddish), 10);
}

TEST_F(KnotPixelTest, AfterSeventyFiveTheOuterBoxesAreTranslucentOrange) {
    start(0.0f, 0.0f);
    EXPECT_LT(count(frameAt(70.0, "knot_70s"), orangeish), 20);
    const auto p = frameAt(80.0, "knot_80s");
    ASSERT_EQ(demo.knot.mode, 4);
    EXPECT_GT(count(p, orangeish), 1000);
    // The grey inner boxes show through the orange at the centres.
    EXPECT_GE(centresThatAre(p, [](const Rgb& c) { return c.r > 90 && c.g > 60 && c.b > 60; }), 0.5);
}

}  // namespace
