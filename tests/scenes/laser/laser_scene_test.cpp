// The laser scene under the sequencer with a fake spectrum.
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

int drawsSince(std::uint32_t from) {
    const std::uint32_t now = lcgState;
    lcgState = from;
    int n = 0;
    for (; lcgState != now && n < 1000000; ++n) lcgRand();
    return n;
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
    EXPECT_EQ(s.emitters1[3].rays.size(), 3u);
    EXPECT_EQ(s.emitters1[3].rays[2].segments.size(), 20u);
    EXPECT_FLOAT_EQ(s.emitters1[3].colour.g, 0.4f);
    EXPECT_FLOAT_EQ(s.emitters2[3].rays[0].segments[0].colour.g, 0.3f);
    EXPECT_EQ(s.path0.points.size(), 801u);
    EXPECT_NEAR(s.path1.points[0].x, 2.0f / 3.0f, 1e-5f);
    EXPECT_NEAR(s.path2.points[0].x, 1.5f, 1e-5f);
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

    for (const float dt : {30.0f, 100.0f, 150.0f, 1000.0f, 1e7f, 0.17f}) {
        for (float& p : s.pathPos0) p = 798.9f;
        for (int frame = 0; frame < 5; ++frame) {
            s.update(dt);
            expectOnPaths(s);
        }
    }
    skipTo(h, 60, 110.0);  // stalls through the sequencer: a frame of three seconds, one of ten
    for (const std::uint64_t frames : {180u, 600u}) {
        h.clock.setFrame(h.clock.frame() + frames - 1);
        h.step();
        EXPECT_NEAR(demo.dt, float(frames) / 6.0f, 0.02f);
        expectOnPaths(s);
    }
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

TEST_F(LaserSceneTest, AFailedSpectrumRebuildsOnceAndThenStandsStill) {
    DemoHarness h(60);
    h.init();
    h.audio.spectrumFails = true;
    skipTo(h, 60, 104.0);
    const LaserEmitter asInit = demo.laser.emitters0[4];
    std::uint32_t before = lcgState;
    while (demo.laser.active == 0) {
        ASSERT_EQ(demo.laser.emitters0[4].rays[1].segments[3].corners[2].x, asInit.rays[1].segments[3].corners[2].x);
        before = lcgState;
        h.step();
    }
    EXPECT_EQ(demo.laser.bandLevel, -1.0f);
    EXPECT_EQ(demo.laser.quiet, 1);
    ASSERT_EQ(demo.knot.mode, 4);  // whose pulse takes one number per inner box
    EXPECT_EQ(drawsSince(before), 30 * 66 + 20);
    const LaserScene shapes = demo.laser;
    h.runUntil(120.0);
    for (std::size_t i = 0; i < 10; ++i) {
        for (std::size_t k = 0; k < 3; ++k) {
            for (std::size_t j = 0; j < 20; ++j) {
                ASSERT_EQ(demo.laser.emitters0[i].rays[k].segments[j].corners[0].z,
                          shapes.emitters0[i].rays[k].segments[j].corners[0].z);
                ASSERT_EQ(demo.laser.emitters2[i].rays[k].segments[j].corners[3].x,
                          shapes.emitters2[i].rays[k].segments[j].corners[3].x);
            }
        }
    }
    EXPECT_NEAR(demo.laser.pathPos0[0] - shapes.pathPos0[0], 1.51f, 0.02f);  // unseen, they move on
}

class LaserWindowAtRate : public testing::TestWithParam<std::uint32_t> {};

TEST_P(LaserWindowAtRate, TheWholeWindowStaysOnThePaths) {
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
        h.step();
        frames += demo.laser.active;
        expectOnPaths(demo.laser);
        ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_NEAR(double(frames), 46.592 * fps, 2.0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, LaserWindowAtRate, testing::Values(1u, 10u, 60u, 1000u));

}  // namespace
