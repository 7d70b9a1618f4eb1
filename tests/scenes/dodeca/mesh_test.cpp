// The dodecahedron construction and the per-vertex pulse.
#include <cmath>

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
    buildSineTable();
    PulsingDodecahedron mesh;
    mesh.init();
    mesh.centre = centre;
    mesh.build(edge);
    return mesh;
}

TEST(Dodecahedron, EdgeHalfMatchesTheReferenceShapeWithRadialNormals) {
    const PulsingDodecahedron mesh = builtAt(Vec3(), 0.5f);
    // R, zTop and zMid show in vertices 0, 5 and 10.
    expectNear(mesh.vertices[0], 0.0f, 0.425325f, -0.582387f);
    expectNear(mesh.vertices[5], 0.0f, 0.688191f, -0.157061f);
    expectNear(mesh.vertices[10], -0.404508f, 0.556758f, 0.157061f);
    expectNear(mesh.vertices[15], -0.25f, 0.344095f, 0.582387f);
    for (std::size_t i = 0; i < 20; ++i) {
        const float r = distance(mesh.vertices[i], mesh.centre);
        EXPECT_NEAR(r, i < 5 || i >= 15 ? 0.72116f : 0.70589f, 2e-5f) << i;
        EXPECT_EQ(mesh.restVertices[i].y, mesh.vertices[i].y);
        expectNear(mesh.normals[i], mesh.vertices[i].x / r, mesh.vertices[i].y / r, mesh.vertices[i].z / r);
    }
    EXPECT_NEAR(mesh.faceTexCoords[1].u, 0.975528f, 1e-6f);
    EXPECT_NEAR(mesh.faceTexCoords[2].v, 0.904508f, 1e-6f);
    EXPECT_NEAR(mesh.faceTexCoords[4].u, 0.024472f, 1e-6f);

}

TEST(Dodecahedron, FacesAreTheTwelvePentagonsInTableOrder) {
    const PulsingDodecahedron mesh = builtAt(Vec3(), 0.5f);
    const std::int32_t table[12][5] = {
        {0, 1, 2, 3, 4},     {0, 5, 11, 6, 1},    {1, 6, 12, 7, 2},    {2, 7, 13, 8, 3},
        {3, 8, 14, 9, 4},    {4, 9, 10, 5, 0},    {15, 16, 11, 5, 10}, {16, 17, 12, 6, 11},
        {17, 18, 13, 7, 12}, {18, 19, 14, 8, 13}, {19, 15, 10, 9, 14}, {19, 18, 17, 16, 15},
    };
    for (std::size_t f = 0; f < 12; ++f) {
        for (std::size_t c = 0; c < 5; ++c) {
            EXPECT_EQ(mesh.faces[f][c], table[f][c]) << "face " << f << " corner " << c;
        }
    }
}

TEST(PulsingDodecahedron, TheFirstPulseGoesOutwardWithCountersFromTheSine) {
    PulsingDodecahedron mesh = builtAt(Vec3(0.5f, -1.0f, 2.0f), 0.5f);
    mesh.pulse(100);  // re-arms every vertex and sends it outward
    for (std::size_t i = 0; i < 20; ++i) {
        EXPECT_EQ(mesh.directions[i], 0) << i;
        EXPECT_GT(distance(mesh.vertices[i], mesh.centre), distance(mesh.restVertices[i], mesh.centre)) << i;
        const Vec3 rest = Vec3::subtract(mesh.restVertices[i], mesh.centre);
        expectNear(mesh.steps[i], rest.x / 200.0f, rest.y / 200.0f, rest.z / 200.0f, 1e-9f);
    }
    // P + sine × P/10, 18 degrees a vertex; the re-arming call already spent one.
    EXPECT_EQ(mesh.counters[4] + 1, 110);   // sine 1
    EXPECT_EQ(mesh.counters[14] + 1, 90);   // sine -1
    EXPECT_EQ(mesh.counters[9] + 1, 100);   // sine 0 at 180 degrees
    EXPECT_EQ(mesh.counters[19] + 1, 100);  // sine 0 at 360 degrees

    // A vertex on the centre: the fallback normal, no step.
    mesh.vertices[7] = mesh.restVertices[7] = mesh.centre;
    mesh.computeNormals();
    expectNear(mesh.normals[7], 1.0f, 1.0f, 1.0f, 0.0f);
    mesh.counters[7] = 0;
    mesh.pulse(100);
    expectNear(mesh.vertices[7], 0.5f, -1.0f, 2.0f, 0.0f);
}

}  // namespace
