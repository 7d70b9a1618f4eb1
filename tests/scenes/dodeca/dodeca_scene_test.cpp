// The dodecahedron cluster: its layout, its forty draws a frame, the shells' colour from the
// music, the wire-only stretches, and frames drawn through the demo.
#include <algorithm>
#include <cmath>

#include <gtest/gtest.h>

#include "gfx/gl.h"
#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/dodeca/dodeca_scene.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

const Vec3 kClusterCentre(8.0f, -2.0f, -1.0f);

TEST(DodecaScene, ClusterSitsOnTheCentralMeshsVerticesWithShellsFartherOut) {
    buildSineTable();
    lcgState = 1;
    DodecaScene scene;
    scene.init();
    EXPECT_EQ(lcgState, 1u) << "the layout draws nothing";
    ASSERT_EQ(scene.solids.size(), 20u);
    ASSERT_EQ(scene.shells.size(), 20u);
    EXPECT_EQ(scene.wireOnly, 0);
    EXPECT_EQ(scene.light.id, GLenum(GL_LIGHT0));
    EXPECT_EQ(scene.light.position[3], 1.0f);
    EXPECT_EQ(scene.light.ambient[0], 0.2f);

    const PulsingDodecahedron central(scene.solids[0]);
    EXPECT_EQ(central.centre.x, 0.0f);
    EXPECT_EQ(scene.shells[0].centre.z, 0.0f);
    for (std::size_t j = 1; j < 20; ++j) {
        const Vec3 expected = Vec3::scale(central.vertices[j - 1], 2.5f);
        EXPECT_NEAR(scene.solids[j].centre.x, expected.x, 1e-6f) << j;
        EXPECT_NEAR(scene.solids[j].centre.y, expected.y, 1e-6f) << j;
        EXPECT_NEAR(scene.solids[j].centre.z, expected.z, 1e-6f) << j;
        const Vec3 shell = Vec3::scale(scene.solids[j].centre, 1.1f);
        EXPECT_NEAR(scene.shells[j].centre.x, shell.x, 1e-5f) << j;
        EXPECT_NEAR(scene.shells[j].centre.y, shell.y, 1e-5f) << j;
        EXPECT_NEAR(scene.shells[j].centre.z, shell.z, 1e-5f) << j;
        // Each mesh is built around its own centre, at its own size.
        EXPECT_NEAR(std::hypot(scene.solids[j].vertices[0].x - scene.solids[j].centre.x,
                               scene.solids[j].vertices[0].y - scene.solids[j].centre.y,
                               scene.solids[j].vertices[0].z - scene.solids[j].centre.z),
                    0.72116f, 2e-5f);
        EXPECT_NEAR(std::hypot(scene.shells[j].vertices[0].x - scene.shells[j].centre.x,
                               scene.shells[j].vertices[0].y - scene.shells[j].centre.y,
                               scene.shells[j].vertices[0].z - scene.shells[j].centre.z),
                    0.72116f * 1.1f, 2e-5f);
    }
    EXPECT_EQ(scene.solids[5].colour[0], 0.65f);
    EXPECT_EQ(scene.solids[5].colour[1], 1.0f);
    EXPECT_EQ(scene.shells[5].colour[2], 1.0f);
}

