// The laser scene under the sequencer with a fake spectrum: start-up draws, positions that
// wrap before a point is read, the quiet threshold, freezing one frame late, a failed
// spectrum, and positions that stay on their paths at any frame rate or stall.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "tests/support/demo_harness.h"
#include "timeline/demo.h"

namespace {

constexpr int kLaserBin = 33;  // band(1300)

void setLevel(DemoHarness& h, float level) {
    h.audio.fill(0.0f);
    h.audio.bins[kLaserBin] = level;
}

// Moves a harness running at fps frames a second to a music time without a stalled frame.
void skipTo(DemoHarness& h, std::uint32_t fps, double seconds) {
    if (demo.started == 0) h.step();
    h.clock.setFrame(std::uint64_t(seconds * fps));
    demo.previousTick = h.clock.ticks();
}

int drawsSince(std::uint32_t from) {
    const std::uint32_t now = lcgState;
    lcgState = from;
    int n = 0;
    while (lcgState != now && n < 1000000) {
        lcgRand();
        ++n;
    }
    return n;
}

const std::vector<float>* positions(const LaserScene& s, int track) {
    return track == 0 ? &s.pathPos0 : track == 1 ? &s.pathPos1 : &s.pathPos2;
}

void expectOnPaths(const LaserScene& s) {
    for (int track = 0; track < 3; ++track) {
        for (const float pos : *positions(s, track)) ASSERT_LT(pathIndex(pos), s.pathSteps) << track << " " << pos;
    }
}

// The demo outlives every harness: detach it from the harness's clock and fake output before
// the process ends, or its music stream would release an output that no longer exists.
class LaserSceneTest : public testing::Test {
protected:
    void TearDown() override { demo.attach(nullptr, nullptr, nullptr, 0); }
};

TEST_F(LaserSceneTest, InitBuildsThirtyBoltsThreePathsAndThirtyStartPositions) {
    buildSineTable();
    lcgState = 1;
    LaserScene& s = demo.laser;
    s.init();
    EXPECT_EQ(drawsSince(1), 30);
    ASSERT_EQ(s.emitters0.size(), 10u);
    ASSERT_EQ(s.emitters2.size(), 10u);
    ASSERT_EQ(s.pathPos1.size(), 10u);
    EXPECT_EQ(s.emitters1[3].rays.size(), 3u);
    EXPECT_EQ(s.emitters1[3].rays[2].segments.size(), 20u);
    EXPECT_FLOAT_EQ(s.emitters1[3].colour.g, 0.4f);
    EXPECT_FLOAT_EQ(s.emitters2[3].rays[0].segments[0].colour.g, 0.3f);
    EXPECT_EQ(s.path0.points.size(), 801u);
    EXPECT_NEAR(s.path1.points[0].x, 2.0f / 3.0f, 1e-5f);
    EXPECT_NEAR(s.path2.points[0].x, 1.5f, 1e-5f);
    EXPECT_EQ(s.quiet, 0);
    // Drawn position by position: track 0, 1, 2 for emitter 0, then for emitter 1, ...
    lcgState = 1;
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
    // One step every ten seconds at 1.0 per 100 ms; 798.999 reaches 799, is read there once...
    EXPECT_FLOAT_EQ(s.pathPos0[1], 12.51f);
    ASSERT_EQ(pathIndex(s.pathPos2[0]), 799);
    EXPECT_EQ(s.emitters2[0].rays[0].segments[0].corners[1].y, s.path2.points[799].y);
    // ...and starts over on the next update.
    s.update(1.0f);
    EXPECT_EQ(s.pathPos2[0], 0.0f);
    EXPECT_EQ(s.emitters2[0].rays[0].segments[0].corners[1].y, s.path2.points[0].y);
}

TEST_F(LaserSceneTest, ALevelOfExactlyOneHundredthIsQuietAndFreezesFromTheNextFrame) {
    DemoHarness h(60);
    h.init();
    setLevel(h, 0.5f);
    // After the knot track scene's window, whose pulse draws random numbers too.
    skipTo(h, 60, 116.0);
    h.runUntil(116.5);
    ASSERT_EQ(demo.laser.active, 1);
    ASSERT_EQ(demo.knot.active, 0);
    EXPECT_EQ(demo.laser.quiet, 0);

    setLevel(h, 0.01f);
    std::uint32_t before = lcgState;
    LaserEmitter shape = demo.laser.emitters1[5];
    h.step();
    EXPECT_EQ(demo.laser.quiet, 1);
    EXPECT_EQ(drawsSince(before), 30 * 66);  // the quiet frame still crackles...
    EXPECT_NE(demo.laser.emitters1[5].rays[1].segments[4].corners[2].x, shape.rays[1].segments[4].corners[2].x);
    EXPECT_EQ(demo.laser.emitters1[5].frozen, 1);

    shape = demo.laser.emitters1[5];
    const float pos = demo.laser.pathPos1[5];
    before = lcgState;
    h.step();  // ...the next one holds still, while the positions move on
    EXPECT_EQ(drawsSince(before), 0);
    EXPECT_EQ(demo.laser.emitters1[5].rays[1].segments[4].corners[2].x, shape.rays[1].segments[4].corners[2].x);
    EXPECT_GT(demo.laser.pathPos1[5], pos);

    setLevel(h, 0.0101f);
    before = lcgState;
    h.step();  // loud again: unfrozen after this frame's (skipped) update
    EXPECT_EQ(demo.laser.quiet, 0);
    EXPECT_EQ(drawsSince(before), 0);
    EXPECT_EQ(demo.laser.emitters1[5].frozen, 0);
    before = lcgState;
    h.step();
    EXPECT_EQ(drawsSince(before), 30 * 66);
}

TEST_F(LaserSceneTest, AFailedSpectrumRebuildsOnceAndThenStandsStill) {
    DemoHarness h(60);
    h.init();
    h.audio.spectrumFails = true;
    skipTo(h, 60, 104.0);
    const LaserEmitter asInit = demo.laser.emitters0[4];
    h.runUntil(104.85);
    ASSERT_EQ(demo.laser.active, 0);
    // Until its window opens every bolt keeps the shape init left.
    EXPECT_EQ(demo.laser.emitters0[4].rays[1].segments[3].corners[2].x, asInit.rays[1].segments[3].corners[2].x);
    std::uint32_t before = lcgState;
    while (demo.laser.active == 0) {
        before = lcgState;
        h.step();
    }
    EXPECT_EQ(demo.laser.bandLevel, -1.0f);
    EXPECT_EQ(demo.laser.quiet, 1);
    ASSERT_EQ(demo.knot.mode, 4);  // whose pulse takes one draw per inner box
    EXPECT_EQ(drawsSince(before), 30 * 66 + 20);
    for (const LaserEmitter& e : demo.laser.emitters2) EXPECT_EQ(e.frozen, 1);
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
    // Unseen, the positions keep moving: a tenth of a step a second.
    EXPECT_NEAR(demo.laser.pathPos0[0] - shapes.pathPos0[0], 1.51f, 0.02f);
}

class LaserWindowAtRate : public LaserSceneTest, public testing::WithParamInterface<std::uint32_t> {};

TEST_P(LaserWindowAtRate, StaysOnThePaths) {
    const std::uint32_t fps = GetParam();
    DemoHarness h(fps);
    h.init();
    skipTo(h, fps, 104.0);
    int frames = 0;
    while (demo.musicTime < 152.0f) {
        // Crackling now and then, quiet (frozen, cheap to run) in between: the positions move
        // on either way. At a thousand frames a second crackling is slow to run, so briefer.
        const float loud = fps >= 1000 ? 0.02f : 1.0f;
        setLevel(h, std::fmod(demo.musicTime, 4.0f) < loud ? 0.5f : 0.0f);
        h.step();
        if (demo.laser.active == 1) ++frames;
        expectOnPaths(demo.laser);
        ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_NEAR(double(frames), 46.592 * fps, 2.0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, LaserWindowAtRate, testing::Values(1u, 10u, 60u, 1000u));

TEST_F(LaserSceneTest, StallsOfSecondsToMinutesStayOnThePaths) {
    DemoHarness h(60);
    h.init();
    setLevel(h, 0.5f);
    LaserScene& s = demo.laser;
    for (const float dt : {30.0f, 100.0f, 150.0f, 1000.0f, 1e7f, 0.17f}) {
        for (float& p : s.pathPos0) p = 798.9f;
        for (float& p : s.pathPos2) p = 400.0f;
        for (int frame = 0; frame < 5; ++frame) {
            s.update(dt);
            expectOnPaths(s);
        }
    }
    // The stalled sequencer itself: frames three and ten seconds long inside the window.
    skipTo(h, 60, 110.0);
    h.step();
    h.clock.setFrame(h.clock.frame() + 179);
    h.step();
    EXPECT_NEAR(demo.dt, 30.0f, 0.02f);
    expectOnPaths(s);
    h.clock.setFrame(h.clock.frame() + 599);
    h.step();
    EXPECT_NEAR(demo.dt, 100.0f, 0.02f);
    expectOnPaths(s);
}

}  // namespace
