// Quad: the sprite primitive. Four corners precomputed from a position, two axes, a size and
// an anchor mode; drawn as two textured triangles. It never binds textures or changes GL state
// besides the current colour: its owner does that.
#pragma once

#include "gfx/vec3.h"

struct TexCoord {
    float u = 0.0f;
    float v = 0.0f;
};

struct Colour4 {
    float r = 1.0f;
    float g = 1.0f;
    float b = 1.0f;
    float a = 1.0f;
};

class Quad {
public:
    Quad() = default;

    // position = basePosition = p, size w × h, then the corners are recomputed.
    void place(Vec3 p, float w, float h);
    void setTexCoords(float u0, float v0, float u1, float v1, float u2, float v2, float u3, float v3);
    void setColor(float r, float g, float b, float a);
    // position = basePosition + d. The corners wait for updateCorners.
    void setOffset(Vec3 d);
    // Turns up and right to face the shared camera (faceCamera != 0). Corners wait.
    void orient(int faceCamera);
    // Rolls up and right about the shared camera's viewing axis. Corners wait.
    void rollAboutView(float degrees);
    void updateCorners();
    void draw() const;

    Vec3 corners[4];
    Vec3 position;
    Vec3 basePosition;
    float width = 1.0f;
    float height = 1.0f;
    int anchorMode = 0;
    Vec3 up{0.0f, 1.0f, 0.0f};
    Vec3 right{1.0f, 0.0f, 0.0f};
    Colour4 color;
    TexCoord texCoords[4] = {{0.0f, 1.0f}, {0.0f, 0.0f}, {1.0f, 0.0f}, {1.0f, 1.0f}};
};
