// The dodecahedron construction and the per-vertex pulse.
#include <cmath>
#include <map>
#include <utility>

#include <gtest/gtest.h>

#include "gfx/sine_table.h"
#include "scenes/dodeca/mesh.h"

namespace {

float distance(const Vec3& a, const Vec3& b) {
    const Vec3 d = Vec3::subtract(a, b);
    return std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
}

void expectNear(const Vec3& v, float x, float y, float z, float tolerance = 2e-6f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

PulsingDodecahedron builtAt(Vec3 centre, float edge) {
    PulsingDodecahedron mesh;
    mesh.init();
    mesh.centre = centre;
    mesh.build(edge);
    return mesh;
}

TEST(Dodecahedron, EdgeHalfMatchesTheReferenceShape) {
    const PulsingDodecahedron mesh = builtAt(Vec3(), 0.5f);
    ASSERT_EQ(mesh.vertices.size(), 20u);
    // R, zTop and zMid show in vertices 0, 5 and 10.
    expectNear(mesh.vertices[0], 0.0f, 0.425325f, -0.582387f);
    expectNear(mesh.vertices[5], 0.0f, 0.688191f, -0.157061f);
    expectNear(mesh.vertices[10], -0.404508f, 0.556758f, 0.157061f);
    expectNear(mesh.vertices[15], -0.25f, 0.344095f, 0.582387f);
    for (std::size_t i = 0; i < 20; ++i) {
        const bool outer = i < 5 || i >= 15;
        EXPECT_NEAR(distance(mesh.vertices[i], mesh.centre), outer ? 0.72116f : 0.70589f, 2e-5f) << i;
        EXPECT_EQ(mesh.restVertices[i].x, mesh.vertices[i].x);
        EXPECT_EQ(mesh.restVertices[i].z, mesh.vertices[i].z);
        // Radial unit normals.
        const Vec3& n = mesh.normals[i];
        const float r = distance(mesh.vertices[i], mesh.centre);
        expectNear(n, mesh.vertices[i].x / r, mesh.vertices[i].y / r, mesh.vertices[i].z / r);
    }
    EXPECT_NEAR(mesh.faceTexCoords[1].u, 0.975528f, 1e-6f);
    EXPECT_NEAR(mesh.faceTexCoords[2].v, 0.904508f, 1e-6f);
    EXPECT_NEAR(mesh.faceTexCoords[4].u, 0.024472f, 1e-6f);
    EXPECT_EQ(mesh.colour[0], 1.0f);

    // Built elsewhere, the same shape moves with its centre.
    const PulsingDodecahedron moved = builtAt(Vec3(1.0f, -2.0f, 3.0f), 0.5f);
    for (std::size_t i = 0; i < 20; ++i) {
        expectNear(Vec3::subtract(moved.vertices[i], moved.centre), mesh.vertices[i].x, mesh.vertices[i].y,
                   mesh.vertices[i].z, 5e-6f);
        expectNear(moved.normals[i], mesh.normals[i].x, mesh.normals[i].y, mesh.normals[i].z, 1e-5f);
    }
}

TEST(Dodecahedron, FacesCloseTheSurfaceWithThirtyEdges) {
    const PulsingDodecahedron mesh = builtAt(Vec3(), 0.5f);
    const std::int32_t expected[12][5] = {
        {0, 1, 2, 3, 4},     {0, 5, 11, 6, 1},    {1, 6, 12, 7, 2},    {2, 7, 13, 8, 3},
        {3, 8, 14, 9, 4},    {4, 9, 10, 5, 0},    {15, 16, 11, 5, 10}, {16, 17, 12, 6, 11},
        {17, 18, 13, 7, 12}, {18, 19, 14, 8, 13}, {19, 15, 10, 9, 14}, {19, 18, 17, 16, 15},
    };
    ASSERT_EQ(mesh.faces.size(), 12u);
    std::map<std::pair<int, int>, int> edges;
    for (std::size_t f = 0; f < 12; ++f) {
        ASSERT_EQ(mesh.faces[f].size(), 5u);
        for (std::size_t c = 0; c < 5; ++c) {
            EXPECT_EQ(mesh.faces[f][c], expected[f][c]) << "face " << f << " corner " << c;
            const int a = mesh.faces[f][c];
            const int b = mesh.faces[f][(c + 1) % 5];
            ++edges[{std::min(a, b), std::max(a, b)}];
        }
    }
    // Every edge between exactly two faces; 20 of length s and the 10 slanted ones longer.
    EXPECT_EQ(edges.size(), 30u);
    int shortEdges = 0;
    int longEdges = 0;
    for (const auto& [edge, count] : edges) {
        EXPECT_EQ(count, 2) << edge.first << "-" << edge.second;
        const float length = distance(mesh.vertices[std::size_t(edge.first)], mesh.vertices[std::size_t(edge.second)]);
        if (std::fabs(length - 0.5f) < 1e-5f) ++shortEdges;
        if (std::fabs(length - 0.5f * 1.0575f) < 1e-3f) ++longEdges;
    }
    EXPECT_EQ(shortEdges, 20);
    EXPECT_EQ(longEdges, 10);
}

TEST(Dodecahedron, AVertexOnTheCentreGetsTheFallbackNormalAndNoStep) {
    buildSineTable();
    PulsingDodecahedron mesh = builtAt(Vec3(1.0f, 2.0f, 3.0f), 0.5f);
    mesh.vertices[7] = mesh.centre;
    mesh.restVertices[7] = mesh.centre;
    mesh.computeNormals();
    expectNear(mesh.normals[7], 1.0f, 1.0f, 1.0f, 0.0f);
    mesh.pulse(100);
    expectNear(mesh.steps[7], 0.0f, 0.0f, 0.0f, 0.0f);
    expectNear(mesh.vertices[7], 1.0f, 2.0f, 3.0f, 0.0f);
}

TEST(PulsingDodecahedron, HalfPulsesLastTheirCountersAndAlternate) {
    buildSineTable();
    PulsingDodecahedron mesh = builtAt(Vec3(0.5f, -1.0f, 2.0f), 0.5f);
    EXPECT_EQ(mesh.phaseStep, 18.0f);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(mesh.counters[i], 0);
        EXPECT_EQ(mesh.directions[i], 1);
    }

    // The first call re-arms every vertex and sends it outward.
    mesh.pulse(100);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(mesh.directions[i], 0) << i;
        EXPECT_GT(distance(mesh.vertices[i], mesh.centre), distance(mesh.restVertices[i], mesh.centre)) << i;
        const Vec3 rest = Vec3::subtract(mesh.restVertices[i], mesh.centre);
        expectNear(mesh.steps[i], rest.x / 200.0f, rest.y / 200.0f, rest.z / 200.0f, 1e-9f);
    }
    // Re-armed counts (one already spent): P + sin × P/10 at 18 degrees a vertex.
    EXPECT_EQ(mesh.counters[4] + 1, 110);   // sine 1
    EXPECT_EQ(mesh.counters[14] + 1, 90);   // sine -1
    EXPECT_EQ(mesh.counters[9] + 1, 100);   // sine 0 (180 degrees)
    EXPECT_EQ(mesh.counters[19] + 1, 100);  // sine 0 (360 degrees)
    EXPECT_EQ(mesh.counters[0] + 1, int(100 + SineTable[12] * 10.0));

