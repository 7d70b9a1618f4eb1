// Quad corner layouts and the quad turned to face the demo camera.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/quad.h"
#include "timeline/demo.h"

namespace {

void expectCorners(const Quad& q, const float (&xy)[8], float z = 0.0f) {
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(q.corners[k].x, xy[2 * k], 1e-6f) << "corner " << k;
        EXPECT_NEAR(q.corners[k].y, xy[2 * k + 1], 1e-6f) << "corner " << k;
        EXPECT_NEAR(q.corners[k].z, z, 1e-6f) << "corner " << k;
    }
}

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

}  // namespace

TEST(QuadCorners, EveryAnchorModeUnknownOnesCollapseAndOffsetsWait) {
    const float expected[5][8] = {{0, 0, 2, 0, 2, 3, 0, 3},
                                  {-1, -1.5f, -1, 1.5f, 1, 1.5f, 1, -1.5f},  // up the left edge first
                                  {-2, -3, 0, -3, 0, 0, -2, 0},
                                  {0, -3, 2, -3, 2, 0, 0, 0},
                                  {0, -1.5f, 2, -1.5f, 2, 1.5f, 0, 1.5f}};
    for (int mode = 0; mode < 5; ++mode) {
        Quad q;
        q.anchorMode = mode;
        q.place(Vec3(0, 0, 0), 2.0f, 3.0f);
        expectCorners(q, expected[mode]);
    }
    for (int mode : {5, -1}) {
        Quad q;
        q.anchorMode = mode;
        q.right = Vec3(2, 0, 0);
        q.up = Vec3(0, 0, 3);
        q.place(Vec3(1, 1, 1), 10.0f, 20.0f);
        expectCorners(q, {3, 1, 3, 1, 3, 1, 3, 1}, 4.0f);
    }
    Quad q;
    q.place(Vec3(1, 2, 3), 2.0f, 3.0f);
    q.setOffset(Vec3(10, 0, 0));
    q.setOffset(Vec3(0, 10, 0));  // adds to the placed position, not to the last offset
    expectCorners(q, {1, 2, 3, 2, 3, 5, 1, 5}, 3.0f);
    q.updateCorners();
    expectCorners(q, {1, 12, 3, 12, 3, 15, 1, 15}, 3.0f);
}

TEST(QuadOrient, FacesTheDemoCameraWithUnitAxes) {
    demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
    Quad q;
    q.orient(1);
    Vec3 view = Vec3::subtract(demo.camera.eye, demo.camera.target);
    Vec3::normalize(view);
    EXPECT_NEAR(dot(q.up, q.up), 1.0f, 1e-5f);
    EXPECT_NEAR(dot(q.right, q.right), 1.0f, 1e-5f);
    EXPECT_NEAR(dot(q.up, view), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(q.right, view), 0.0f, 1e-5f);
    // The second vector has the eye's x and z swapped, which turns up almost straight down
    // for this eye; without the swap both products vanish and the axes become (1, 1, 1).
    EXPECT_NEAR(q.up.x, 0.066814f, 1e-4f);
    EXPECT_NEAR(q.up.y, -0.995526f, 1e-4f);
    EXPECT_NEAR(q.up.z, 0.066814f, 1e-4f);
}
