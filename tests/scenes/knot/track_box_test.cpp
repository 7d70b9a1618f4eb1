// Box mesh and track box: the static tables, turning, the rest pose, the corner orbits and the
// size pulse.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <vector>

#include "gfx/gl.h"
#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/knot/track_box.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

void expectVec(const Vec3& actual, float x, float y, float z, float tolerance = 1e-6f) {
    EXPECT_NEAR(actual.x, x, tolerance);
    EXPECT_NEAR(actual.y, y, tolerance);
    EXPECT_NEAR(actual.z, z, tolerance);
}

class TrackBoxTest : public testing::Test {
protected:
    void SetUp() override {
        buildSineTable();
        lcgState = 1;
        demo.dt = 0.0f;
    }
};

TEST_F(TrackBoxTest, UnitBoxNormalsInDrawingOrderWithTheInwardBottomFace) {
    BoxMesh box;
    box.init({0.5f, 0.5f, 0.5f}, {1.0f, 1.0f, 1.0f});
    const float expected[12][3] = {{0, 0, -1}, {0, 0, -1}, {1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 0, 1},
                                   {-1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}};
    for (int t = 0; t < 12; ++t) {
        SCOPED_TRACE(t);
        expectVec(box.normals[t], expected[t][0], expected[t][1], expected[t][2]);
    }
    // Unnormalised: a non-cubic box scales them by the face's area.
    box.init({0, 0, 0}, {2.0f, 3.0f, 5.0f});
    expectVec(box.normals[0], 0.0f, 0.0f, -6.0f);
}

TEST_F(TrackBoxTest, InitCentresTheBoxOnItsBase) {
    BoxMesh box;
    box.colour = {0.1f, 0.2f, 0.3f, 0.4f};
    box.init({0.0f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.5f});
    expectVec(box.base, -0.25f, -0.25f, -0.25f);
    expectVec(box.vertices[5], 0.5f, 0.5f, 0.5f);
    expectVec(box.vertices[7], 0.0f, 0.0f, 0.5f);
    EXPECT_FLOAT_EQ(box.colour.a, 0.4f);  // init keeps the colour
    box.place({1.0f, 2.0f, 3.0f});
    expectVec(box.base, 0.75f, 1.75f, 2.75f);
}

TEST_F(TrackBoxTest, CornerPointsAreTheFacesFirstVertices) {
    int firsts[6];
    for (int f = 0; f < 6; ++f) firsts[f] = BoxMesh::kFaces[f][0];
    EXPECT_EQ(std::vector<int>(firsts, firsts + 6), (std::vector<int>{1, 1, 4, 2, 1, 7}));
}

TEST_F(TrackBoxTest, TurnsBelowOneStepLeaveTheBoxButRecomputeNormals) {
    BoxMesh box;
    box.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    box.rotate(30.0f, {1.0f, 1.0f, 0.0f});
    BoxMesh before = box;
    for (Vec3& n : box.normals) n = {9.0f, 9.0f, 9.0f};
    box.rotate(1.4f, {0.0f, 1.0f, 0.0f});
    box.rotate(-1.4f, {1.0f, 0.0f, 0.0f});
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(box.vertices[k].x, before.vertices[k].x);
        EXPECT_EQ(box.vertices[k].y, before.vertices[k].y);
        EXPECT_EQ(box.vertices[k].z, before.vertices[k].z);
    }
    EXPECT_EQ(box.diagonal.x, before.diagonal.x);
    for (int t = 0; t < 12; ++t) expectVec(box.normals[t], before.normals[t].x, before.normals[t].y, before.normals[t].z);
}

TEST_F(TrackBoxTest, TurnsAccumulateAndKeepTheBoxOnItsCentre) {
    BoxMesh box;
    box.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    // 64 steps of 1.40625 degrees make a quarter turn about y.
    for (int i = 0; i < 64; ++i) box.rotate(1.5f, {0.0f, 1.0f, 0.0f});
    expectVec(box.vertices[1], 0.0f, 0.0f, 1.0f, 1e-4f);  // clockwise seen from +y: x goes to +z
    expectVec(box.diagonal, box.vertices[5].x, box.vertices[5].y, box.vertices[5].z, 1e-6f);
    box.place({3.0f, 0.0f, 0.0f});
    const Vec3 centre = Vec3::add(box.base, Vec3::scale(box.vertices[5], 0.5f));
    expectVec(centre, 3.0f, 0.0f, 0.0f, 1e-5f);
}

TEST_F(TrackBoxTest, SaveRestKeepsTheFirstPoseAndAlwaysZeroesPhases) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    box.mesh.colour = {0.2f, 0.3f, 0.4f, 0.5f};
    box.saveRest();
    EXPECT_EQ(box.restSaved, 1);
    for (float& p : box.orbitPhase) p = 7.0f;
    box.mesh.rotate(45.0f, {0, 0, 1});
    box.mesh.colour = {1, 0, 0, 1};
    box.saveRest();
    expectVec(box.restVertices[5], 0.5f, 0.5f, 0.5f);
    expectVec(box.restDiagonal, 0.5f, 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(box.restColour.g, 0.3f);
    for (float p : box.orbitPhase) EXPECT_EQ(p, 0.0f);
}

