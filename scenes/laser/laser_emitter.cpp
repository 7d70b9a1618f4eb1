// Laser emitter, rays and segments.
#include "scenes/laser/laser_emitter.h"

#include "gfx/gl.h"
#include "gfx/random.h"

namespace {
// A random number 0..32767 scaled to 0..range.
double scaledDraw(double range) { return double(lcgRand()) * range / 32767.0; }

bool allNonZero(const Vec3& v) { return v.x != 0.0f && v.y != 0.0f && v.z != 0.0f; }

// Turns the far edge of the parallelogram (q2 from q1, q3 from q0) about one axis. The
// rotation is made once per group of segments that share its angle: the same matrix
// rotateAboutAxis would build for every corner, without rebuilding it thousands of times a frame.
void kink(const Vec3& q0, const Vec3& q1, Vec3& q2, Vec3& q3, const AxisRotation& turn) {
    q2 = Vec3::add(q1, turn.apply(Vec3::subtract(q2, q1)));
    q3 = Vec3::add(q0, turn.apply(Vec3::subtract(q3, q0)));
}
}  // namespace

void RaySegment::setCorners(Vec3 q0, Vec3 q1, Vec3 q2, Vec3 q3) {
    corners[0] = q0;
    corners[1] = q1;
    corners[2] = q2;
    corners[3] = q3;
}

void RaySegment::render() const {
    // Red above 1 and alpha below 0 go to the GL as they are; it clamps them.
    glColor4f(colour.r, colour.g, colour.b, colour.a);
    constexpr int kOrder[6] = {0, 1, 2, 2, 3, 0};
    for (const int c : kOrder) {
        emitTexturedVertex(texCoords[c].u, texCoords[c].v, corners[c].x, corners[c].y, corners[c].z);
    }
}

void LaserRay::init(int segmentCount, float length, float ribbonWidth, Colour4 rgba) {
    const int n = segmentCount > 0 ? segmentCount : 0;
    segments.resize(std::size_t(n));
    segmentLength = length;
    width = ribbonWidth;
    widthStep = n > 0 ? ribbonWidth / float(n) : 0.0f;
    colour = rgba;

    const int half = int(double(n) * 0.5);
    for (int i = 0; i < n; ++i) {
        Colour4 c = rgba;
        if (i >= half) {
            const double k = double(i - half + 1);
            c.r = float(rgba.r + k * (double(rgba.r) * 0.05));
            c.g = float(rgba.g - k * (double(rgba.g) * 0.05));
            c.b = float(rgba.b - k * (double(rgba.b) * 0.05));
            c.a = float(rgba.a - k * (1.0 / double(n)));
        }
        segments[std::size_t(i)].colour = c;
    }

    heading = {1.0f, 0.0f, 0.0f};
    side = {0.0f, 1.0f, 0.0f};
}

void LaserRay::update(Vec3 start, float spread) {
    jitterRange = float(spread + scaledDraw(double(spread) * 0.3));
    Vec3 s = start;
    AxisRotation turnX;
    AxisRotation turnY;
    AxisRotation turnZ;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i % 3 == 0) {
            jitterX = float(scaledDraw(jitterRange) - double(jitterRange) * 0.5);
            jitterY = float(scaledDraw(jitterRange) - double(jitterRange) * 0.5);
            jitterZ = float(scaledDraw(jitterRange) - double(jitterRange) * 0.5);
            turnX = AxisRotation::make(jitterX, {1.0f, 0.0f, 0.0f});
            turnY = AxisRotation::make(jitterY, {0.0f, 1.0f, 0.0f});
            turnZ = AxisRotation::make(jitterZ, {0.0f, 0.0f, 1.0f});
        }
        const float h = width - float(i + 1) * widthStep;
        const Vec3 along = Vec3::scale(heading, segmentLength);
        const Vec3 across = Vec3::scale(side, h);
        const Vec3 q1 = s;
        const Vec3 q0 = Vec3::add(s, across);
        Vec3 q2 = Vec3::add(s, along);
        Vec3 q3 = Vec3::add(Vec3::add(s, along), across);
        // Not cumulative: every segment starts from heading again, turned only by its group's
        // angles, so the ray zig-zags about a straight course.
        kink(q0, q1, q2, q3, turnX);
        kink(q0, q1, q2, q3, turnY);
        kink(q0, q1, q2, q3, turnZ);
        segments[i].setCorners(q0, q1, q2, q3);
        s = q2;
    }
}

void LaserRay::render() const {
    glBegin(GL_TRIANGLES);
    for (const RaySegment& segment : segments) segment.render();
    glEnd();
}

void LaserEmitter::init(unsigned int rayCount, int segmentCount, Vec3 origin, float length, float ribbonWidth,
                        Colour4 rgba) {
    rays.resize(rayCount);
    colour = rgba;
    for (LaserRay& ray : rays) ray.init(segmentCount, length, ribbonWidth, rgba);
    branchIndex = int(double(segmentCount) * 0.3);
    lastPoint = origin;
    frozen = 0;
}

void LaserEmitter::update(Vec3 target) {
    if (frozen != 0) return;
    const Vec3 previous = lastPoint;
    Vec3 p = target;
    for (std::size_t k = 0; k < rays.size(); ++k) {
        if (k > 0) {
            const std::vector<RaySegment>& before = rays[k - 1].segments;
            // With any segment count of 1 or more the branch segment exists; a ray without
            // segments simply passes its start point on.
            if (branchIndex >= 0 && std::size_t(branchIndex) < before.size()) {
                p = before[std::size_t(branchIndex)].corners[2];
            }
        }
        LaserRay& ray = rays[k];
        ray.update(p, 10.0f * float(k + 1));
        // Both take effect at the next update; a zero coordinate keeps the old direction.
        Vec3 d = Vec3::subtract(previous, p);
        if (allNonZero(d)) {
            Vec3::normalize(d);
            ray.side = d;
        }
        if (allNonZero(p)) {
            Vec3 h = p;
            Vec3::normalize(h);
            ray.heading = h;
        }
    }
    lastPoint = p;
}

void LaserEmitter::render() const {
    for (const LaserRay& ray : rays) ray.render();
}
