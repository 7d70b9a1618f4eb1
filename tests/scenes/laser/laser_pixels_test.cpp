// The laser scene on screen, drawn through the demo with its texture: dim orange bolts
// reaching in from the centre taken from the camera's eye, and none outside the window.
#include <gtest/gtest.h>

#include "tests/scenes/scene_test_support.h"

namespace {

// The bolts add at most 0.3 of their colour per layer onto the picture.
bool orangeish(const Rgb& p) { return p.r >= 20 && p.r > p.g + 8 && p.g >= p.b && p.b * 3 < p.r; }

class LaserPixelTest : public ScenePixelTest {
protected:
    bool wantTextures() const override { return true; }

    // Orange pixels in the right-hand 40 % of the view.
    int onTheRight(const std::vector<Rgb>& p) const {
        int n = 0;
        for (int y = 0; y < gl_->height(); ++y) {
            for (int x = gl_->width() * 3 / 5; x < gl_->width(); ++x) n += orangeish(pixel(p, x, y)) ? 1 : 0;
        }
        return n;
    }

    // Only the laser scene, drawn from the demo's view with its centre taken from `eye`.
    std::vector<Rgb> laserOnlyWithEyeAt(const Vec3& eye) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        demo.camera.apply();
        const Vec3 real = demo.camera.eye;
        demo.camera.eye = eye;
        demo.laser.render();
        demo.camera.eye = real;
        return pixels();
    }
};

TEST_F(LaserPixelTest, OrangeBoltsReachInFromTheLeftOnlyInsideTheWindow) {
    harness.init();
    harness.audio.fill(0.0f);
    harness.audio.bins[33] = 0.5f;
    const auto p = frameAt(120.0, "laser_120s");
    ASSERT_EQ(demo.laser.active, 1);
    ASSERT_EQ(demo.knot.active, 0);
    // The centre sits at (2.14, 1.3, 7.545), just off the left edge of the view.
    EXPECT_GT(count(p, orangeish), 400);
    EXPECT_LT(onTheRight(p), 20);

    const auto after = frameAt(152.0, "laser_152s");
    ASSERT_EQ(demo.laser.active, 0);
    int stillThere = 0;
    for (std::size_t i = 0; i < p.size(); ++i) stillThere += orangeish(p[i]) && orangeish(after[i]) ? 1 : 0;
    EXPECT_LT(stillThere, 20);
}

TEST_F(LaserPixelTest, TheBoltsFollowTheEyeWithXAndZExchanged) {
    harness.init();
    harness.audio.fill(0.5f);
    frameAt(120.0, "laser_eye");
    const Vec3 eye = demo.camera.eye;
    EXPECT_LT(onTheRight(laserOnlyWithEyeAt(eye)), 20);
    // 10 units less eye x put the centre 5 units further along -z: across the view, to the
    // right, while the view itself stays.
    const auto moved = laserOnlyWithEyeAt({eye.x - 10.0f, eye.y, eye.z});
    EXPECT_GT(count(moved, orangeish), 400);
    EXPECT_GT(onTheRight(moved), 100);
}

}  // namespace