TEST_F(TrackBoxTest, RestoreRestPutsBackThePoseButNotTheNormalsOrPlace) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    box.saveRest();
    box.mesh.rotate(20.0f, {1, 0, 0});
    box.mesh.place({5, 5, 5});
    const BoxMesh turned = box.mesh;
    box.orbitPhase[3] = 4.5f;
    box.restoreRest();
    expectVec(box.mesh.vertices[5], 0.5f, 0.5f, 0.5f);
    expectVec(box.mesh.diagonal, 0.5f, 0.5f, 0.5f);
    expectVec(box.mesh.base, turned.base.x, turned.base.y, turned.base.z);
    for (int t = 0; t < 12; ++t) expectVec(box.mesh.normals[t], turned.normals[t].x, turned.normals[t].y, turned.normals[t].z);
    EXPECT_EQ(box.orbitPhase[3], 4.5f);
}

TEST_F(TrackBoxTest, OrbitsTakeEightDrawsAndRandomLengths) {
    TrackBox box;
    box.buildOrbits(1.0f);
    const int base[8] = {50, 60, 50, 80, 10, 50, 60, 150};
    lcgState = 1;
    for (int k = 0; k < 8; ++k) {
        const int n = lcgRand() * 30 / 32767 + base[k];
        EXPECT_EQ(box.orbits[k].points.size(), std::size_t(n) + 1) << k;
        EXPECT_NEAR(box.orbits[k].points[0].x, 1.5f, 1e-5f);
    }
    const std::uint32_t afterEight = lcgState;
    lcgState = 1;
    box.buildOrbits(1.0f);
    EXPECT_EQ(lcgState, afterEight);
}

TEST_F(TrackBoxTest, FollowOrbitsStepsAlongAndStartsOverAtTheEnd) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    box.saveRest();
    box.buildOrbits(1.0f);
    demo.dt = 0.5f;

    box.orbitPhase[0] = 2.9f;
    const float count = float(box.orbits[1].points.size());
    box.orbitPhase[1] = count;         // integer part equals the point count
    const float count2 = float(box.orbits[2].points.size());
    box.orbitPhase[2] = count2 - 0.5f;  // the last point
    box.orbitPhase[3] = 1e30f;         // a stalled frame's leftover
    box.orbitPhase[4] = std::numeric_limits<float>::quiet_NaN();
    box.followOrbits();

    const Vec3 rest0 = box.restVertices[0];
    const Vec3 p0 = box.orbits[0].points[2];
    expectVec(box.mesh.vertices[0], p0.x + rest0.x, p0.y + rest0.y, p0.z + rest0.z);
    EXPECT_FLOAT_EQ(box.orbitPhase[0], 3.65f);

    const Vec3 start1 = Vec3::add(box.orbits[1].points[0], box.restVertices[1]);
    expectVec(box.mesh.vertices[1], start1.x, start1.y, start1.z);
    EXPECT_EQ(box.orbitPhase[1], 0.0f);

    const Vec3 end2 = Vec3::add(box.orbits[2].points.back(), box.restVertices[2]);
    expectVec(box.mesh.vertices[2], end2.x, end2.y, end2.z);
    EXPECT_FLOAT_EQ(box.orbitPhase[2], count2 - 0.5f + 0.75f);

    EXPECT_EQ(box.orbitPhase[3], 0.0f);
    EXPECT_EQ(box.orbitPhase[4], 0.0f);
    const Vec3 start4 = Vec3::add(box.orbits[4].points[0], box.restVertices[4]);
    expectVec(box.mesh.vertices[4], start4.x, start4.y, start4.z);
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

// The edge of the pulsed cube, read back from vertex 5 (which is (e, e, e)).
float pulseEdge(TrackBox& box) {
    box.pulse();
    EXPECT_EQ(box.mesh.vertices[5].x, box.mesh.vertices[5].z);
    EXPECT_EQ(box.mesh.vertices[0].x, 0.0f);  // it grows from the corner at base
    return box.mesh.vertices[5].x;
}

TEST_F(TrackBoxTest, PulseSwingsSlowlyAndBurstsFromOneAndAHalf) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    const Vec3 baseBefore = box.mesh.base;
    demo.dt = 90.0f;
    lcgState = stateBeforeBurst(2);
    EXPECT_NEAR(pulseEdge(box), 0.6f, 1e-6f);  // angle 90: sine 1
    EXPECT_EQ(box.burst, 0);
    EXPECT_NEAR(pulseEdge(box), 0.5f, 1e-6f);  // angle 180
    expectVec(box.mesh.base, baseBefore.x, baseBefore.y, baseBefore.z);

    box.burst = 1;
    box.burstCounter = 100;
    EXPECT_NEAR(pulseEdge(box), 1.49f * 0.5f, 1e-6f);
    EXPECT_EQ(box.burstCounter, 99);
    box.burstCounter = 1;
    EXPECT_NEAR(pulseEdge(box), 0.25f, 1e-6f);
    // The frame that ends the burst shows the full counter once.
    EXPECT_NEAR(pulseEdge(box), 0.75f, 1e-6f);
    EXPECT_EQ(box.burst, 0);
    EXPECT_EQ(box.burstCounter, 100);
}

