// The cloud scene: its random layout and place in the shared random sequence, the green
// sub-mode's two-frame delay, the frozen state between its two windows, and frames drawn
// through the demo.
#include <algorithm>
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/cloud/cloud_scene.h"
#include "tests/scenes/scene_test_support.h"

namespace {

TEST(CloudScene, FivePuffsOnTheLatticeDrawnFirstOfAllScenes) {
    lcgState = 1;
    CloudScene scene;
    scene.init();
    const std::uint32_t afterInit = lcgState;

    lcgState = 1;
    ASSERT_EQ(scene.emitters.size(), 5u);
    for (const CloudEmitter& e : scene.emitters) {
        const float z = float(lcgRand() * 18 / 32767 - 9);
        const float y = float(lcgRand() * 18 / 32767 - 9);
        const float x = float(lcgRand() * 18 / 32767 - 9);
        const int life = lcgRand() * 100 / 32767 + 350;
        EXPECT_TRUE(e.position.x == x && e.position.y == y && e.position.z == z);
        EXPECT_EQ(e.baseLife, life);
        ASSERT_EQ(e.particles.size(), 8u);
        for (const CloudParticle& p : e.particles) {
            for (int i = 0; i < 9; ++i) (void)lcgRand();  // three jitters, six for the particle
            EXPECT_EQ(p.spawn.quad.basePosition.x, x);
            EXPECT_EQ(p.spawn.quad.basePosition.z, z);
            EXPECT_EQ(p.spawn.fadeMode[kFadeSlotGreen], kFadeDown);
        }
    }
    EXPECT_EQ(lcgState, afterInit) << "5 × (4 + 8 × 9) draws";

    // The demo initialises the clouds before every other scene.
    DemoHarness harness;
    harness.init();
    for (std::size_t e = 0; e < 5; ++e) {
        EXPECT_EQ(demo.cloud.emitters[e].position.y, scene.emitters[e].position.y);
        EXPECT_EQ(demo.cloud.emitters[e].baseLife, scene.emitters[e].baseLife);
    }
}

TEST(CloudScene, SubModeReachesTheParticlesTwoFramesLateAndOnlyAtRespawn) {
    buildSineTable();
    demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
    lcgState = 1;
    CloudScene base;
    base.init();
    const int n = base.emitters[0].particles[0].live.life;  // respawns in update n + 1

    // Sub-mode on from update `on` to before update `off`.
    auto run = [&](CloudScene& s, int from, int to, int on, int off) {
        for (int frame = from; frame <= to; ++frame) {
            s.subMode = frame >= on && frame < off ? 1 : 0;
            s.update(0.16f);
        }
    };
    CloudScene late = base;  // on in update n: one frame too late for the respawn in n + 1
    run(late, 1, n + 11, n, 1 << 30);
    EXPECT_LT(late.emitters[0].particles[0].live.colour.g, 1.0f);

    CloudScene early = base;  // on in update n - 1: the respawn in n + 1 holds green
    run(early, 1, n + 11, n - 1, n + 5);
    const CloudParticleState& held = early.emitters[0].particles[0].live;
    EXPECT_EQ(held.colour.g, 1.0f);
    EXPECT_LT(held.colour.r, 1.0f);
    EXPECT_LT(held.colour.a, 1.0f);
    // Off since update n + 5, but green holds to the end of this life and fades in the next.
    run(early, n + 12, 2 * n + 1, n - 1, n + 5);
    EXPECT_EQ(early.emitters[0].particles[0].live.life, 0);
    EXPECT_EQ(early.emitters[0].particles[0].live.colour.g, 1.0f);
    run(early, 2 * n + 2, 2 * n + 6, n - 1, n + 5);
    EXPECT_LT(early.emitters[0].particles[0].live.colour.g, 1.0f);
}

TEST(CloudScene, SecondWindowResumesExactlyWhereTheFirstStopped) {
    DemoHarness harness;
    harness.init();
    CloudScene frozen;
    while (demo.musicTime < 95.37f) {
        ASSERT_EQ(harness.step(), 1);
        if (demo.cloud.active == 1) frozen = demo.cloud;
    }
    ASSERT_EQ(demo.cloud.active, 0);
    while (true) {  // 160 s itself is outside
        ASSERT_EQ(harness.step(), 1);
        if (demo.musicTime > 160.0f) break;
        ASSERT_EQ(demo.cloud.active, 0) << demo.musicTime;
    }
    ASSERT_EQ(demo.cloud.active, 1);
    CloudScene expected = frozen;
    expected.subMode = demo.cloud.subMode;
    expected.update(demo.dt);
    for (std::size_t e = 0; e < 5; ++e) {
        for (std::size_t i = 0; i < 8; ++i) {
            const CloudParticleState& x = expected.emitters[e].particles[i].live;
            const CloudParticleState& y = demo.cloud.emitters[e].particles[i].live;
            EXPECT_EQ(x.life, y.life) << e << "/" << i;
            EXPECT_EQ(x.colour.g, y.colour.g);
            EXPECT_EQ(std::memcmp(x.quad.corners, y.quad.corners, sizeof x.quad.corners), 0);
        }
    }
}

// The clouds' own part of a frame is what changes when it is drawn again without them.
class CloudFrames : public ScenePixelTest {
protected:
    bool wantTextures() const override { return true; }

