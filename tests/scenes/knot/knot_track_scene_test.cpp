// The knot track scene driven by the sequencer on a fixed-step clock with a fake spectrum:
// start-up, the band thresholds, the turning steps, the one restore at 75 s, and positions that
// stay on the track whatever the frame step.
#include <gtest/gtest.h>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "platform/audio.h"
#include "tests/support/demo_harness.h"
#include "timeline/demo.h"

namespace {

constexpr int kBassBin = 3;      // band(150)
constexpr int kTrebleBin = 128;  // band(5000)

void setLevels(DemoHarness& h, float bass, float treble) {
    h.audio.fill(0.0f);
    h.audio.bins[kBassBin] = bass;
    h.audio.bins[kTrebleBin] = treble;
}

bool sameVertices(const BoxMesh& a, const BoxMesh& b) {
    for (int k = 0; k < 8; ++k) {
        if (a.vertices[k].x != b.vertices[k].x || a.vertices[k].y != b.vertices[k].y ||
            a.vertices[k].z != b.vertices[k].z) {
            return false;
        }
    }
    return true;
}

// Moves a harness running at fps frames a second to just before a music time without a
// stalled frame: the scenes before the window are not what these tests are about.
void skipTo(DemoHarness& h, std::uint32_t fps, double seconds) {
    if (demo.started == 0) h.step();
    h.clock.setFrame(std::uint64_t(seconds * fps));
    demo.previousTick = h.clock.ticks();
}

// Every pair's position must select a point of the track.
void expectOnTrack(const KnotTrackScene& knot) {
    for (const float pos : knot.trackPos) {
        ASSERT_LT(std::size_t(pathIndex(pos)), knot.track.points.size()) << pos;
    }
}

// The demo outlives every harness: detach it from the harness's clock and fake output before
// the process ends, or its music stream would release an output that no longer exists.
class KnotTrackSceneTest : public testing::Test {
protected:
    void TearDown() override { demo.attach(nullptr, nullptr, nullptr, 0); }
};

TEST_F(KnotTrackSceneTest, InitBuildsTheTrackBoxesAndCameraFromItsShareOfDraws) {
    buildSineTable();
    lcgState = 1;
    KnotTrackScene& knot = demo.knot;
    knot.init();
    ASSERT_EQ(knot.track.points.size(), 801u);
    EXPECT_NEAR(knot.track.points[0].x, 22.0f, 1e-4f);
    ASSERT_EQ(knot.inner.size(), 20u);
    ASSERT_EQ(knot.outer.size(), 20u);
    ASSERT_EQ(knot.trackPos.size(), 20u);
    EXPECT_FLOAT_EQ(demo.camera.eye.z, 4.28f);
    EXPECT_FLOAT_EQ(demo.camera.direction.x, -15.09f);
    EXPECT_EQ(knot.light.id, GLenum(GL_LIGHT0));
    EXPECT_EQ(knot.light.position[3], 0.0f);

    // Eight orbit lengths for each outer box in turn, then the twenty start positions.
    lcgState = 1;
    const int base[8] = {50, 60, 50, 80, 10, 50, 60, 150};
    for (std::size_t i = 0; i < 20; ++i) {
        for (int k = 0; k < 8; ++k) {
            const int n = lcgRand() * 30 / 32767 + base[k];
            ASSERT_EQ(knot.outer[i].orbits[k].points.size(), std::size_t(n) + 1);
        }
        EXPECT_TRUE(knot.inner[i].orbits[0].points.empty());
        EXPECT_EQ(knot.inner[i].restSaved, 1);
        EXPECT_FLOAT_EQ(knot.inner[i].mesh.diagonal.x, 0.5f);
        EXPECT_FLOAT_EQ(knot.outer[i].mesh.diagonal.x, 1.0f);
    }
    for (std::size_t i = 0; i < 20; ++i) EXPECT_EQ(knot.trackPos[i], float(lcgRand() * 800 / 32767));
    const std::uint32_t afterKnot = lcgState;
    lcgState = 1;
    knot.init();
    EXPECT_EQ(lcgState, afterKnot);
    EXPECT_EQ(knot.inner.size(), 20u);
}

TEST_F(KnotTrackSceneTest, LevelsExactlyOnTheThresholdsGiveGreyAndNoSparkle) {
    DemoHarness h(60);
    h.init();
    setLevels(h, 0.1f, 0.001f);
    skipTo(h, 60, 58.0);
    h.runUntil(60.0);
    ASSERT_EQ(demo.knot.active, 1);
    EXPECT_EQ(demo.knot.bass, 0.1f);
    EXPECT_EQ(demo.knot.sparkle, 0);
    // Without sparkle the outer corners keep still (only the turn about y moves them).
    const TrackBox outer = demo.knot.outer[0];
    setLevels(h, 0.11f, 0.0011f);
    h.step();
    EXPECT_EQ(demo.knot.sparkle, 1);
    EXPECT_GT(demo.knot.outer[0].orbitPhase[0], 0.0f);
    EXPECT_EQ(outer.orbitPhase[0], 0.0f);
}

TEST_F(KnotTrackSceneTest, FailedSpectrumReadsAsNoSparkle) {
    DemoHarness h(60);
    h.init();
    h.audio.spectrumFails = true;
    skipTo(h, 60, 58.0);
    h.runUntil(60.0);
    EXPECT_EQ(demo.knot.bass, -1.0f);
    EXPECT_EQ(demo.knot.treble, -1.0f);
    EXPECT_EQ(demo.knot.sparkle, 0);
}

TEST_F(KnotTrackSceneTest, SixtyFramesASecondTurnOneStepAHundredNone) {
    for (const std::uint32_t fps : {60u, 100u}) {
        SCOPED_TRACE(fps);
        DemoHarness h(fps);
        h.init();
        setLevels(h, 0.0f, 0.0f);
        skipTo(h, fps, 58.0);
        h.runUntil(60.0);
        for (int frame = 0; frame < 10; ++frame) {
            const TrackBox inner = demo.knot.inner[4];
            const TrackBox outer = demo.knot.outer[4];
            h.step();
            const BoxMesh& in = demo.knot.inner[4].mesh;
            const BoxMesh& out = demo.knot.outer[4].mesh;
            if (fps == 100) {
                EXPECT_TRUE(sameVertices(in, inner.mesh));
                EXPECT_TRUE(sameVertices(out, outer.mesh));
            } else {
                // Exactly one step per frame: backwards about x inside, forwards about y outside.
                BoxMesh expectedIn = inner.mesh;
                expectedIn.rotate(-1.40625f, {1, 0, 0});
                BoxMesh expectedOut = outer.mesh;
                expectedOut.rotate(1.40625f, {0, 1, 0});
                EXPECT_TRUE(sameVertices(in, expectedIn));
                EXPECT_TRUE(sameVertices(out, expectedOut));
                EXPECT_FALSE(sameVertices(in, inner.mesh));
            }
        }
    }
}

TEST_F(KnotTrackSceneTest, TheRestoreHappensOnceInTheFirstFrameAfterSeventyFive) {
    DemoHarness h(60);
    h.init();
    setLevels(h, 0.5f, 0.5f);
    skipTo(h, 60, 70.0);
    h.runUntil(74.99);
    ASSERT_EQ(demo.knot.mode, 0);
    ASSERT_EQ(restorePending, 1);
    BoxMesh lastTurned;
    do {
        lastTurned = demo.knot.inner[0].mesh;
        h.step();
    } while (demo.musicTime <= 75.0f);

    EXPECT_EQ(demo.knot.mode, 4);
    EXPECT_EQ(restorePending, 0);
    for (std::size_t i = 0; i < 20; ++i) {
        const TrackBox& in = demo.knot.inner[i];
        const TrackBox& out = demo.knot.outer[i];
        for (int k = 0; k < 8; ++k) {
            EXPECT_EQ(in.mesh.vertices[k].x, in.restVertices[k].x);
            EXPECT_EQ(out.mesh.vertices[k].y, out.restVertices[k].y);
        }
        EXPECT_EQ(in.mesh.diagonal.z, 0.5f);
    }
    // That frame still turned the boxes in mode 0, and the restore kept the normals of that turn.
    BoxMesh expected = lastTurned;
    expected.rotate(-1.40625f, {1, 0, 0});
    BoxMesh rest;
    rest.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    bool restNormals = true;
    for (int t = 0; t < 12; ++t) {
        EXPECT_EQ(demo.knot.inner[0].mesh.normals[t].y, expected.normals[t].y);
        restNormals = restNormals && demo.knot.inner[0].mesh.normals[t].z == rest.normals[t].z;
    }
    EXPECT_FALSE(restNormals);

    // From now on: frozen levels, pulsing inner boxes, outer boxes turning about x, no restore.
    setLevels(h, 0.0f, 0.0f);
    for (int frame = 0; frame < 30; ++frame) {
        const BoxMesh before = demo.knot.outer[0].mesh;
        h.step();
        BoxMesh turned = before;
        turned.rotate(1.40625f, {1, 0, 0});
        ASSERT_TRUE(sameVertices(demo.knot.outer[0].mesh, turned));
    }
    EXPECT_EQ(demo.knot.bass, 0.5f);
    EXPECT_EQ(demo.knot.sparkle, 1);
    const float e = demo.knot.inner[0].mesh.vertices[5].x;
    EXPECT_GE(e, 0.2f);
    EXPECT_LE(e, 0.75f);
    EXPECT_EQ(demo.knot.inner[0].mesh.vertices[6].x, 0.0f);
    EXPECT_EQ(restorePending, 0);
}

TEST_F(KnotTrackSceneTest, PositionsAtTheEndStartOverBeforeAPointIsRead) {
    DemoHarness h(60);
    h.init();
    KnotTrackScene& knot = demo.knot;
    knot.mode = 0;
    knot.trackPos[0] = 800.0f;   // the last point: back to the start
    knot.trackPos[1] = 799.5f;   // reaches the last point
    knot.trackPos[2] = 799.5f;   // a stalled frame would carry it far past the end
    knot.trackPos[3] = 12.25f;
    demo.dt = 0.6f;
    knot.update(0.6f);
    EXPECT_EQ(knot.trackPos[0], 0.0f);
    const Vec3 start = Vec3::subtract(knot.track.points[0], Vec3::scale(knot.inner[0].mesh.diagonal, 0.5f));
    EXPECT_EQ(knot.inner[0].mesh.base.x, start.x);
    EXPECT_FLOAT_EQ(knot.trackPos[1], 800.1f);
    EXPECT_FLOAT_EQ(knot.trackPos[3], 12.85f);
    knot.trackPos[2] = 799.5f;
    demo.dt = 30.0f;
    knot.update(30.0f);
    EXPECT_EQ(knot.trackPos[2], 0.0f);
    EXPECT_EQ(knot.trackPos[1], 0.0f);
    expectOnTrack(knot);
}

// The whole window at a given frame rate, and (below) stalls in both modes, never leave the
// track or an orbit.
class KnotWindowAtRate : public KnotTrackSceneTest, public testing::WithParamInterface<std::uint32_t> {};

TEST_P(KnotWindowAtRate, StaysOnTheTrackAndRestoresOnce) {
    const std::uint32_t fps = GetParam();
    DemoHarness h(fps);
    h.init();
    setLevels(h, 0.5f, 0.5f);
    skipTo(h, fps, 57.0);
    int frames = 0;
    while (demo.musicTime < 116.0f) {
        h.step();
        if (demo.knot.active == 1) {
            ++frames;
            expectOnTrack(demo.knot);
        }
        ASSERT_FALSE(HasFatalFailure());
    }
    EXPECT_NEAR(double(frames), 57.303 * fps, 2.0);
    EXPECT_EQ(restorePending, 0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, KnotWindowAtRate, testing::Values(1u, 10u, 60u, 1000u));

TEST_F(KnotTrackSceneTest, StallsOfSecondsToMinutesStayOnTheTrackInBothModes) {
    DemoHarness h(60);
    h.init();
    setLevels(h, 0.5f, 0.5f);
    skipTo(h, 60, 58.0);
    h.runUntil(60.0);
    KnotTrackScene& knot = demo.knot;
    for (const int mode : {0, 4}) {
        knot.mode = mode;
        for (const float dt : {30.0f, 100.0f, 1000.0f, 7.3f, 1000.0f, 0.17f}) {
            for (int frame = 0; frame < 40; ++frame) {
                demo.dt = dt;
                knot.update(dt);
                expectOnTrack(knot);
                for (const TrackBox& box : knot.outer) {
                    for (int k = 0; k < 8; ++k) {
                        // A phase past its orbit is set back on the next follow, never read.
                        ASSERT_GE(box.orbitPhase[k], 0.0f);
                    }
                }
            }
        }
    }
    // The stalled sequencer itself: one frame jumps three and then ten seconds.
    knot.mode = 0;
    h.clock.setFrame(h.clock.frame() + 179);
    h.step();
    EXPECT_NEAR(demo.dt, 30.0f, 0.02f);
    expectOnTrack(knot);
    h.clock.setFrame(h.clock.frame() + 599);
    h.step();
    EXPECT_NEAR(demo.dt, 100.0f, 0.02f);
    expectOnTrack(knot);
}

}  // namespace
