// The dodecahedron cluster: its layout, its forty draws a frame, the shells' colour from the
// music, the wire-only stretches, and frames drawn through the demo.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/dodeca/dodeca_scene.h"
#include "tests/scenes/scene_test_support.h"

namespace {

float offsetLength(const PulsingDodecahedron& m, std::size_t i) {
    const Vec3 d = Vec3::subtract(m.vertices[i], m.centre);
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

TEST(DodecaScene, ClusterSitsOnTheCentralMeshsVerticesWithShellsFartherOut) {
    buildSineTable();
    lcgState = 1;
    DodecaScene scene;
    scene.init();
    EXPECT_EQ(lcgState, 1u) << "the layout draws nothing";
    ASSERT_EQ(scene.solids.size(), 20u);
    ASSERT_EQ(scene.shells.size(), 20u);
    EXPECT_EQ(scene.light.position[3], 1.0f);
    EXPECT_EQ(scene.solids[0].centre.x, 0.0f);
    EXPECT_EQ(scene.shells[0].centre.z, 0.0f);
    for (std::size_t j = 1; j < 20; ++j) {
        const Vec3 solid = Vec3::scale(scene.solids[0].vertices[j - 1], 2.5f);
        const Vec3 shell = Vec3::scale(solid, 1.1f);
        EXPECT_NEAR(scene.solids[j].centre.x, solid.x, 1e-6f) << j;
        EXPECT_NEAR(scene.solids[j].centre.y, solid.y, 1e-6f) << j;
        EXPECT_NEAR(scene.solids[j].centre.z, solid.z, 1e-6f) << j;
        EXPECT_NEAR(scene.shells[j].centre.x, shell.x, 1e-5f) << j;
        EXPECT_NEAR(scene.shells[j].centre.y, shell.y, 1e-5f) << j;
        EXPECT_NEAR(scene.shells[j].centre.z, shell.z, 1e-5f) << j;
        // Each built around its own centre at its own size.
        EXPECT_NEAR(offsetLength(scene.solids[j], 0), 0.72116f, 2e-5f);
        EXPECT_NEAR(offsetLength(scene.shells[j], 0), 0.72116f * 1.1f, 2e-5f);
    }
    EXPECT_EQ(scene.solids[5].colour[0], 0.65f);
    EXPECT_EQ(scene.solids[5].colour[1], 1.0f);
    EXPECT_EQ(scene.shells[5].colour[0], 1.0f);
}

TEST(DodecaScene, EachUpdateDrawsFortyPeriodsSolidThenShellAndIgnoresDt) {
    buildSineTable();
    DodecaScene scene;
    scene.init();
    DodecaScene replay = scene;
    lcgState = 12345;
    scene.update(500.0f);
    const std::uint32_t after = lcgState;
    lcgState = 12345;
    for (std::size_t j = 0; j < 20; ++j) {
        const int solid = lcgRand() * 25 / 32767 + 100;
        const int shell = lcgRand() * 25 / 32767 + 100;
        EXPECT_TRUE(solid >= 100 && solid <= 125 && shell >= 100 && shell <= 125);
        replay.solids[j].pulse(solid);
        replay.shells[j].pulse(shell);
        for (std::size_t i = 0; i < 20; ++i) {
            ASSERT_EQ(scene.solids[j].counters[i], replay.solids[j].counters[i]) << j << "/" << i;
            ASSERT_EQ(scene.shells[j].counters[i], replay.shells[j].counters[i]) << j << "/" << i;
            ASSERT_EQ(scene.shells[j].vertices[i].y, replay.shells[j].vertices[i].y);
        }
    }
    EXPECT_EQ(lcgState, after);
}

// The cluster's part of a frame is what changes when it is drawn again without it.
class DodecaFrames : public ScenePixelTest {
protected:
    bool wantTextures() const override { return true; }

    std::vector<Rgb> redraw(bool withCluster) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glLoadIdentity();
        demo.camera.apply();
        demo.dodeca.active = withCluster ? 1 : 0;
        demo.render();
        glDisable(GL_LIGHTING);
        demo.dodeca.active = 1;
        return pixels();
    }

    struct Changes {
        int pale = 0;  // a lit solid
        int red = 0;   // a red shell
        int grey = 0;  // a white shell, lit
        int upperLeft = 0;
    };
    Changes compare(const std::vector<Rgb>& with, const std::vector<Rgb>& without) const {
        Changes c;
        for (std::size_t i = 0; i < with.size(); ++i) {
            const Rgb& a = with[i];
            const Rgb& b = without[i];
            if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
            c.pale += a.g > a.r + 20 && a.g > a.b + 20;
            c.red += a.r > 60 && a.g < 20 && a.b < 20;
            c.grey += std::abs(a.r - a.g) <= 3 && std::abs(a.g - a.b) <= 3 && a.r > 20;
            // The cluster sits in the lower right and never reaches the upper left.
            c.upperLeft += int(i) % gl_->width() < 400 && int(i) / gl_->width() < 250;
        }
        return c;
    }
};

TEST_F(DodecaFrames, PaleGreenSolidsInWhiteShellsWhileTheBandIsQuiet) {
    harness.init();
    harness.audio.fill(0.0f);
    const std::vector<Rgb> with = frameAt(145.0, "dodeca_145s");
    ASSERT_EQ(demo.dodeca.active, 1);
    ASSERT_EQ(demo.dodeca.wireOnly, 0);
    const Changes c = compare(with, redraw(false));
    EXPECT_GT(c.pale, 2000);
    EXPECT_GT(c.grey, 200);
    EXPECT_EQ(c.red, 0);
    EXPECT_EQ(c.upperLeft, 0);

    // Around every solid's centre on screen a solid shows (a shell's line may cross the centre).
    int onScreen = 0, green = 0;
    for (const PulsingDodecahedron& solid : demo.dodeca.solids) {
        int x = 0, y = 0;
        if (!project(Vec3::add(solid.centre, Vec3(8.0f, -2.0f, -1.0f)), x, y)) continue;
        ++onScreen;
        int around = 0;
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const int px = std::clamp(x + dx, 0, gl_->width() - 1);
                const Rgb p = pixel(with, px, std::clamp(y + dy, 0, gl_->height() - 1));
                around += p.g > p.r + 20 && p.g > p.b + 20;
            }
        }
        green += around >= 13;
    }
    EXPECT_GE(onScreen, 10);
    EXPECT_EQ(green, onScreen);

    // No push or pop: the translation is undone by its opposite, and lighting ends off.
    GLdouble before[16], after[16];
    glLoadIdentity();
    demo.camera.apply();
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    demo.dodeca.render();
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(after[k], before[k], 1e-5) << k;
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(DodecaFrames, ShellsTurnRedWhileBand170IsLoud) {
    harness.init();
    frameAt(145.0, "dodeca_145s_loud");
    struct Case {
        float level;  // in spectrum entry 4, which band(170) reads
        bool fails;   // band() reports -1
        float red;    // shells' red; green and blue are 1 for white, 0 for red
    };
    const Case cases[] = {
        {std::nextafter(0.1f, 0.0f), false, 1.0f},  // at or below 0.1: white
        {0.1f, false, 0.6f},                         // 0.1f lies above 0.1 in double precision
        {0.7f, false, 1.2f},                         // may pass 1
        {0.0f, true, 1.0f},
    };
    for (const Case& k : cases) {
        harness.audio.fill(0.0f);
        harness.audio.bins[4] = k.level;
        harness.audio.spectrumFails = k.fails;
        const std::vector<Rgb> with = redraw(true);
        const bool white = k.red == 1.0f;
        for (const PulsingDodecahedron& shell : demo.dodeca.shells) {
            EXPECT_FLOAT_EQ(shell.colour[0], k.red) << k.level;
            EXPECT_EQ(shell.colour[1], white ? 1.0f : 0.0f) << k.level;
        }
        const Changes c = compare(with, redraw(false));
        EXPECT_EQ(c.red > 200, !white) << k.level;
        EXPECT_EQ(c.grey > 200, white) << k.level;
    }
}

TEST_F(DodecaFrames, WireOnlyHidesTheSolidsWhileTheyKeepPulsing) {
    harness.init();
    harness.audio.fill(0.0f);
    skipTo(harness, 60, 154.0);
    harness.runUntil(155.0);
    const PulsingDodecahedron before = demo.dodeca.solids[0];
    ASSERT_EQ(harness.step(true), 1);
    ASSERT_EQ(demo.dodeca.wireOnly, 1);
    const std::vector<Rgb> with = pixels();
    const Changes c = compare(with, redraw(false));
    EXPECT_EQ(c.pale, 0);
    EXPECT_GT(c.grey, 200);
    int moved = 0;
    for (std::size_t i = 0; i < 20; ++i) {
        const Vec3& now = demo.dodeca.solids[0].vertices[i];
        moved += now.x != before.vertices[i].x || now.y != before.vertices[i].y || now.z != before.vertices[i].z;
    }
    EXPECT_EQ(moved, 20);
}

}  // namespace
