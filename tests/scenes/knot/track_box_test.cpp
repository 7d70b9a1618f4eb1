// Box mesh and track box: the tables, turning, the rest pose, the corner orbits, the pulse.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "platform/gl.h"
#include "scenes/knot/track_box.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

void expectVec(const Vec3& actual, const Vec3& expected, float tolerance = 1e-6f) {
    EXPECT_NEAR(actual.x, expected.x, tolerance);
    EXPECT_NEAR(actual.y, expected.y, tolerance);
    EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class TrackBoxTest : public testing::Test {
protected:
    void SetUp() override {
        buildSineTable();
        lcgState = 1;
    }
};

TEST_F(TrackBoxTest, InitLaysOutTheBoxAndItsNormalsWithTheInwardBottomFace) {
    BoxMesh box;
    box.init({0.0f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.5f});
    expectVec(box.base, {-0.25f, -0.25f, -0.25f});
    expectVec(box.vertices[5], {0.5f, 0.5f, 0.5f});

    box.init({0.5f, 0.5f, 0.5f}, {1.0f, 1.0f, 1.0f});
    const Vec3 expected[12] = {{0, 0, -1}, {0, 0, -1}, {1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 1},
                               {-1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    for (int t = 0; t < 12; ++t) expectVec(box.normals[t], expected[t]);
}

TEST_F(TrackBoxTest, WholeStepsAccumulateAboutTheCentre) {
    BoxMesh box;
    box.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    box.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    for (int i = 0; i < 64; ++i) box.rotate(1.5f, {0.0f, 1.0f, 0.0f});  // 64 steps: a quarter turn
    expectVec(box.vertices[1], {0.0f, 0.0f, 1.0f}, 1e-4f);  // clockwise seen from +y
    expectVec(box.diagonal, box.vertices[5], 0.0f);
    box.place({3.0f, 0.0f, 0.0f});
    expectVec(Vec3::add(box.base, Vec3::scale(box.vertices[5], 0.5f)), {3.0f, 0.0f, 0.0f}, 1e-5f);
}

TEST_F(TrackBoxTest, SaveRestKeepsTheFirstPoseAndRestoreLeavesNormalsAndPlace) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    box.saveRest();
    for (float& p : box.orbitPhase) p = 7.0f;
    box.mesh.rotate(45.0f, {0, 0, 1});
    box.mesh.place({5, 5, 5});
    box.saveRest();
    for (float p : box.orbitPhase) EXPECT_EQ(p, 0.0f);
    const BoxMesh turned = box.mesh;
    box.restoreRest();
    expectVec(box.mesh.vertices[5], {0.5f, 0.5f, 0.5f});
    expectVec(box.mesh.diagonal, {0.5f, 0.5f, 0.5f});
    expectVec(box.mesh.base, turned.base, 0.0f);
    for (int t = 0; t < 12; ++t) expectVec(box.mesh.normals[t], turned.normals[t], 0.0f);
}

TEST_F(TrackBoxTest, VerticesFollowTheirOrbitsAndStartOverAtTheEnd) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    box.saveRest();
    box.buildOrbits(1.0f);  // how many points each orbit holds: the knot scene's init test

    demo.dt = 0.5f;
    const auto size = [&](int k) { return float(box.orbits[k].points.size()); };
    box.orbitPhase[0] = 2.9f;
    box.orbitPhase[1] = size(1);         // integer part equals the point count
    box.orbitPhase[2] = size(2) - 0.5f;  // the last point
    box.orbitPhase[3] = 1e30f;           // what a stalled frame might leave
    box.orbitPhase[4] = std::numeric_limits<float>::quiet_NaN();
    box.followOrbits();
    const auto onOrbit = [&](int k, std::size_t i) { return Vec3::add(box.orbits[k].points[i], box.restVertices[k]); };
    expectVec(box.mesh.vertices[0], onOrbit(0, 2));
    EXPECT_FLOAT_EQ(box.orbitPhase[0], 3.65f);
    expectVec(box.mesh.vertices[2], onOrbit(2, box.orbits[2].points.size() - 1));
    for (const int k : {1, 3, 4}) {
        expectVec(box.mesh.vertices[k], onOrbit(k, 0));
        EXPECT_EQ(box.orbitPhase[k], 0.0f);
    }
}

// A generator state from which the next `quiet` draws start no burst and the one after does.
std::uint32_t stateBeforeBurst(int quiet) {
    for (std::uint32_t seed = 1;; ++seed) {
        lcgState = seed;
        int n = 0;
        while (lcgRand() * 200 / 32767 != 0) ++n;
        if (n == quiet) return seed;
    }
}

// The edge of the pulsed cube, from vertex 5 = (e, e, e); it grows from the corner at base.
float pulseEdge(TrackBox& box) {
    box.pulse();
    EXPECT_EQ(box.mesh.vertices[5].x, box.mesh.vertices[5].z);
    EXPECT_EQ(box.mesh.vertices[0].x, 0.0f);
    return box.mesh.vertices[5].x;
}

TEST_F(TrackBoxTest, PulseSwingsSlowlyAndBurstsEndAtOneAndAHalf) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    demo.dt = 90.0f;
    lcgState = stateBeforeBurst(3);
    EXPECT_NEAR(pulseEdge(box), 0.6f, 1e-6f);  // angle 90: sine 1
    EXPECT_NEAR(pulseEdge(box), 0.5f, 1e-6f);  // angle 180
    EXPECT_NEAR(pulseEdge(box), 0.4f, 1e-6f);  // angle 270
    EXPECT_EQ(box.burst, 0);
    EXPECT_NEAR(pulseEdge(box), 0.745f, 1e-6f);  // the fourth draw starts a burst at 1.49 f
    EXPECT_EQ(box.burst, 1);
    box.burstCounter = 1;
    EXPECT_NEAR(pulseEdge(box), 0.25f, 1e-6f);  // 0.5 f after 99 frames
    EXPECT_NEAR(pulseEdge(box), 0.75f, 1e-6f);  // the frame that ends it: 1.5 f
    EXPECT_EQ(box.burst, 0);
    EXPECT_EQ(box.burstCounter, 100);
}