TEST(DodecaScene, EachUpdateDrawsFortyPeriodsSolidThenShell) {
    buildSineTable();
    DodecaScene scene;
    scene.init();
    DodecaScene replay = scene;
    lcgState = 12345;
    scene.update(0.0f);
    const std::uint32_t after = lcgState;

    lcgState = 12345;
    int periods[40];
    for (int& p : periods) {
        p = lcgRand() * 25 / 32767 + 100;
        EXPECT_GE(p, 100);
        EXPECT_LE(p, 125);
    }
    EXPECT_EQ(lcgState, after);
    for (std::size_t j = 0; j < 20; ++j) {
        replay.solids[j].pulse(periods[2 * j]);
        replay.shells[j].pulse(periods[2 * j + 1]);
        for (std::size_t i = 0; i < 20; ++i) {
            ASSERT_EQ(scene.solids[j].counters[i], replay.solids[j].counters[i]) << j << "/" << i;
            ASSERT_EQ(scene.shells[j].counters[i], replay.shells[j].counters[i]) << j << "/" << i;
            ASSERT_EQ(scene.shells[j].vertices[i].y, replay.shells[j].vertices[i].y);
        }
    }
    // dt means nothing to the pulse.
    scene.update(500.0f);
    replay.update(0.0f);
    EXPECT_EQ(scene.solids[3].vertices[3].x, replay.solids[3].vertices[3].x);
}

// Frames of the cluster drawn through the demo, compared with the same frame drawn without it.
class DodecaFrames : public GlTest {
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

    // Draws the demo's current state again (no update), with or without the cluster.
    std::vector<Rgb> redraw(bool withCluster) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
        demo.camera.apply();
        const int was = demo.dodeca.active;
        demo.dodeca.active = withCluster ? was : 0;
        demo.render();
        glDisable(GL_LIGHTING);
        demo.dodeca.active = was;
        return pixels();
    }

    // Window position (y down) of a point of the cluster's space.
    void project(const Vec3& p, double& x, double& y) {
        glLoadIdentity();
        demo.camera.apply();
        GLdouble model[16];
        GLdouble proj[16];
        GLint view[4];
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        glGetIntegerv(GL_VIEWPORT, view);
        double z = 0.0;
        const Vec3 world = Vec3::add(p, kClusterCentre);
        gluProject(world.x, world.y, world.z, model, proj, view, &x, &y, &z);
        y = view[3] - 1 - y;
    }

    struct Changes {
        int pale = 0;  // pale green: a lit solid
        int red = 0;   // a red shell
        int grey = 0;  // a white shell, lit
        int total = 0;
    };
    static Changes compare(const std::vector<Rgb>& with, const std::vector<Rgb>& without) {
        Changes c;
        for (std::size_t i = 0; i < with.size(); ++i) {
            const Rgb& a = with[i];
            const Rgb& b = without[i];
            if (a.r == b.r && a.g == b.g && a.b == b.b) continue;
            ++c.total;
            if (a.g > a.r + 20 && a.g > a.b + 20) ++c.pale;
            if (a.r > 60 && a.g < 20 && a.b < 20) ++c.red;
            if (std::abs(a.r - a.g) <= 3 && std::abs(a.g - a.b) <= 3 && a.r > 20) ++c.grey;
        }
        return c;
    }

    DemoHarness harness;
};

