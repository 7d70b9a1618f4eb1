// The knot track scene driven by the sequencer on a fixed-step clock with a fake spectrum, and
// on screen: red boxes on the track and yellow corners while the bands sound, only in its window.
#include <gtest/gtest.h>

#include <cstring>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "tests/scenes/scene_test_support.h"

namespace {

constexpr int kBassBin = 3;      // band(150)
constexpr int kTrebleBin = 128;  // band(5000)

void setLevels(DemoHarness& h, float bass, float treble) {
    h.audio.fill(0.0f);
    h.audio.bins[kBassBin] = bass;
    h.audio.bins[kTrebleBin] = treble;
}

bool sameVertices(const BoxMesh& a, const BoxMesh& b) {
    return std::memcmp(a.vertices, b.vertices, sizeof a.vertices) == 0;
}

BoxMesh turned(BoxMesh mesh, float degrees, Vec3 axis) {
    mesh.rotate(degrees, axis);
    return mesh;
}

void expectOnTrack(const KnotTrackScene& knot) {
    for (const float pos : knot.trackPos) ASSERT_LT(std::size_t(pathIndex(pos)), knot.track.points.size()) << pos;
}

using KnotTrackSceneTest = testing::Test;

TEST_F(KnotTrackSceneTest, InitTakesEightDrawsPerOuterBoxThenTwentyStartPositions) {
    buildSineTable();
    lcgState = 1;
    KnotTrackScene& knot = demo.knot;
    knot.init();
    ASSERT_EQ(knot.inner.size(), 20u);
    ASSERT_EQ(knot.outer.size(), 20u);

    const std::uint32_t afterInit = lcgState;
    lcgState = 1;
    const int base[8] = {50, 60, 50, 80, 10, 50, 60, 150};
    for (std::size_t i = 0; i < 20; ++i) {
        for (int k = 0; k < 8; ++k) {
            ASSERT_EQ(knot.outer[i].orbits[k].points.size(), std::size_t(lcgRand() * 30 / 32767 + base[k]) + 1);
        }
        EXPECT_TRUE(knot.inner[i].orbits[0].points.empty());
    }
    for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(knot.trackPos[i], float(lcgRand() * 800 / 32767));
    EXPECT_EQ(lcgState, afterInit);
}

TEST_F(KnotTrackSceneTest, LevelsExactlyOnTheThresholdsOrFailedReadsGiveNoSparkle) {
    DemoHarness h(60);
    h.init();
    setLevels(h, 0.1f, 0.001f);
    skipTo(h, 60, 60.0);
    h.step();
    ASSERT_EQ(demo.knot.active, 1);
    EXPECT_EQ(demo.knot.sparkle, 0);
    EXPECT_EQ(demo.knot.outer[0].orbitPhase[0], 0.0f);  // the corners stay put
    setLevels(h, 0.1f, 0.0011f);
    h.step();
    EXPECT_EQ(demo.knot.sparkle, 1);
    EXPECT_GT(demo.knot.outer[0].orbitPhase[0], 0.0f);
    h.audio.spectrumFails = true;
    h.step();
    EXPECT_EQ(demo.knot.bass, -1.0f);
    EXPECT_EQ(demo.knot.sparkle, 0);
}

TEST_F(KnotTrackSceneTest, SixtyFramesASecondTurnOneStepAFrameAHundredNone) {
    for (const std::uint32_t fps : {60u, 100u}) {
        SCOPED_TRACE(fps);
        DemoHarness h(fps);
        h.init();
        setLevels(h, 0.0f, 0.0f);
        skipTo(h, fps, 60.0);
        h.step();
        for (int frame = 0; frame < 10; ++frame) {
            const BoxMesh inner = demo.knot.inner[4].mesh;
            const BoxMesh outer = demo.knot.outer[4].mesh;
            h.step();
            const float step = fps == 60 ? 1.40625f : 0.0f;
            EXPECT_TRUE(sameVertices(demo.knot.inner[4].mesh, turned(inner, -step, {1, 0, 0})));
            EXPECT_TRUE(sameVertices(demo.knot.outer[4].mesh, turned(outer, step, {0, 1, 0})));
        }
    }
}

TEST_F(KnotTrackSceneTest, TheFirstFrameAfterSeventyFiveRestoresOnceAndKeepsTheTurnedNormals) {
    DemoHarness h(60);
    h.init();
    setLevels(h, 0.5f, 0.5f);
    skipTo(h, 60, 74.9);
    BoxMesh lastTurned;
    do {
        ASSERT_EQ(restorePending, 1);
        lastTurned = demo.knot.inner[0].mesh;
        h.step();
    } while (demo.musicTime <= 75.0f);

    EXPECT_EQ(demo.knot.mode, 4);
    EXPECT_EQ(restorePending, 0);
    for (std::size_t i = 0; i < 20; ++i) {
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(demo.knot.inner[i].mesh.vertices[k].x, demo.knot.inner[i].restVertices[k].x);
            EXPECT_EQ(demo.knot.outer[i].mesh.vertices[k].y, demo.knot.outer[i].restVertices[k].y);
        }
    }
    // That frame still turned the boxes in mode 0; the restore kept the normals of that turn.
    const BoxMesh expected = turned(lastTurned, -1.40625f, {1, 0, 0});
    for (int t = 0; t < 12; ++t) EXPECT_EQ(demo.knot.inner[0].mesh.normals[t].z, expected.normals[t].z);

