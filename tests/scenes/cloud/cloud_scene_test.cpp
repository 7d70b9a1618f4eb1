// The cloud scene: its random layout, its place in the shared random sequence, the green
// sub-mode's two-frame delay, the frozen state between its two windows, and frames drawn
// through the demo.
#include <cmath>

#include <gtest/gtest.h>

#include "gfx/gl.h"
#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/cloud/cloud_scene.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

void placeDemoCamera() { demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f)); }

std::uint32_t stateAfterDraws(int count) {
    const std::uint32_t saved = lcgState;
    lcgState = 1;
    for (int i = 0; i < count; ++i) (void)lcgRand();
    const std::uint32_t result = lcgState;
    lcgState = saved;
    return result;
}

void expectSameParticles(const CloudScene& a, const CloudScene& b) {
    ASSERT_EQ(a.emitters.size(), b.emitters.size());
    for (std::size_t e = 0; e < a.emitters.size(); ++e) {
        EXPECT_EQ(a.emitters[e].holdGreen, b.emitters[e].holdGreen);
        ASSERT_EQ(a.emitters[e].particles.size(), b.emitters[e].particles.size());
        for (std::size_t i = 0; i < a.emitters[e].particles.size(); ++i) {
            const CloudParticleState& x = a.emitters[e].particles[i].live;
            const CloudParticleState& y = b.emitters[e].particles[i].live;
            EXPECT_EQ(x.life, y.life) << e << "/" << i;
            EXPECT_EQ(x.quad.width, y.quad.width);
            EXPECT_EQ(x.colour.r, y.colour.r);
            EXPECT_EQ(x.colour.g, y.colour.g);
            for (int k = 0; k < 4; ++k) {
                EXPECT_EQ(x.quad.corners[k].x, y.quad.corners[k].x);
                EXPECT_EQ(x.quad.corners[k].y, y.quad.corners[k].y);
                EXPECT_EQ(x.quad.corners[k].z, y.quad.corners[k].z);
            }
            EXPECT_EQ(a.emitters[e].particles[i].spawn.fadeMode[kFadeSlotGreen],
                      b.emitters[e].particles[i].spawn.fadeMode[kFadeSlotGreen]);
        }
    }
}

TEST(CloudScene, InitLaysOutFivePuffsOnTheLatticeAndDrawsFirstOfAllScenes) {
    lcgState = 1;
    CloudScene scene;
    scene.init();
    EXPECT_EQ(lcgState, stateAfterDraws(5 * (4 + 8 * 9)));

    lcgState = 1;
    ASSERT_EQ(scene.emitters.size(), 5u);
    for (const CloudEmitter& e : scene.emitters) {
        const float z = float(lcgRand() * 18 / 32767 - 9);
        const float y = float(lcgRand() * 18 / 32767 - 9);
        const float x = float(lcgRand() * 18 / 32767 - 9);
        const int life = lcgRand() * 100 / 32767 + 350;
        EXPECT_EQ(e.position.x, x);
        EXPECT_EQ(e.position.y, y);
        EXPECT_EQ(e.position.z, z);
        EXPECT_GE(x, -9.0f);
        EXPECT_LE(z, 9.0f);
        EXPECT_EQ(e.baseLife, life);
        EXPECT_GE(life, 350);
        EXPECT_LE(life, 450);
        EXPECT_EQ(e.holdGreen, 0);
        ASSERT_EQ(e.particles.size(), 8u);
        for (const CloudParticle& p : e.particles) {
            for (int i = 0; i < 9; ++i) (void)lcgRand();
            EXPECT_EQ(p.spawn.quad.basePosition.x, x);
            EXPECT_EQ(p.spawn.quad.basePosition.z, z);
            EXPECT_EQ(p.targetSize.w, 15.0f);
            EXPECT_EQ(p.spawn.fadeMode[kFadeSlotGreen], kFadeDown);
            EXPECT_EQ(p.spawn.sizeMode[0], kSizeGrow);
            EXPECT_GE(p.spawn.life, int(0.4 * life));
            EXPECT_LE(p.spawn.life, int(0.7 * life));
        }
    }

    // In the demo the clouds draw before every other scene, from the generator's first state.
    lcgState = 1;
    DemoHarness harness;
    harness.init();
    ASSERT_EQ(demo.cloud.emitters.size(), 5u);
    for (std::size_t e = 0; e < 5; ++e) {
        EXPECT_EQ(demo.cloud.emitters[e].position.x, scene.emitters[e].position.x);
        EXPECT_EQ(demo.cloud.emitters[e].position.y, scene.emitters[e].position.y);
        EXPECT_EQ(demo.cloud.emitters[e].baseLife, scene.emitters[e].baseLife);
    }
}

// One scene run with the sub-mode switched on from update `on` (1-based) to update `off`.
struct GreenRun {
    CloudScene scene;
    int frame = 0;
    void step(int on, int off) {
        ++frame;
        scene.subMode = frame >= on && frame < off ? 1 : 0;
        scene.update(0.16f);
    }
};