TEST_F(DodecaFrames, SolidsArePaleGreenAndShellsWhiteWhileTheBandIsQuiet) {
    harness.audio.fill(0.0f);
    harness.runUntil(145.0);
    ASSERT_EQ(harness.step(true), 1);
    ASSERT_EQ(demo.dodeca.active, 1);
    ASSERT_EQ(demo.dodeca.wireOnly, 0);
    const std::vector<Rgb> with = pixels();
    const std::vector<Rgb> without = redraw(false);
    const Changes c = compare(with, without);
    EXPECT_GT(c.pale, 2000);
    EXPECT_GT(c.grey, 200);
    EXPECT_EQ(c.red, 0);
    for (const PulsingDodecahedron& shell : demo.dodeca.shells) EXPECT_EQ(shell.colour[0], 1.0f);

    // Every solid's centre on the screen shows a solid (its own or one in front of it); the
    // cluster sits in the lower right corner, partly beyond the edges.
    int onScreen = 0;
    int greenCentres = 0;
    for (const PulsingDodecahedron& solid : demo.dodeca.solids) {
        double x = 0.0, y = 0.0;
        project(solid.centre, x, y);
        EXPECT_GT(x, 400.0);
        EXPECT_GT(y, 250.0);
        if (x < 0.0 || y < 0.0 || x >= gl_->width() || y >= gl_->height()) continue;
        ++onScreen;
        // Mostly green around the centre: a shell's line may cross the centre pixel itself.
        int green = 0;
        for (int dy = -2; dy <= 2; ++dy) {
            for (int dx = -2; dx <= 2; ++dx) {
                const int px = std::clamp(int(x) + dx, 0, gl_->width() - 1);
                const int py = std::clamp(int(y) + dy, 0, gl_->height() - 1);
                const Rgb p = pixel(with, px, py);
                green += p.g > p.r + 20 && p.g > p.b + 20 ? 1 : 0;
            }
        }
        if (green >= 13) ++greenCentres;
    }
    EXPECT_GE(onScreen, 10);
    EXPECT_EQ(greenCentres, onScreen);
    // Nothing of the cluster in the upper left, where it never reaches.
    int upperLeft = 0;
    for (int y = 0; y < 250; ++y) {
        for (int x = 0; x < 400; ++x) {
            const Rgb a = pixel(with, x, y);
            const Rgb b = pixel(without, x, y);
            upperLeft += a.r != b.r || a.g != b.g || a.b != b.b ? 1 : 0;
        }
    }
    EXPECT_EQ(upperLeft, 0);

    // The translation is undone: the cluster leaves the model-view matrix as it found it.
    glLoadIdentity();
    demo.camera.apply();
    GLdouble before[16];
    GLdouble after[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    demo.dodeca.render();
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int k = 0; k < 16; ++k) EXPECT_NEAR(after[k], before[k], 1e-5) << k;
    EXPECT_FALSE(glIsEnabled(GL_LIGHTING));
}

TEST_F(DodecaFrames, ShellsTurnRedWhileBand170IsLoud) {
    harness.runUntil(145.0);
    ASSERT_EQ(harness.step(true), 1);

    struct Case {
        float level;
        bool spectrumFails;
        float red;  // 1 with green and blue 1 means white
        bool white;
    };
    const Case cases[] = {
        {std::nextafter(0.1f, 0.0f), false, 1.0f, true},  // at or below 0.1
        {0.1f, false, 0.6f, false},                        // 0.1f lies above 0.1 in double
        {0.7f, false, 1.2f, false},                        // may pass 1
        {0.0f, true, 1.0f, true},                          // no reading: -1
    };
    for (const Case& k : cases) {
        harness.audio.bins.fill(0.0f);
        harness.audio.bins[4] = k.level;  // band 170 reads entry 4
        harness.audio.spectrumFails = k.spectrumFails;
        const std::vector<Rgb> with = redraw(true);
        for (const PulsingDodecahedron& shell : demo.dodeca.shells) {
            EXPECT_FLOAT_EQ(shell.colour[0], k.red) << k.level;
            EXPECT_EQ(shell.colour[1], k.white ? 1.0f : 0.0f) << k.level;
            EXPECT_EQ(shell.colour[3], 1.0f);
        }
        const Changes c = compare(with, redraw(false));
        if (k.white) {
            EXPECT_EQ(c.red, 0) << k.level;
            EXPECT_GT(c.grey, 200) << k.level;
        } else {
            EXPECT_GT(c.red, 200) << k.level;
        }
    }
    // Only one spectrum entry matters.
    harness.audio.spectrumFails = false;
    harness.audio.fill(0.9f);
    harness.audio.bins[4] = 0.05f;
    redraw(true);
    EXPECT_EQ(demo.dodeca.shells[0].colour[1], 1.0f);
}

TEST_F(DodecaFrames, WireOnlyHidesTheSolidsWhileTheyKeepPulsing) {
    harness.audio.fill(0.0f);
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
        const Vec3& then = before.vertices[i];
        moved += now.x != then.x || now.y != then.y || now.z != then.z ? 1 : 0;
    }
    EXPECT_EQ(moved, 20);
}

}  // namespace
