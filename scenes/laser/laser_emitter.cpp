// Laser emitter, rays and segments.
#include "scenes/laser/laser_emitter.h"

#include "gfx/random.h"
#include "platform/gl.h"

namespace {
// A random number 0..32767 scaled to 0..range.
double scaledDraw(double range) { return double(lcgRand()) * range / 32767.0; }

bool allNonZero(const Vec3& v) { return v.x != 0.0f && v.y != 0.0f && v.z != 0.0f; }

// Turns the far edge of the parallelogram (q2 from q1, q3 from q0) about one axis. The
// rotation is made once per group of segments that share its angle: the same matrix
// rotateAboutAxis would build for every corner, without rebuilding it thousands of times a frame.
[[gnu::always_inline]] inline void kink(const Vec3& q0, const Vec3& q1, Vec3& q2, Vec3& q3, const AxisRotation& turn) {
    q2 = Vec3::add(q1, turn.apply(Vec3::subtract(q2, q1)));
    q3 = Vec3::add(q0, turn.apply(Vec3::subtract(q3, q0)));
}

// Segment i of the ray from its start point s; returns where the next one starts. Inlined into
// the loops that step several rays at once, so their chains can overlap.
[[gnu::always_inline]] inline Vec3 buildSegment(LaserRay& ray, std::size_t i, Vec3 s) {
    const AxisRotation* turn = &ray.turns[3 * (i / 3)];
    const float h = ray.width - float(i + 1) * ray.widthStep;
    const Vec3 along = Vec3::scale(ray.heading, ray.segmentLength);
    const Vec3 across = Vec3::scale(ray.side, h);
    const Vec3 q1 = s;
    const Vec3 q0 = Vec3::add(s, across);
    Vec3 q2 = Vec3::add(s, along);
    Vec3 q3 = Vec3::add(Vec3::add(s, along), across);
    // Not cumulative: every segment starts from heading again, turned only by its group's
    // angles, so the ray zig-zags about a straight course.
    kink(q0, q1, q2, q3, turn[0]);
    kink(q0, q1, q2, q3, turn[1]);
    kink(q0, q1, q2, q3, turn[2]);
    ray.segments[i].setCorners(q0, q1, q2, q3);
    return q2;
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
    turns.resize(3 * ((std::size_t(n) + 2) / 3));
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
    drawKinks(spread);
    build(start);
}

void LaserRay::drawKinks(float spread) {
    jitterRange = float(spread + scaledDraw(double(spread) * 0.3));
    // Sized in init; only segments set up by other means could outgrow it.
    const std::size_t groups = (segments.size() + 2) / 3;
    if (turns.size() < 3 * groups) turns.resize(3 * groups);
    for (std::size_t g = 0; g < groups; ++g) {
        jitterX = float(scaledDraw(jitterRange) - double(jitterRange) * 0.5);
        jitterY = float(scaledDraw(jitterRange) - double(jitterRange) * 0.5);
        jitterZ = float(scaledDraw(jitterRange) - double(jitterRange) * 0.5);
        turns[3 * g] = AxisRotation::aboutX(jitterX);
        turns[3 * g + 1] = AxisRotation::aboutY(jitterY);
        turns[3 * g + 2] = AxisRotation::aboutZ(jitterZ);
    }
}

void LaserRay::build(Vec3 start) {
    Vec3 s = start;
    for (std::size_t i = 0; i < segments.size(); ++i) s = buildSegment(*this, i, s);
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
    drawKinks();
    build(target);
}

void LaserEmitter::drawKinks() {
    if (frozen != 0) return;
    for (std::size_t k = 0; k < rays.size(); ++k) rays[k].drawKinks(10.0f * float(k + 1));
}

Vec3 LaserEmitter::rayStart(std::size_t k, Vec3 p) const {
    if (k == 0) return p;
    const std::vector<RaySegment>& before = rays[k - 1].segments;
    // With any segment count of 1 or more the branch segment exists; a ray without segments
    // simply passes its start point on.
    if (branchIndex < 0 || std::size_t(branchIndex) >= before.size()) return p;
    return before[std::size_t(branchIndex)].corners[2];
}

void LaserEmitter::steer(std::size_t k, Vec3 previous, Vec3 p) {
    LaserRay& ray = rays[k];
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

void LaserEmitter::build(Vec3 target) {
    if (frozen != 0) return;
    const Vec3 previous = lastPoint;
    Vec3 p = target;
    for (std::size_t k = 0; k < rays.size(); ++k) {
        p = rayStart(k, p);
        rays[k].build(p);
        steer(k, previous, p);
    }
    lastPoint = p;
}

void LaserEmitter::buildTogether(LaserEmitter* const* group, const Vec3* targets, std::size_t count) {
    // Each segment hangs on the one before it, so one bolt is a single long chain of dependent
    // arithmetic; stepping several bolts segment by segment lets the processor overlap them.
    // Only bolts of one shape, all thawed, go in step; anything else is built one by one.
    bool together = count > 0 && count <= kMaxTogether;
    for (std::size_t e = 0; together && e < count; ++e) {
        const LaserEmitter& emitter = *group[e];
        together = emitter.frozen == 0 && emitter.rays.size() == group[0]->rays.size();
        for (std::size_t k = 0; together && k < emitter.rays.size(); ++k) {
            together = emitter.rays[k].segments.size() == group[0]->rays[k].segments.size();
        }
    }
    if (!together) {
        for (std::size_t e = 0; e < count; ++e) group[e]->build(targets[e]);
        return;
    }
    Vec3 previous[kMaxTogether];
    Vec3 p[kMaxTogether];
    Vec3 s[kMaxTogether];
    for (std::size_t e = 0; e < count; ++e) {
        previous[e] = group[e]->lastPoint;
        p[e] = targets[e];
    }
    const std::size_t rayCount = group[0]->rays.size();
    for (std::size_t k = 0; k < rayCount; ++k) {
        for (std::size_t e = 0; e < count; ++e) s[e] = p[e] = group[e]->rayStart(k, p[e]);
        const std::size_t segmentCount = group[0]->rays[k].segments.size();
        for (std::size_t i = 0; i < segmentCount; ++i) {
            for (std::size_t e = 0; e < count; ++e) s[e] = buildSegment(group[e]->rays[k], i, s[e]);
        }
        for (std::size_t e = 0; e < count; ++e) group[e]->steer(k, previous[e], p[e]);
    }
    for (std::size_t e = 0; e < count; ++e) group[e]->lastPoint = p[e];
}

void LaserEmitter::render() const {
    for (const LaserRay& ray : rays) ray.render();
}
