// Quad corner layouts, camera facing and roll, and the camera's look-at.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/camera.h"
#include "gfx/gl.h"
#include "gfx/quad.h"
#include "gfx/sine_table.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

struct Corner {
    float x, y;
};

void expectCorners(const Quad& q, const Corner (&expected)[4], float z = 0.0f) {
    for (int k = 0; k < 4; ++k) {
        EXPECT_NEAR(q.corners[k].x, expected[k].x, 1e-6f) << "corner " << k;
        EXPECT_NEAR(q.corners[k].y, expected[k].y, 1e-6f) << "corner " << k;
        EXPECT_NEAR(q.corners[k].z, z, 1e-6f) << "corner " << k;
    }
}

Quad placedInMode(int mode) {
    Quad q;
    q.anchorMode = mode;
    q.place(Vec3(0, 0, 0), 2.0f, 3.0f);
    return q;
}

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float length(const Vec3& v) { return std::sqrt(dot(v, v)); }

}  // namespace

TEST(QuadCorners, EveryAnchorMode) {
    expectCorners(placedInMode(0), {{0, 0}, {2, 0}, {2, 3}, {0, 3}});
    // Mode 1 runs up the left edge first: the opposite turning sense.
    expectCorners(placedInMode(1), {{-1, -1.5f}, {-1, 1.5f}, {1, 1.5f}, {1, -1.5f}});
    expectCorners(placedInMode(2), {{-2, -3}, {0, -3}, {0, 0}, {-2, 0}});
    expectCorners(placedInMode(3), {{0, -3}, {2, -3}, {2, 0}, {0, 0}});
    expectCorners(placedInMode(4), {{0, -1.5f}, {2, -1.5f}, {2, 1.5f}, {0, 1.5f}});
}

TEST(QuadCorners, UnknownModesCollapseOntoPositionPlusRightPlusUp) {
    for (int mode : {5, -1, 99}) {
        Quad q;
        q.anchorMode = mode;
        q.right = Vec3(2, 0, 0);
        q.up = Vec3(0, 0, 3);
        q.place(Vec3(1, 1, 1), 10.0f, 20.0f);
        expectCorners(q, {{3, 1}, {3, 1}, {3, 1}, {3, 1}}, 4.0f);
    }
}

TEST(QuadCorners, SetOffsetMovesThePositionButNotTheCorners) {
    Quad q;
    q.place(Vec3(1, 2, 3), 2.0f, 3.0f);
    q.setOffset(Vec3(10, 0, 0));
    q.setOffset(Vec3(0, 10, 0));  // adds to the placed position, not to the last offset
    EXPECT_FLOAT_EQ(q.position.x, 1.0f);
    EXPECT_FLOAT_EQ(q.position.y, 12.0f);
    expectCorners(q, {{1, 2}, {3, 2}, {3, 5}, {1, 5}}, 3.0f);
    q.updateCorners();
    expectCorners(q, {{1, 12}, {3, 12}, {3, 15}, {1, 15}}, 3.0f);
}

TEST(QuadOrient, FacesTheDemoCameraWithUnitAxes) {
    demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
    Quad q;
    q.place(Vec3(0, 0, 0), 3.0f, 5.0f);
    q.orient(1);
    const Vec3 view = Vec3::subtract(demo.camera.eye, demo.camera.target);
    EXPECT_NEAR(length(q.up), 1.0f, 1e-5f);
    EXPECT_NEAR(length(q.right), 1.0f, 1e-5f);
    EXPECT_NEAR(dot(q.up, view) / length(view), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(q.right, view) / length(view), 0.0f, 1e-5f);
    EXPECT_NEAR(dot(q.up, q.right), 0.0f, 1e-5f);
    // The second vector has the eye's x and z swapped, which turns up almost straight down
    // for this eye; without the swap both products vanish and the axes become (1, 1, 1).
    EXPECT_NEAR(q.up.x, 0.066814f, 1e-4f);
    EXPECT_NEAR(q.up.y, -0.995526f, 1e-4f);
    EXPECT_NEAR(q.up.z, 0.066814f, 1e-4f);
    // The corners wait for updateCorners.
    EXPECT_FLOAT_EQ(q.corners[2].x, 3.0f);
    EXPECT_FLOAT_EQ(q.corners[2].y, 5.0f);
}

TEST(QuadRoll, TurnsAboutTheViewAxisInWholeSteps) {
    buildSineTable();
    demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
    Quad q;
    q.orient(1);
    const Vec3 up = q.up;
    const Vec3 right = q.right;
    q.rollAboutView(1.0f);  // below one step
    EXPECT_EQ(q.up.x, up.x);
    EXPECT_EQ(q.up.y, up.y);
    EXPECT_EQ(q.up.z, up.z);
    EXPECT_EQ(q.right.x, right.x);

    // A quarter turn in the plane facing the camera takes up onto the old right axis (or its
    // opposite) and keeps the axes unit length.
    q.rollAboutView(90.0f);
    EXPECT_NEAR(std::fabs(dot(q.up, right)), 1.0f, 1e-4f);
    EXPECT_NEAR(dot(q.up, up), 0.0f, 1e-4f);
    EXPECT_NEAR(length(q.right), 1.0f, 1e-4f);
}

using CameraGl = GlTest;

TEST_F(CameraGl, DefaultsLeaveTheModelViewIdentity) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Camera().apply();
    float m[16];
    glGetFloatv(GL_MODELVIEW_MATRIX, m);
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(m[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-6f) << "element " << i;
}

TEST_F(CameraGl, PlacedCameraPutsTheOriginStraightAhead) {
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    Camera camera;
    camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
    camera.apply();
    double m[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, m);
    // The origin maps to the translation column: straight down -z at the eye's distance.
    const double distance = std::sqrt(15.09 * 15.09 + 1.3 * 1.3 + 4.28 * 4.28);
    EXPECT_NEAR(m[12], 0.0, 1e-4);
    EXPECT_NEAR(m[13], 0.0, 1e-4);
    EXPECT_NEAR(m[14], -distance, 1e-4);
    // The eye itself maps to the origin of eye space.
    const double ex = 15.09f, ey = 1.3f, ez = 4.28f;
    EXPECT_NEAR(m[0] * ex + m[4] * ey + m[8] * ez + m[12], 0.0, 1e-4);
    EXPECT_NEAR(m[1] * ex + m[5] * ey + m[9] * ez + m[13], 0.0, 1e-4);
    EXPECT_NEAR(m[2] * ex + m[6] * ey + m[10] * ez + m[14], 0.0, 1e-4);
}