TEST_F(TrackBoxTest, PulseAngleWrapsAndAFewDrawsStartABurst) {
    TrackBox box;
    box.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    demo.dt = 1000.0f;
    box.pulse();
    EXPECT_EQ(box.pulseAngle, 1000.0f);
    box.pulse();
    EXPECT_EQ(box.pulseAngle, 2000.0f);
    box.pulse();
    EXPECT_EQ(box.pulseAngle, 0.0f);

    // Only a draw of 163 or less (one frame in about two hundred) starts a burst.
    const int frames = 5;
    lcgState = stateBeforeBurst(frames);
    demo.dt = 0.1f;
    TrackBox fresh;
    fresh.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
    for (int i = 0; i < frames; ++i) fresh.pulse();
    EXPECT_EQ(fresh.burst, 0);
    fresh.pulse();
    EXPECT_EQ(fresh.burst, 1);
    EXPECT_EQ(fresh.pulseDraw, 0);
    EXPECT_NEAR(fresh.mesh.vertices[5].x, 0.745f, 1e-6f);
}

class BoxMeshGlTest : public GlTest {};

// Counts what the GL receives, in feedback mode (nothing reaches the picture).
std::vector<GLfloat> feedback(void (*draw)(const BoxMesh&), const BoxMesh& box) {
    std::vector<GLfloat> buffer(4096);
    glFeedbackBuffer(GLsizei(buffer.size()), GL_3D, buffer.data());
    glRenderMode(GL_FEEDBACK);
    draw(box);
    const GLint used = glRenderMode(GL_RENDER);
    buffer.resize(std::size_t(used > 0 ? used : 0));
    return buffer;
}

struct Primitives {
    int points = 0;
    int polygons = 0;
    std::vector<Vec3> pointAt;  // window coordinates of each point
};

// Walks a GL_3D feedback buffer (three floats per vertex).
Primitives countPrimitives(const std::vector<GLfloat>& buffer) {
    Primitives found;
    std::size_t i = 0;
    while (i < buffer.size()) {
        const GLfloat token = buffer[i];
        if (token == GL_POINT_TOKEN) {
            ++found.points;
            found.pointAt.emplace_back(buffer[i + 1], buffer[i + 2], buffer[i + 3]);
            i += 1 + 3;
        } else if (token == GL_POLYGON_TOKEN) {
            ++found.polygons;
            i += 2 + std::size_t(buffer[i + 1]) * 3;
        } else if (token == GL_LINE_TOKEN || token == GL_LINE_RESET_TOKEN) {
            i += 1 + 6;
        } else if (token == GL_PASS_THROUGH_TOKEN) {
            i += 2;
        } else {
            i += 1 + 3;  // bitmap and pixel tokens carry one vertex
        }
    }
    return found;
}

TEST_F(BoxMeshGlTest, CornersAreSixPointsAndTheBoxTwelveTriangles) {
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glOrtho(-4, 4, -4, 4, -4, 4);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glDisable(GL_CULL_FACE);
    BoxMesh box;
    box.init({0, 0, 0}, {1.0f, 1.0f, 1.0f});
    box.rotate(33.0f, {1.0f, 2.0f, 3.0f});
    const auto corners = feedback([](const BoxMesh& b) { b.drawCorners(4.0f); }, box);
    const Primitives found = countPrimitives(corners);
    ASSERT_EQ(found.points, 6);
    EXPECT_EQ(found.polygons, 0);
    // Vertices 1, 1, 4, 2, 1 and 7, mapped by the ortho view onto the viewport.
    GLint view[4];
    glGetIntegerv(GL_VIEWPORT, view);
    const int expected[6] = {1, 1, 4, 2, 1, 7};
    for (int k = 0; k < 6; ++k) {
        const Vec3 w = Vec3::add(box.base, box.vertices[expected[k]]);
        EXPECT_NEAR(found.pointAt[std::size_t(k)].x, view[0] + (w.x + 4.0f) / 8.0f * float(view[2]), 0.05f) << k;
        EXPECT_NEAR(found.pointAt[std::size_t(k)].y, view[1] + (w.y + 4.0f) / 8.0f * float(view[3]), 0.05f) << k;
    }
    GLfloat size = 0.0f;
    glGetFloatv(GL_POINT_SIZE, &size);
    EXPECT_EQ(size, 1.0f);
    const auto solid = feedback([](const BoxMesh& b) { b.draw(); }, box);
    EXPECT_EQ(countPrimitives(solid).polygons, 12);
}

}  // namespace
