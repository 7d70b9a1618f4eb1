// The laser scene on screen, drawn through the demo with its texture: orange bolts around the
// centre taken from the camera's eye, and none outside the scene's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gfx/gl.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

constexpr int kLaserBin = 33;

// Dim orange to red: the bolts add at most 0.3 of their colour per layer onto the picture.
bool orangeish(const Rgb& p) { return p.r >= 20 && p.r > p.g + 8 && p.g >= p.b && p.b * 3 < p.r; }

struct Rect {
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    bool contains(int x, int y) const { return x >= left && x <= right && y >= top && y <= bottom; }
};

class LaserPixelTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }

    void TearDown() override {
        demo.attach(nullptr, nullptr, nullptr, 0);
        GlTest::TearDown();
    }

    std::vector<Rgb> frameAt(double seconds, const char* name) {
        if (demo.started == 0) harness.step();
        harness.clock.setFrame(std::uint64_t((seconds - 1.0) * 60.0));
        demo.previousTick = harness.clock.ticks();
        harness.runUntil(seconds - 0.02);
        harness.step(true);
        std::vector<Rgb> p = pixels();
        dump(p, name);
        return p;
    }

    struct Orange {
        int count = 0;
        int rightSide = 0;  // in the right-hand 40 % of the view
        double meanX = 0.0;
        std::vector<bool> where;
    };

    Orange orange(const std::vector<Rgb>& p) const {
        Orange o;
        o.where.assign(p.size(), false);
        double sumX = 0.0;
        for (int y = 0; y < gl_->height(); ++y) {
            for (int x = 0; x < gl_->width(); ++x) {
                if (!orangeish(pixel(p, x, y))) continue;
                ++o.count;
                if (x >= gl_->width() * 3 / 5) ++o.rightSide;
                sumX += x;
                o.where[std::size_t(y) * std::size_t(gl_->width()) + std::size_t(x)] = true;
            }
        }
        o.meanX = o.count > 0 ? sumX / o.count : 0.0;
        return o;
    }

    // Only the laser scene, as the demo's render would draw it, from the demo's camera.
    std::vector<Rgb> laserOnly() {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        demo.camera.apply();
        demo.laser.render();
        return pixels();
    }

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

TEST_F(LaserPixelTest, OrangeBoltsReachInFromTheLeftOnlyInsideTheWindow) {
    harness.init();
    harness.audio.fill(0.0f);
    harness.audio.bins[kLaserBin] = 0.5f;

    const auto p = frameAt(120.0, "laser_120s");
    ASSERT_EQ(demo.laser.active, 1);
    ASSERT_EQ(demo.knot.active, 0);
    const Orange bolts = orange(p);
    EXPECT_GT(bolts.count, 400);
    // The centre sits at (2.14, 1.3, 7.545), just off the left edge of the view.
    EXPECT_LT(bolts.meanX, 300.0);

    const auto after = frameAt(152.0, "laser_152s");
    ASSERT_EQ(demo.laser.active, 0);
    const Orange left = orange(after);
    int stillThere = 0;
    for (std::size_t i = 0; i < left.where.size(); ++i) stillThere += left.where[i] && bolts.where[i] ? 1 : 0;
    EXPECT_LT(stillThere, 20);
}

TEST_F(LaserPixelTest, TheBoltsFollowTheEyeWithXAndZExchanged) {
    harness.init();
    harness.audio.fill(0.5f);
    frameAt(120.0, "laser_eye_before");
    const Orange usual = orange(laserOnly());
    ASSERT_GT(usual.count, 400);
    EXPECT_LT(usual.rightSide, 20);
    // Moving the eye 10 units in x moves the centre 5 units in z, which is across the view
    // (towards its right-hand side, -z): the view itself stays as it is.
    const Vec3 eye = demo.camera.eye;
    demo.camera.eye.x -= 10.0f;
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Camera view = demo.camera;
    view.eye = eye;
    view.apply();
    demo.laser.render();
    demo.camera.eye = eye;
    const auto p = pixels();
    dump(p, "laser_eye_moved");
    const Orange moved = orange(p);
    EXPECT_GT(moved.count, 400);
    EXPECT_GT(moved.rightSide, 100);
}

}  // namespace