    // Afterwards the levels stay frozen.
    setLevels(h, 0.0f, 0.0f);
    h.step();
    EXPECT_EQ(demo.knot.bass, 0.5f);
    EXPECT_EQ(demo.knot.sparkle, 1);
}

TEST_F(KnotTrackSceneTest, PositionsPastTheEndStartOver) {
    DemoHarness h(60);
    h.init();
    KnotTrackScene& knot = demo.knot;
    knot.trackPos[0] = 800.0f;  // the last point: back to the start, and drawn there
    knot.trackPos[1] = 799.5f;  // reaches the last point
    knot.trackPos[2] = 12.25f;
    demo.dt = 0.6f;
    knot.update(0.6f);
    EXPECT_EQ(knot.trackPos[0], 0.0f);
    const Vec3 start = Vec3::subtract(knot.track.points[0], Vec3::scale(knot.inner[0].mesh.diagonal, 0.5f));
    EXPECT_EQ(knot.inner[0].mesh.base.x, start.x);
    EXPECT_FLOAT_EQ(knot.trackPos[1], 800.1f);
    EXPECT_FLOAT_EQ(knot.trackPos[2], 12.85f);

}

class KnotWindowAtRate : public testing::TestWithParam<std::uint32_t> {};

TEST_P(KnotWindowAtRate, TheWholeWindowWithAStallStaysOnTheTrackAndRestoresOnce) {
    const std::uint32_t fps = GetParam();
    DemoHarness h(fps);
    h.init();
    setLevels(h, 0.5f, 0.5f);
    skipTo(h, fps, 57.0);
    int frames = 0;
    while (demo.musicTime < 116.0f) {
        if (frames == int(fps) * 10) h.clock.setFrame(h.clock.frame() + 3 * fps);  // a stall of three seconds
        h.step();
        if (demo.knot.active == 1) {
            ++frames;
            expectOnTrack(demo.knot);
        }
        ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_NEAR(double(frames), 54.303 * fps, 2.0);
    EXPECT_EQ(restorePending, 0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, KnotWindowAtRate, testing::Values(1u, 10u, 60u, 1000u));

bool reddish(const Rgb& p) { return p.r > 80 && p.g < 40 && p.b < 40; }
bool yellowish(const Rgb& p) { return p.r > 150 && p.g > 150 && p.b < 80; }

using KnotPixelTest = ScenePixelTest;

TEST_F(KnotPixelTest, StrongBassDrawsRedBoxesOnTheTrackAndTrebleYellowCornersOnlyInTheWindow) {
    // The knot scene alone: the clouds drift over the boxes and the bolts share colours.
    harness.hidden = {&demo.cloud.active, &demo.laser.active};
    harness.init();
    setLevels(harness, 0.5f, 0.5f);
    const auto early = frameAt(58.0);
    ASSERT_EQ(demo.knot.active, 0);
    EXPECT_LT(count(early, reddish) + count(early, yellowish), 10);

    const auto p = frameAt(62.0);
    ASSERT_EQ(demo.knot.active, 1);
    EXPECT_GT(count(p, yellowish), 100);
    int visible = 0, red = 0;  // of the boxes whose centre is on screen, those drawn red there
    for (const float pos : demo.knot.trackPos) {
        int x = 0, y = 0;
        if (!project(demo.knot.track.points[std::size_t(pathIndex(pos))], x, y)) continue;
        ++visible;
        red += reddish(pixel(p, x, y)) ? 1 : 0;
    }
    EXPECT_GE(visible, 5);
    EXPECT_GE(red, visible * 3 / 4);

    const auto late = frameAt(116.5);
    ASSERT_EQ(demo.knot.active, 0);
    EXPECT_LT(count(late, reddish) + count(late, yellowish), 10);
}

}  // namespace
