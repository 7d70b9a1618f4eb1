// TrackBox: one of the knot track scene's boxes. A BoxMesh (8 vertices, 12 lit triangles,
// placed by its centre, tumbling about it) plus what the scene animates it with: a rest pose
// the 75-second action puts back, eight small knot orbits for the corners of an outer box, and
// the size pulse of an inner box.
#pragma once

#include "gfx/quad.h"
#include "gfx/vec3.h"
#include "scenes/knot/knot_path.h"

class BoxMesh {
public:
    // Vertex indices of the 12 triangles in drawing order. The last two (the y = 0 face) are
    // wound the other way round from the rest, so their normal points into the box; the box was
    // always lit like that and the picture depends on it.
    static const int kTriangles[12][3];
    // Which of the eight texture coordinates each triangle corner takes.
    static const int kTriangleTexCoords[12][3];
    // Four vertex indices per face; only the first of each is used (the corner points).
    static const int kFaces[6][4];

    // An axis-aligned box of the given size centred on centre; the colour is kept.
    void init(Vec3 centre, Vec3 size);
    // Centres the box on p; vertices and normals stay as they are.
    void place(Vec3 p);
    // Turns the vertices (about base) and the diagonal together, so the next place() keeps the
    // box on its centre; turns accumulate. Angles go through the sine table: below one step
    // nothing moves, but the normals are recomputed all the same.
    void rotate(float degrees, Vec3 axis);
    // One unnormalised normal per triangle (the light normalises).
    void computeNormals();
    void draw() const;
    // Six points, one per face at its first vertex: four distinct corners, vertex 1 three times.
    void drawCorners(float pointSize) const;

    Vec3 base;
    Vec3 diagonal;
    TexCoord texCoords[8];
    Vec3 vertices[8];
    Vec3 normals[12];
    Colour4 colour;
};

class TrackBox {
public:
    TrackBox() = default;
    virtual ~TrackBox() = default;
    TrackBox(const TrackBox&) = default;
    TrackBox& operator=(const TrackBox&) = default;
    TrackBox(TrackBox&&) = default;
    TrackBox& operator=(TrackBox&&) = default;

    // Remembers the pose once (later calls keep the first one); always restarts the orbits.
    void saveRest();
    // Vertices, diagonal and colour back to the saved pose. Normals, base, orbits and phases
    // are left alone: the inner boxes keep the normals of their last turn for the rest of the
    // scene.
    void restoreRest();
    // Eight torus-knot orbits of random length (eight random draws).
    void buildOrbits(float scale);
    // Each vertex to its orbit's current point around its rest position; advances by the
    // demo's frame step.
    void followOrbits();
    // The inner boxes' size pulse (one random draw): a slow sine swing, now and then a burst
    // that shrinks back frame by frame. The cube grows from the corner at base.
    void pulse();

    BoxMesh mesh;
    KnotPath orbits[8];
    Vec3 restVertices[8];
    float orbitPhase[8] = {};
    int restSaved = 0;
    Vec3 restDiagonal{1.0f, 1.0f, 1.0f};
    Colour4 restColour;
    int pulseDraw = 0;
    float pulseAngle = 0.0f;
    int burst = 0;
    int burstCounter = 100;
};
