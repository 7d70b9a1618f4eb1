// The dodecahedron cluster: its layout, the shells' colour from the music, and frames drawn
// through the demo.
#include <cmath>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/dodeca/dodeca_scene.h"
#include "tests/scenes/scene_test_support.h"

namespace {

float distance(const Vec3& a, const Vec3& b) {
    const Vec3 d = Vec3::subtract(a, b);
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
    EXPECT_EQ(scene.solids[0].centre.x, 0.0f);
    EXPECT_EQ(scene.shells[0].centre.z, 0.0f);
    for (std::size_t j = 1; j < 20; ++j) {
        const Vec3 solid = Vec3::scale(scene.solids[0].vertices[j - 1], 2.5f);
        const Vec3 shell = Vec3::scale(solid, 1.1f);
        EXPECT_LT(distance(scene.solids[j].centre, solid), 2e-6f) << j;
        EXPECT_LT(distance(scene.shells[j].centre, shell), 2e-5f) << j;
        // Each built around its own centre at its own size.
        EXPECT_NEAR(distance(scene.solids[j].vertices[0], scene.solids[j].centre), 0.72116f, 2e-5f);
        EXPECT_NEAR(distance(scene.shells[j].vertices[0], scene.shells[j].centre), 0.72116f * 1.1f, 2e-5f);
    }
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
        }
        return c;
    }
};

TEST_F(DodecaFrames, PaleGreenSolidsInWhiteShellsWhileTheBandIsQuiet) {
    harness.init();
    harness.audio.fill(0.0f);
    const std::vector<Rgb> with = frameAt(145.0);
    ASSERT_EQ(demo.dodeca.active, 1);
    ASSERT_EQ(demo.dodeca.wireOnly, 0);
    const Changes c = compare(with, redraw(false));
    EXPECT_GT(c.pale, 2000);
    EXPECT_GT(c.grey, 200);
    EXPECT_EQ(c.red, 0);

}

TEST_F(DodecaFrames, ShellsTurnRedWhileBand170IsLoud) {
    harness.init();
    frameAt(145.0);
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

}  // namespace