    // Vertex 4 moves out for exactly 110 calls, by 0.55 of its rest offset...
    for (int call = 2; call <= 110; ++call) mesh.pulse(100);
    EXPECT_EQ(mesh.counters[4], 0);
    const float restDistance = distance(mesh.restVertices[4], mesh.centre);
    EXPECT_NEAR(distance(mesh.vertices[4], mesh.centre), restDistance * 1.55f, 1e-4f);
    // ...and then turns inward with a count and a step from the new period.
    mesh.pulse(120);
    EXPECT_EQ(mesh.directions[4], 1);
    EXPECT_EQ(mesh.counters[4] + 1, 132);
    EXPECT_NEAR(distance(mesh.vertices[4], mesh.centre), restDistance * (1.55f - 1.0f / 240.0f), 1e-4f);
    // Vertex 14 (90 frames) has long been on its way back.
    EXPECT_EQ(mesh.directions[14], 1);

    // Periods drawn differently each half-pulse leave the rest positions behind for good, but
    // the pulse stays bounded around them.
    for (int call = 0; call < 5000; ++call) mesh.pulse(100 + call % 26);
    for (std::size_t i = 0; i < 20; ++i) {
        const float r = distance(mesh.vertices[i], mesh.centre) / distance(mesh.restVertices[i], mesh.centre);
        EXPECT_GT(r, 0.2f);
        EXPECT_LT(r, 2.0f);
    }
}

TEST(PulsingDodecahedron, NonsensePeriodsNeitherDivideByZeroNorStopThePulse) {
    buildSineTable();
    PulsingDodecahedron mesh = builtAt(Vec3(), 0.5f);
    const std::int32_t periods[] = {0, -5, 1, 1, 2147483647, 1, 0};
    for (std::int32_t p : periods) mesh.pulse(p);
    for (int call = 0; call < 50; ++call) mesh.pulse(1);
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_TRUE(std::isfinite(mesh.vertices[i].x + mesh.vertices[i].y + mesh.vertices[i].z));
        EXPECT_GE(mesh.counters[i], -1) << "a vertex that stops re-arming runs away";
    }
}

TEST(Mesh, AllocateKeepsEntriesAndResetsCentreAndColour) {
    Mesh mesh;
    mesh.allocate(3, 2, 4, 5, 1);
    EXPECT_EQ(mesh.vertices.size(), 3u);
    EXPECT_EQ(mesh.restVertices.size(), 3u);
    EXPECT_EQ(mesh.normals.size(), 2u);
    ASSERT_EQ(mesh.faces.size(), 4u);
    EXPECT_EQ(mesh.faces[3].size(), 5u);
    EXPECT_EQ(mesh.faceTexCoords.size(), 1u);
    mesh.vertices[1] = Vec3(4.0f, 5.0f, 6.0f);
    mesh.centre = Vec3(1.0f, 1.0f, 1.0f);
    mesh.colour[0] = 0.25f;
    mesh.allocate(2, 2, 1, 3, 5);
    EXPECT_EQ(mesh.vertices[1].y, 5.0f);
    EXPECT_EQ(mesh.centre.x, 0.0f);
    EXPECT_EQ(mesh.colour[0], 1.0f);
    EXPECT_EQ(mesh.faces[0].size(), 3u);

    // Too small for a dodecahedron: build leaves it alone rather than write past the arrays.
    Dodecahedron small;
    small.allocate(2, 2, 1, 3, 5);
    small.build(0.5f);
    EXPECT_EQ(small.vertices[0].x, 0.0f);
}

}  // namespace