    std::vector<Rgb> withoutClouds() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        demo.camera.apply();
        demo.cloud.active = 0;
        demo.render();
        glDisable(GL_LIGHTING);
        demo.cloud.active = 1;
        return pixels();
    }
};

TEST_F(CloudFrames, SpritesAddCloudWhereTheParticlesAreAndNowhereElse) {
    harness.init();
    const std::vector<Rgb> with = frameAt(20.0);
    ASSERT_EQ(demo.cloud.active, 1);
    const std::vector<Rgb> without = withoutClouds();
    const int w = gl_->width();
    const int h = gl_->height();
    std::vector<char> covered(with.size(), 0);
    for (const CloudEmitter& e : demo.cloud.emitters) {
        for (const CloudParticle& p : e.particles) {
            if (p.live.life <= 0) continue;
            int x0 = w, y0 = h, x1 = -1, y1 = -1;
            for (const Vec3& c : p.live.quad.corners) {
                int x = 0, y = 0;
                project(c, x, y);
                x0 = std::min(x0, x), y0 = std::min(y0, y), x1 = std::max(x1, x), y1 = std::max(y1, y);
            }
            for (int y = std::max(0, y0 - 2); y <= std::min(h - 1, y1 + 2); ++y) {
                for (int x = std::max(0, x0 - 2); x <= std::min(w - 1, x1 + 2); ++x) {
                    covered[std::size_t(y * w + x)] = 1;
                }
            }
        }
    }
    int changed = 0, outside = 0, wrong = 0;
    for (std::size_t i = 0; i < with.size(); ++i) {
        const Rgb& a = with[i];
        const Rgb& b = without[i];
        if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
        ++changed;
        outside += covered[i] == 0 ? 1 : 0;
        // Light added only; as much red as green (equal in the picture, sub-mode off).
        const bool saturated = a.r == 255 || a.g == 255;
        wrong += a.r < b.r || a.g < b.g || a.b < b.b || (!saturated && std::abs((a.r - b.r) - (a.g - b.g)) > 2);
    }
    EXPECT_GT(changed, 2000);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(wrong, 0);
}

TEST_F(CloudFrames, FramesFromTheEndOfTheShowUntilTheMusicStopsAreBlack) {
    harness.init();
    harness.scenesOnly = false;
    skipTo(harness, 60, 186.9);
    int blackFrames = 0;
    while (demo.musicTime < 187.06f) {
        ASSERT_EQ(harness.step(true), 1);
        if (demo.musicTime < 187.0f) continue;
        EXPECT_EQ(count(pixels(), [](const Rgb& p) { return (p.r | p.g | p.b) != 0; }), 0) << demo.musicTime;
        ++blackFrames;
    }
    EXPECT_GE(blackFrames, 3);
}

}  // namespace
