// Vec3: the single-precision 3D vector every scene works in, and the sine-table rotation.
#pragma once

#include "gfx/sine_table.h"

struct Vec3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    Vec3() = default;
    Vec3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    // Inline: the laser scene calls these tens of thousands of times a frame.
    static Vec3 add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
    static Vec3 subtract(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
    static Vec3 scale(const Vec3& v, float k) { return {v.x * k, v.y * k, v.z * k}; }
    // In place. A zero vector becomes (1, 1, 1): callers rely on never dividing by zero.
    static void normalize(Vec3& v);
};

Vec3 cross(const Vec3& a, const Vec3& b);

// Turns v about axis by a whole number of sine-table steps (1.40625 degrees). The matrix is
// the transposed axis-angle one, so a positive angle turns clockwise seen from the axis tip.
// A zero axis is replaced by the unnormalised (1, 1, 1).
Vec3 rotateAboutAxis(const Vec3& v, float degrees, Vec3 axis);

// The matrix rotateAboutAxis applies, made once for vectors that all turn by the same angle
// about the same axis (a box's corners, a bolt's segments). rotateAboutAxis is exactly
// make(...).apply(v), so either way every float comes out the same.
struct AxisRotation {
    double m[9] = {1.0, 0.0, 0.0, 0.0, 1.0, 0.0, 0.0, 0.0, 1.0};

    static AxisRotation make(float degrees, Vec3 axis);
    // make about (1, 0, 0), (0, 1, 0) and (0, 0, 1): normalising those leaves them as they
    // are, so they go straight to the entries (the laser makes some 1,900 of these a frame).
    static AxisRotation aboutX(float degrees) { return fromUnitAxis(degrees, 1.0, 0.0, 0.0); }
    static AxisRotation aboutY(float degrees) { return fromUnitAxis(degrees, 0.0, 1.0, 0.0); }
    static AxisRotation aboutZ(float degrees) { return fromUnitAxis(degrees, 0.0, 0.0, 1.0); }
    // The entries for an axis already normalised.
    static AxisRotation fromUnitAxis(float degrees, double ux, double uy, double uz) {
        const int i = sineIndex(degrees);
        const double sn = SineTable[i];
        const double cs = SineTable[i + 64];
        const double k = 1.0 - cs;
        // Row by row: x' = m0 vx + m1 vy + m2 vz, and so on (the transposed axis-angle matrix).
        AxisRotation r;
        r.m[0] = k * ux * ux + cs;
        r.m[1] = k * ux * uy + sn * uz;
        r.m[2] = k * ux * uz - sn * uy;
        r.m[3] = k * ux * uy - sn * uz;
        r.m[4] = k * uy * uy + cs;
        r.m[5] = k * uy * uz + sn * ux;
        r.m[6] = k * ux * uz + sn * uy;
        r.m[7] = k * uy * uz - sn * ux;
        r.m[8] = k * uz * uz + cs;
        return r;
    }
    Vec3 apply(const Vec3& v) const {
        const double vx = v.x, vy = v.y, vz = v.z;
        return {float(m[0] * vx + m[1] * vy + m[2] * vz), float(m[3] * vx + m[4] * vy + m[5] * vz),
                float(m[6] * vx + m[7] * vy + m[8] * vz)};
    }
};

// The GL calls that take a vector (glNormal3fv, glVertex3fv) are handed &v.x: the three floats
// must stay packed in this order.
static_assert(sizeof(Vec3) == 3 * sizeof(float), "Vec3 is read as float[3]");

// glTexCoord2f then glVertex3f: the two calls every textured vertex is made of.
void emitTexturedVertex(float u, float v, float x, float y, float z);
