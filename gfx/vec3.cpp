// Vec3 operations and the rotation through the sine table.
#include "gfx/vec3.h"

#include <cmath>

#include "gfx/gl.h"
#include "gfx/sine_table.h"

Vec3 Vec3::add(const Vec3& a, const Vec3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }

Vec3 Vec3::subtract(const Vec3& a, const Vec3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

Vec3 Vec3::scale(const Vec3& v, float k) { return {v.x * k, v.y * k, v.z * k}; }

void Vec3::normalize(Vec3& v) {
    const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
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

Vec3 rotateAboutAxis(const Vec3& v, float degrees, Vec3 axis) {
    Vec3::normalize(axis);
    const int i = sineIndex(degrees);
    const double sn = SineTable[i];
    const double cs = SineTable[i + 64];
    const double k = 1.0 - cs;
    const double ux = axis.x, uy = axis.y, uz = axis.z;
    const double vx = v.x, vy = v.y, vz = v.z;
    return {
        float((k * ux * ux + cs) * vx + (k * ux * uy + sn * uz) * vy + (k * ux * uz - sn * uy) * vz),
        float((k * ux * uy - sn * uz) * vx + (k * uy * uy + cs) * vy + (k * uy * uz + sn * ux) * vz),
        float((k * ux * uz + sn * uy) * vx + (k * uy * uz - sn * ux) * vy + (k * uz * uz + cs) * vz),
    };
}

void emitTexturedVertex(float u, float v, float x, float y, float z) {
    glTexCoord2f(u, v);
    glVertex3f(x, y, z);
}
