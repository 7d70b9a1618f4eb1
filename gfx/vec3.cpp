// Vec3 operations and the rotation through the sine table.
#include "gfx/vec3.h"

#include <cmath>

#include "gfx/sine_table.h"
#include "platform/gl.h"

void Vec3::normalize(Vec3& v) {
    const double squared = double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z;
    // A unit vector (the axes the scenes turn about) would be divided by exactly 1: skip the
    // square root and the divisions, which give back the same floats.
    if (squared == 1.0) return;
    const double length = std::sqrt(squared);
    if (length == 0.0) {
        v = Vec3(1.0f, 1.0f, 1.0f);
        return;
    }
    v.x = float(v.x / length);
    v.y = float(v.y / length);
    v.z = float(v.z / length);
}

Vec3 cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

Vec3 rotateAboutAxis(const Vec3& v, float degrees, Vec3 axis) { return AxisRotation::make(degrees, axis).apply(v); }

AxisRotation AxisRotation::make(float degrees, Vec3 axis) {
    Vec3::normalize(axis);
    return fromUnitAxis(degrees, axis.x, axis.y, axis.z);
}

void emitTexturedVertex(float u, float v, float x, float y, float z) {
    glTexCoord2f(u, v);
    glVertex3f(x, y, z);
}
