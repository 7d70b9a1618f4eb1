// The knot track scene on screen, drawn through the demo: red or grey inner boxes where the
// track puts them, yellow corner points while the high band sounds, translucent orange outer
// boxes after 75 s, and nothing of the scene outside its window.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "gfx/gl.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

constexpr int kBassBin = 3;
constexpr int kTrebleBin = 128;

bool reddish(const Rgb& p) { return p.r > 80 && p.g < 40 && p.b < 40; }
bool greyish(const Rgb& p) { return p.r > 90 && std::abs(int(p.r) - int(p.g)) < 12 && std::abs(int(p.g) - int(p.b)) < 12; }
bool yellowish(const Rgb& p) { return p.r > 150 && p.g > 150 && p.b < 80; }
bool orangeish(const Rgb& p) { return p.r > 40 && p.r > 2 * p.g + 10 && p.b * 2 < p.r; }

class KnotPixelTest : public GlTest {
protected:
    void TearDown() override {
        demo.attach(nullptr, nullptr, nullptr, 0);
        GlTest::TearDown();
    }

    void start(float bass, float treble) {
        harness.init();
        harness.audio.fill(0.0f);
        harness.audio.bins[kBassBin] = bass;
        harness.audio.bins[kTrebleBin] = treble;
    }

    // Steps without drawing to just before t, then draws the frame that passes t.
    std::vector<Rgb> frameAt(double seconds, const char* name) {
        if (demo.started == 0) harness.step();
        harness.clock.setFrame(std::uint64_t((seconds - 2.0) * 60.0));
        demo.previousTick = harness.clock.ticks();
        harness.runUntil(seconds - 0.02);
        harness.step(true);
        std::vector<Rgb> p = pixels();
        dump(p, name);
        return p;
    }

    // Where the world point lands on screen, y from the top; false when off screen.
    bool project(const Vec3& w, int& x, int& y) const {
        GLdouble model[16], proj[16];
        GLint view[4];
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        demo.camera.apply();
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glPopMatrix();
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        glGetIntegerv(GL_VIEWPORT, view);
        GLdouble wx, wy, wz;
        if (gluProject(w.x, w.y, w.z, model, proj, view, &wx, &wy, &wz) != GL_TRUE) return false;
        x = int(wx);
        y = gl_->height() - 1 - int(wy);
        return wz > 0.0 && wz < 1.0 && x >= 2 && y >= 2 && x < gl_->width() - 2 && y < gl_->height() - 2;
    }

    // How many of the visible pairs show a pixel of the wanted kind right at their centre.
    void countCentres(const std::vector<Rgb>& p, bool (*wanted)(const Rgb&), int& visible, int& matching) const {
        visible = matching = 0;
        for (const float pos : demo.knot.trackPos) {
            int x = 0, y = 0;
            if (!project(demo.knot.track.points[std::size_t(pathIndex(pos))], x, y)) continue;
            ++visible;
            if (wanted(pixel(p, x, y))) ++matching;
        }
    }

    int count(const std::vector<Rgb>& p, bool (*wanted)(const Rgb&)) const {
        int n = 0;
        for (const Rgb& c : p) n += wanted(c) ? 1 : 0;
        return n;
    }

    // VELDRIN_DUMP_DIR=dir keeps the checked frames as PPM pictures to look at.
    void dump(const std::vector<Rgb>& p, const char* name) const {
        const char* dir = std::getenv("VELDRIN_DUMP_DIR");
        if (dir == nullptr) return;
        const std::string path = std::string(dir) + "/" + name + ".ppm";
        FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return;
        std::fprintf(f, "P6 %d %d 255\n", gl_->width(), gl_->height());
        std::fwrite(p.data(), sizeof(Rgb), p.size(), f);
        std::fclose(f);
    }

    DemoHarness harness{60};
};

TEST_F(KnotPixelTest, StrongBassDrawsRedBoxesOnTheTrackAndTrebleYellowCorners) {
    start(0.5f, 0.5f);
    const auto p = frameAt(62.0, "knot_62s_red");
    ASSERT_EQ(demo.knot.mode, 0);
    int visible = 0, red = 0;
    countCentres(p, reddish, visible, red);
    EXPECT_GE(visible, 8);
    EXPECT_GE(red * 4, visible * 3) << red << " of " << visible;
    EXPECT_GT(count(p, yellowish), 100);
}

TEST_F(KnotPixelTest, BassExactlyOnTheThresholdIsGreyAndNoCornersShow) {
    start(0.1f, 0.001f);
    const auto p = frameAt(62.0, "knot_62s_grey");
    int visible = 0, grey = 0;
    countCentres(p, greyish, visible, grey);
    EXPECT_GE(visible, 8);
    EXPECT_GE(grey * 4, visible * 3) << grey << " of " << visible;
    EXPECT_LT(count(p, yellowish), 10);
    EXPECT_LT(count(p, reddish), 10);
}

TEST_F(KnotPixelTest, AfterSeventyFiveTheOuterBoxesAreTranslucentOrange) {
    start(0.0f, 0.0f);
    const auto before = frameAt(70.0, "knot_70s");
    EXPECT_LT(count(before, orangeish), 20);
    const auto p = frameAt(80.0, "knot_80s");
    ASSERT_EQ(demo.knot.mode, 4);
    EXPECT_GT(count(p, orangeish), 1000);
    // The grey inner boxes still show through at the centres.
    int visible = 0, grey = 0;
    countCentres(p, [](const Rgb& c) { return c.r > 90 && c.g > 60 && c.b > 60; }, visible, grey);
    EXPECT_GE(grey * 2, visible) << grey << " of " << visible;
}

TEST_F(KnotPixelTest, NothingOfTheSceneOutsideItsWindow) {
    start(0.5f, 0.5f);
    const auto early = frameAt(58.0, "knot_58s");
    ASSERT_EQ(demo.knot.active, 0);
    EXPECT_LT(count(early, reddish), 10);
    EXPECT_LT(count(early, yellowish), 10);
    const auto late = frameAt(116.5, "knot_116s");
    ASSERT_EQ(demo.knot.active, 0);
    int visible = 0, red = 0;
    countCentres(late, reddish, visible, red);
    EXPECT_EQ(red, 0);
}

}  // namespace
