// Vec3: the single-precision 3D vector every scene works in, and the sine-table rotation.
#pragma once

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vec3() = default;
    Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    static Vec3 add(const Vec3& a, const Vec3& b);
    static Vec3 subtract(const Vec3& a, const Vec3& b);
    static Vec3 scale(const Vec3& v, float k);
    // In place. A zero vector becomes (1, 1, 1): callers rely on never dividing by zero.
    static void normalize(Vec3& v);
};

Vec3 cross(const Vec3& a, const Vec3& b);

// Turns v about axis by a whole number of sine-table steps (1.40625 degrees). The matrix is
// the transposed axis-angle one, so a positive angle turns clockwise seen from the axis tip.
// A zero axis is replaced by the unnormalised (1, 1, 1).
Vec3 rotateAboutAxis(const Vec3& v, float degrees, Vec3 axis);

// glTexCoord2f then glVertex3f: the two calls every textured vertex is made of.
void emitTexturedVertex(float u, float v, float x, float y, float z);