TEST(CloudScene, SubModeReachesTheParticlesTwoFramesLateAndOnlyAtRespawn) {
    buildSineTable();
    placeDemoCamera();
    lcgState = 1;
    CloudScene base;
    base.init();
    const CloudParticle& watched = base.emitters[0].particles[0];
    const int n = watched.live.life;  // it respawns in update n + 1
    ASSERT_GT(n, 20);

    // Switched on in update n: one frame too late for the respawn in update n + 1.
    GreenRun late{base};
    while (late.frame < n + 11) late.step(n, 1 << 30);
    EXPECT_LT(late.scene.emitters[0].particles[0].live.colour.g, 1.0f);
    EXPECT_EQ(late.scene.emitters[0].holdGreen, 1);

    // Switched on in update n - 1: the respawn in update n + 1 holds green.
    GreenRun early{base};
    while (early.frame < n + 11) early.step(n - 1, n + 5);
    const CloudParticleState& held = early.scene.emitters[0].particles[0].live;
    EXPECT_EQ(held.colour.g, 1.0f);
    EXPECT_LT(held.colour.r, 1.0f);
    EXPECT_LT(held.colour.a, 1.0f);
    // Particles still in the life they had when the sub-mode started keep fading their green.
    int firstLives = 0;
    for (const CloudEmitter& e : early.scene.emitters) {
        for (const CloudParticle& p : e.particles) {
            if (p.spawn.life < early.frame) continue;
            ++firstLives;
            EXPECT_LT(p.live.colour.g, 1.0f);
        }
    }
    EXPECT_GT(firstLives, 0);

    // The sub-mode ended in update n + 5, but green holds to the end of this life...
    while (early.frame < 2 * n + 1) early.step(n - 1, n + 5);
    EXPECT_EQ(early.scene.emitters[0].particles[0].live.life, 0);
    EXPECT_EQ(early.scene.emitters[0].particles[0].live.colour.g, 1.0f);
    // ...and fades again after the next respawn.
    while (early.frame < 2 * n + 6) early.step(n - 1, n + 5);
    EXPECT_LT(early.scene.emitters[0].particles[0].live.colour.g, 1.0f);
}

TEST(CloudScene, SecondWindowResumesExactlyWhereTheFirstStopped) {
    lcgState = 1;
    DemoHarness harness;
    harness.init();

    CloudScene frozen;
    int activeFrames = 0;
    while (demo.musicTime < 95.37f) {
        ASSERT_EQ(harness.step(), 1);
        if (demo.cloud.active == 1) {
            frozen = demo.cloud;
            ++activeFrames;
        }
    }
    EXPECT_EQ(demo.cloud.active, 0);
    EXPECT_GT(activeFrames, 4700);

    // Frozen up to 160 s exactly (a bound is outside the window), then one update.
    bool checkedFrozen = false;
    while (true) {
        ASSERT_EQ(harness.step(), 1);
        if (demo.musicTime > 160.0f) break;
        ASSERT_EQ(demo.cloud.active, 0) << demo.musicTime;
        if (demo.musicTime >= 159.98f) {
            expectSameParticles(frozen, demo.cloud);
            checkedFrozen = true;
        }
    }
    EXPECT_TRUE(checkedFrozen);
    ASSERT_EQ(demo.cloud.active, 1);
    CloudScene expected = frozen;
    expected.subMode = demo.cloud.subMode;
    expected.update(demo.dt);
    expectSameParticles(expected, demo.cloud);
}

// Frames of the clouds drawn through the demo; the clouds' own contribution is what changes
// when the same frame is drawn again without them.
class CloudFrames : public GlTest {
protected:
    bool wantTextures() const override { return true; }

    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        lcgState = 1;
        harness.init();
        // The cards and the picture may lie over the scene; the show's end is checked with them.
        harness.scenesOnly = true;
    }

    // Draws the current state again without the cloud scene.
    std::vector<Rgb> withoutClouds() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        demo.camera.apply();
        const int was = demo.cloud.active;
        demo.cloud.active = 0;
        demo.render();
        glDisable(GL_LIGHTING);
        demo.cloud.active = was;
        return pixels();
    }

    // Window position (x right, y down) of a world point under the demo's camera.
    bool project(const Vec3& p, double& x, double& y) {
        glLoadIdentity();
        demo.camera.apply();
        GLdouble model[16];
        GLdouble proj[16];
        GLint view[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        glGetIntegerv(GL_VIEWPORT, view);
        double z = 0.0;
        if (gluProject(p.x, p.y, p.z, model, proj, view, &x, &y, &z) == GL_FALSE) return false;
        y = view[3] - 1 - y;
        return z > 0.0 && z < 1.0;
    }

    DemoHarness harness;
};

