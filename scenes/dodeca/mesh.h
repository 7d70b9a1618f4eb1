// The mesh classes of the dodecahedron cluster: a small polygon mesh drawn in immediate mode
// (lit solid polygons or line outlines), a dodecahedron built on it from an edge length by a
// fixed pentagon construction, and a pulsing variant whose vertices breathe radially in and
// out, each with a period of its own.
#pragma once

#include <cstdint>
#include <vector>

#include "gfx/quad.h"
#include "gfx/vec3.h"

class Mesh {
public:
    Mesh() = default;
    virtual ~Mesh() = default;
    Mesh(const Mesh&) = default;
    Mesh& operator=(const Mesh&) = default;

    // Resets centre and colour and sizes every array; a resize keeps what is there and appends
    // zero entries, or cuts from the end. Every face gets cornersPerFace corners.
    void allocate(unsigned vertexCount, unsigned normalCount, unsigned faceCount, unsigned cornersPerFace,
                  unsigned texCoordCount);
    // Every face as one lit polygon of (at most) five corners, with normals and texture pairs.
    void drawSolid() const;
    // Every face's outline as lines of the given width; the width goes back to 1 afterwards.
    void drawWire(float lineWidth) const;

    Vec3 centre;
    std::vector<Vec3> vertices;
    std::vector<Vec3> normals;
    std::vector<Vec3> restVertices;  // as built: the pulse measures its steps from them
    std::vector<std::vector<std::int32_t>> faces;
    std::vector<TexCoord> faceTexCoords;  // pair k serves corner k of every face
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
};

class Dodecahedron : public Mesh {
public:
    // Vertices around the current centre for edge length s, their rest copy, the faces, the
    // radial normals and the texture pairs. The arrays must already have their sizes
    // (20 vertices, 20 normals, 12 faces of 5, 5 texture pairs); a smaller mesh is left alone.
    void build(float edge);
    void setFaces();
    // Radial unit normals from the positions at this moment; a vertex on the centre gets (1, 1, 1).
    void computeNormals();
};

class PulsingDodecahedron : public Dodecahedron {
public:
    static constexpr unsigned kVertices = 20;

    // Sizes the mesh and the pulse arrays; every vertex waits to be re-armed outward.
    void init();
    // One frame of the pulse with the period base P in frames (the cluster passes 100 to 125).
    void pulse(std::int32_t period);

    std::vector<std::int32_t> counters;    // frames left in the vertex's half-pulse
    std::vector<std::int32_t> directions;  // 0 outward, 1 inward
    std::vector<Vec3> steps;               // displacement per frame
    float phaseStep = 0.0f;                // degrees between the vertices' phases
};