class BoxMeshGlTest : public GlTest {};

struct Primitives {
    int points = 0;
    int polygons = 0;
    std::vector<Vec3> pointAt;  // window coordinates of each point
};

// What the GL receives, in feedback mode (GL_3D: three floats a vertex).
Primitives feedback(void (*draw)(const BoxMesh&), const BoxMesh& box) {
    std::vector<GLfloat> buffer(4096);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw(box);
    const std::size_t used = std::size_t(std::max(0, glRenderMode(GL_RENDER)));
    Primitives found;
    for (std::size_t i = 0; i < used;) {
        const GLfloat token = buffer[i];
        if (token == GL_POINT_TOKEN) {
            ++found.points;
            found.pointAt.emplace_back(buffer[i + 1], buffer[i + 2], buffer[i + 3]);
            i += 4;
        } else if (token == GL_POLYGON_TOKEN) {
            ++found.polygons;
            i += 2 + std::size_t(buffer[i + 1]) * 3;
        } else {
            i += token == GL_PASS_THROUGH_TOKEN ? 2 : token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN ? 7 : 4;
        }
    }
    return found;
}

TEST_F(BoxMeshGlTest, CornersAreSixPointsOnVertices114217AndTheBoxTwelveTriangles) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-4, 4, -4, 4, -4, 4);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    BoxMesh box;
    box.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    box.rotate(33.0f, {1.0f, 2.0f, 3.0f});
    const Primitives corners = feedback([](const BoxMesh& b) { b.drawCorners(4.0f); }, box);
    ASSERT_EQ(corners.points, 6);
    EXPECT_EQ(corners.polygons, 0);
    GLint view[4];
    glGetIntegerv(GL_VIEWPORT, view);
    const int expected[6] = {1, 1, 4, 2, 1, 7};
    for (std::size_t k = 0; k < 6; ++k) {
        const Vec3 w = Vec3::add(box.base, box.vertices[expected[k]]);
        EXPECT_NEAR(corners.pointAt[k].x, float(view[0]) + (w.x + 4.0f) / 8.0f * float(view[2]), 0.05f) << k;
        EXPECT_NEAR(corners.pointAt[k].y, float(view[1]) + (w.y + 4.0f) / 8.0f * float(view[3]), 0.05f) << k;
    }
    GLfloat size = 0.0f;
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 1.0f);
    EXPECT_EQ(feedback([](const BoxMesh& b) { b.draw(); }, box).polygons, 12);
}

}  // namespace