TEST_F(CloudFrames, SpritesAddGreyCloudWhereTheParticlesAre) {
    harness.runUntil(20.0);
    ASSERT_EQ(harness.step(true), 1);
    ASSERT_EQ(demo.cloud.active, 1);
    const std::vector<Rgb> with = pixels();
    const std::vector<Rgb> without = withoutClouds();

    // The screen rectangles of the drawn quads, and their centres.
    const int w = gl_->width();
    const int h = gl_->height();
    std::vector<unsigned char> covered(std::size_t(w) * std::size_t(h), 0);
    int centresSeen = 0;
    int centresBright = 0;
    for (const CloudEmitter& e : demo.cloud.emitters) {
        for (const CloudParticle& p : e.particles) {
            if (p.live.life <= 0) continue;
            double minX = 1e9, minY = 1e9, maxX = -1e9, maxY = -1e9;
            for (const Vec3& c : p.live.quad.corners) {
                double x = 0.0, y = 0.0;
                ASSERT_TRUE(project(c, x, y));
                minX = std::min(minX, x);
                maxX = std::max(maxX, x);
                minY = std::min(minY, y);
                maxY = std::max(maxY, y);
            }
            for (int y = std::max(0, int(minY) - 2); y <= std::min(h - 1, int(maxY) + 2); ++y) {
                for (int x = std::max(0, int(minX) - 2); x <= std::min(w - 1, int(maxX) + 2); ++x) {
                    covered[std::size_t(y) * std::size_t(w) + std::size_t(x)] = 1;
                }
            }
            double cx = 0.0, cy = 0.0;
            ASSERT_TRUE(project(p.live.quad.position, cx, cy));
            // Quads of a few pixels (just respawned) may fall between pixel centres.
            if (cx < 0 || cy < 0 || cx >= w || cy >= h || maxX - minX < 6.0) continue;
            ++centresSeen;
            const Rgb a = pixel(with, int(cx), int(cy));
            const Rgb b = pixel(without, int(cx), int(cy));
            // The picture's centre is near white; it is added weighted by colour × alpha.
            const double added = 240.0 * p.live.colour.r * p.live.colour.a;
            if (a.r - b.r >= 0.6 * added || a.r == 255) {
                ++centresBright;
            } else {
                ADD_FAILURE() << "dim centre " << int(a.r) << " size " << maxX - minX << " alpha " << p.live.colour.a
                              << " at " << cx << "," << cy << " life " << p.live.life;
            }
        }
    }
    EXPECT_GT(centresSeen, 20);
    EXPECT_EQ(centresBright, centresSeen);

    int changed = 0;
    int outside = 0;
    int coloured = 0;
    for (std::size_t i = 0; i < with.size(); ++i) {
        const Rgb& a = with[i];
        const Rgb& b = without[i];
        if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
        ++changed;
        if (covered[i] == 0) ++outside;
        // Added light only, as much red as green (the picture's red and green are equal and the
        // sub-mode is off at 20 s); its blue runs a few levels above.
        if (a.r < b.r || a.g < b.g || a.b < b.b) ++coloured;
        const bool saturated = a.r == 255 || a.g == 255 || a.b == 255;
        if (!saturated && (std::abs((a.r - b.r) - (a.g - b.g)) > 2 || (a.b - b.b) < (a.g - b.g) - 2)) ++coloured;
    }
    EXPECT_GT(changed, 2000);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(coloured, 0);
}

TEST_F(CloudFrames, SubModePuffsTurnGreenish) {
    harness.runUntil(64.0);
    ASSERT_EQ(harness.step(true), 1);
    ASSERT_EQ(demo.cloud.subMode, 1);
    const std::vector<Rgb> with = pixels();
    const std::vector<Rgb> without = withoutClouds();
    long addedRed = 0;
    long addedGreen = 0;
    for (std::size_t i = 0; i < with.size(); ++i) {
        addedRed += with[i].r - without[i].r;
        addedGreen += with[i].g - without[i].g;
    }
    EXPECT_GT(addedRed, 0);
    EXPECT_GT(addedGreen, addedRed + addedRed / 4);
}

TEST_F(CloudFrames, FramesFromTheEndOfTheShowUntilTheMusicStopsAreBlack) {
    harness.scenesOnly = false;
    harness.runUntil(186.9);
    int blackFrames = 0;
    while (demo.musicTime < 187.06f) {
        ASSERT_EQ(harness.step(true), 1);
        if (demo.musicTime < 187.0f) continue;
        const std::vector<Rgb> frame = pixels();
        int lit = 0;
        for (const Rgb& p : frame) lit += (p.r | p.g | p.b) != 0 ? 1 : 0;
        EXPECT_EQ(lit, 0) << "at " << demo.musicTime;
        ++blackFrames;
    }
    EXPECT_GE(blackFrames, 3);
    harness.audio.active = false;
    EXPECT_EQ(harness.step(true), 0);
}

}  // namespace
