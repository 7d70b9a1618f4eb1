// Quad: corner layout per anchor mode, camera facing and drawing.
#include "gfx/quad.h"

#include "platform/gl.h"
#include "timeline/demo.h"

void Quad::place(Vec3 p, float w, float h) {
    position = p;
    basePosition = p;
    width = w;
    height = h;
    updateCorners();
}

void Quad::setTexCoords(float u0, float v0, float u1, float v1, float u2, float v2, float u3, float v3) {
    texCoords[0] = {u0, v0};
    texCoords[1] = {u1, v1};
    texCoords[2] = {u2, v2};
    texCoords[3] = {u3, v3};
}

void Quad::setColor(float r, float g, float b, float a) { color = {r, g, b, a}; }

void Quad::setOffset(Vec3 d) { position = Vec3::add(basePosition, d); }

void Quad::orient(int faceCamera) {
    if (faceCamera == 0) {
        up = Vec3(0.0f, height, 0.0f);
        right = Vec3(width, 0.0f, 0.0f);
        return;
    }
    const Vec3& e = demo.camera.eye;
    const Vec3& t = demo.camera.target;
    const Vec3 d = Vec3::subtract(e, t);
    // The eye's x and z trade places before the target is subtracted; the sprites have always
    // been oriented this way and every cloud frame depends on it.
    const Vec3 x(e.z - t.x, e.y - t.y, e.x - t.z);
    Vec3 newUp = cross(d, x);
    Vec3 newRight = cross(d, cross(d, x));
    Vec3::normalize(newUp);
    Vec3::normalize(newRight);
    up = newUp;
    right = newRight;
}

void Quad::rollAboutView(float degrees) {
    Vec3 axis = Vec3::subtract(demo.camera.eye, demo.camera.target);
    Vec3::normalize(axis);
    const AxisRotation turn = AxisRotation::make(degrees, axis);
    up = turn.apply(up);
    right = turn.apply(right);
}

void Quad::updateCorners() {
    const float w = width;
    const float h = height;
    const float hw = w * 0.5f;
    const float hh = h * 0.5f;
    float a[4];
    float b[4];
    switch (anchorMode) {
        case 0: a[0] = 0; b[0] = 0; a[1] = w; b[1] = 0; a[2] = w; b[2] = h; a[3] = 0; b[3] = h; break;
        case 1: a[0] = -hw; b[0] = -hh; a[1] = -hw; b[1] = hh; a[2] = hw; b[2] = hh; a[3] = hw; b[3] = -hh; break;
        case 2: a[0] = -w; b[0] = -h; a[1] = 0; b[1] = -h; a[2] = 0; b[2] = 0; a[3] = -w; b[3] = 0; break;
        case 3: a[0] = 0; b[0] = -h; a[1] = w; b[1] = -h; a[2] = w; b[2] = 0; a[3] = 0; b[3] = 0; break;
        case 4: a[0] = 0; b[0] = -hh; a[1] = w; b[1] = -hh; a[2] = w; b[2] = hh; a[3] = 0; b[3] = hh; break;
        default:  // an unknown mode collapses the quad onto one point
            for (int k = 0; k < 4; ++k) { a[k] = 1; b[k] = 1; }
            break;
    }
    for (int k = 0; k < 4; ++k) {
        corners[k] = Vec3(position.x + a[k] * right.x + b[k] * up.x,
                          position.y + a[k] * right.y + b[k] * up.y,
                          position.z + a[k] * right.z + b[k] * up.z);
    }
}

void Quad::draw() const {
    static const int kOrder[6] = {0, 1, 2, 2, 3, 0};
    glColor4f(color.r, color.g, color.b, color.a);
    glBegin(GL_TRIANGLES);
    for (int k : kOrder) {
        emitTexturedVertex(texCoords[k].u, texCoords[k].v, corners[k].x, corners[k].y, corners[k].z);
    }
    glEnd();
}
