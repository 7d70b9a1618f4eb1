// The laser scene under the sequencer with a fake spectrum, and on screen: dim orange bolts
// reaching in from the left, only in its window.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "tests/scenes/scene_test_support.h"

namespace {

void setLevel(DemoHarness& h, float level) {
    h.audio.fill(0.0f);
    h.audio.bins[33] = level;  // band(1300)
}

void expectOnPaths(const LaserScene& s) {
    for (const auto* positions : {&s.pathPos0, &s.pathPos1, &s.pathPos2}) {
        for (const float pos : *positions) ASSERT_LT(pathIndex(pos), s.pathSteps) << pos;
    }
}

using LaserSceneTest = testing::Test;

TEST_F(LaserSceneTest, InitBuildsThirtyBoltsThreePathsAndDrawsThirtyStartPositions) {
    buildSineTable();
    lcgState = 1;
    LaserScene& s = demo.laser;
    s.init();
    EXPECT_EQ(drawsSince(1), 30);
    ASSERT_EQ(s.emitters2.size(), 10u);
    lcgState = 1;  // position by position: track 0, 1, 2 of emitter 0, then of emitter 1, ...
    for (std::size_t j = 0; j < 10; ++j) {
        EXPECT_EQ(s.pathPos0[j], float(lcgRand() * 800 / 32767));
        EXPECT_EQ(s.pathPos1[j], float(lcgRand() * 800 / 32767));
        EXPECT_EQ(s.pathPos2[j], float(lcgRand() * 800 / 32767));
    }
}

TEST_F(LaserSceneTest, PositionsAtTheLastPointsStartOverBeforeAPointIsRead) {
    DemoHarness h(60);
    h.init();
    setLevel(h, 0.5f);
    LaserScene& s = demo.laser;
    s.pathPos0[0] = 799.0f;
    s.pathPos1[0] = 800.0f;
    s.pathPos2[0] = 798.999f;
    s.pathPos0[1] = 12.5f;
    s.update(1.0f);
    EXPECT_EQ(s.pathPos0[0], 0.0f);
    EXPECT_EQ(s.pathPos1[0], 0.0f);
    EXPECT_EQ(s.emitters0[0].rays[0].segments[0].corners[1].x, s.path0.points[0].x);
    EXPECT_EQ(s.emitters1[0].rays[0].segments[0].corners[1].z, s.path1.points[0].z);
    EXPECT_FLOAT_EQ(s.pathPos0[1], 12.51f);  // a hundredth of dt per frame
    // 798.999 reaches 799, is read there once, and starts over on the next update.
    EXPECT_EQ(s.emitters2[0].rays[0].segments[0].corners[1].y, s.path2.points[799].y);
    s.update(1.0f);
    EXPECT_EQ(s.pathPos2[0], 0.0f);
    EXPECT_EQ(s.emitters2[0].rays[0].segments[0].corners[1].y, s.path2.points[0].y);

}

TEST_F(LaserSceneTest, ALevelOfExactlyOneHundredthIsQuietAndFreezesFromTheNextFrame) {
    DemoHarness h(60);
    h.init();
    setLevel(h, 0.5f);
    skipTo(h, 60, 116.0);  // after the knot track scene, whose pulse draws numbers too
    h.step();
    ASSERT_EQ(demo.laser.active, 1);
    ASSERT_EQ(demo.knot.active, 0);
    EXPECT_EQ(demo.laser.quiet, 0);

    const auto frame = [&](float level, int draws, bool frozenAfter) {
        setLevel(h, level);
        const std::uint32_t before = lcgState;
        const float pos = demo.laser.pathPos1[5];
        h.step();
        EXPECT_EQ(drawsSince(before), draws);
        EXPECT_EQ(demo.laser.emitters1[5].frozen, frozenAfter ? 1 : 0);
        EXPECT_GT(demo.laser.pathPos1[5], pos);
    };
    frame(0.01f, 30 * 66, true);    // the quiet frame still crackles...
    frame(0.01f, 0, true);          // ...the next one holds still
    frame(0.0101f, 0, false);       // loud again: thawed after this frame's skipped update
    frame(0.0101f, 30 * 66, false);
}

class LaserWindowAtRate : public testing::TestWithParam<std::uint32_t> {};

TEST_P(LaserWindowAtRate, TheWholeWindowWithAStallStaysOnThePaths) {
    const std::uint32_t fps = GetParam();
    DemoHarness h(fps);
    h.init();
    skipTo(h, fps, 104.0);
    int frames = 0;
    while (demo.musicTime < 152.0f) {
        // Crackling now and then, quiet (frozen, cheap to run) in between; the positions move
        // on either way. At a thousand frames a second crackling is slow to run, so briefer.
        const float loud = fps >= 1000 ? 0.02f : 1.0f;
        setLevel(h, std::fmod(demo.musicTime, 4.0f) < loud ? 0.5f : 0.0f);
        if (frames == int(fps) * 10) h.clock.setFrame(h.clock.frame() + 3 * fps);  // a stall of three seconds
        h.step();
        frames += demo.laser.active;
        expectOnPaths(demo.laser);
        ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_NEAR(double(frames), 43.592 * fps, 2.0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, LaserWindowAtRate, testing::Values(1u, 10u, 60u, 1000u));

// The bolts add at most 0.3 of their colour per layer onto the picture.
bool orangeish(const Rgb& p) { return p.r >= 20 && p.r > p.g + 8 && p.g >= p.b && p.b * 3 < p.r; }

class LaserPixelTest : public ScenePixelTest {
protected:
    bool wantTextures() const override { return true; }
};

TEST_F(LaserPixelTest, OrangeBoltsReachInFromTheLeftOnlyInsideTheWindow) {
    harness.init();
    setLevel(harness, 0.5f);
    const auto p = frameAt(120.0);
    ASSERT_EQ(demo.laser.active, 1);
    ASSERT_EQ(demo.knot.active, 0);
    // The centre sits at (2.14, 1.3, 7.545), just off the left edge of the view.
    int right = 0;
    for (std::size_t i = 0; i < p.size(); ++i) right += int(i) % gl_->width() >= gl_->width() * 3 / 5 && orangeish(p[i]);
    EXPECT_GT(count(p, orangeish), 400);
    EXPECT_LT(right, 20);

    const auto after = frameAt(152.0);
    ASSERT_EQ(demo.laser.active, 0);
    int stillThere = 0;
    for (std::size_t i = 0; i < p.size(); ++i) stillThere += orangeish(p[i]) && orangeish(after[i]) ? 1 : 0;
    EXPECT_LT(stillThere, 20);
}

}  // namespace
