// Small helpers that set GL state the same way everywhere: the 800 × 600 top-left screen
// space, blending paired with depth writes, one fixed-function light, and one screen card.
#pragma once

#include "platform/gl.h"

class Quad;

// Screen space with the origin at the top-left corner, y growing downward, z from -100 to 100,
// spanning the shell's window size (800 × 600) whatever the viewport. Model-view becomes the
// identity without being saved: callers push and pop it themselves.
struct Overlay2D {
    static void push();
    static void pop();  // restores the projection only; leaves model-view mode selected
};

// Blending always travels with depth writes off, so a blended pass never hides itself.
void enableBlending(GLenum src, GLenum dst);
void disableBlending();

class Light {
public:
    void setSpecular(float r, float g, float b, float a);
    void setDiffuse(float r, float g, float b, float a);
    void setAmbient(float r, float g, float b, float a);
    void setPosition(float x, float y, float z, float w);  // w = 0: a directional light
    void setId(GLenum id);
    // Lighting, the light, normalisation and colour-material on; the position is taken under
    // the current model-view matrix, so call it while drawing, after the camera is applied.
    void enable() const;
    void disable() const;

    GLenum id = GL_LIGHT0;
    float specular[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float diffuse[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float ambient[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    float position[4] = {1.0f, 1.0f, 1.0f, 1.0f};
};

// One card quad in screen space, textured by key and added onto the picture weighted by its
// alpha (the framebuffer has no alpha bits, so GL_DST_ALPHA reads 1).
void drawScreenCard(const Quad& quad, const char* textureKey);
