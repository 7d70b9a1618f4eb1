// LaserEmitter: one crackling bolt, a chain of jagged tapering ribbons (LaserRay) made of
// textured quads (RaySegment). Every update rebuilds all corners from scratch with fresh random
// kinks, so the bolt flickers; a frozen emitter keeps, and still draws, its last shape.
#pragma once

#include <vector>

#include "gfx/quad.h"
#include "gfx/vec3.h"

struct RaySegment {
    void setCorners(Vec3 q0, Vec3 q1, Vec3 q2, Vec3 q3);
    // Two triangles, q0-q1-q2 and q2-q3-q0, in the segment's colour as it is (unclamped).
    void render() const;

    // q1 and q2 lie on the spine (start and end), q0 and q3 on the outer edge.
    Vec3 corners[4];
    // u along the spine, v = 1 on the spine and 0 on the outer edge.
    TexCoord texCoords[4] = {{0.0f, 0.0f}, {0.0f, 1.0f}, {1.0f, 1.0f}, {1.0f, 0.0f}};
    Colour4 colour;
};

class LaserRay {
public:
    LaserRay() = default;
    virtual ~LaserRay() = default;
    LaserRay(const LaserRay&) = default;
    LaserRay& operator=(const LaserRay&) = default;
    LaserRay(LaserRay&&) = default;
    LaserRay& operator=(LaserRay&&) = default;

    // Sizes the segments and colours them: the first half in rgba, the second half redder,
    // darker and fading past zero alpha.
    void init(int segmentCount, float length, float ribbonWidth, Colour4 rgba);
    // Rebuilds every segment from start along heading, kinked by random angles (within
    // spread to 1.3 × spread degrees) drawn anew for each group of three segments.
    void update(Vec3 start, float spread);
    // update in two halves: the random numbers first (the range, then three angles per group),
    // then the corners from them. Either half alone is only for building several rays in step.
    void drawKinks(float spread);
    void build(Vec3 start);
    void render() const;

    std::vector<RaySegment> segments;
    // The rotations of each group's three angles, about x, y and z (made when drawn).
    std::vector<AxisRotation> turns;
    float segmentLength = 1.0f;
    float width = 1.0f;
    Colour4 colour;
    Vec3 heading;
    Vec3 side;
    float jitterRange = 0.0f;
    float jitterX = 0.0f;
    float jitterY = 0.0f;
    float jitterZ = 0.0f;
    float widthStep = 0.0f;
};

class LaserEmitter {
public:
    LaserEmitter() = default;
    virtual ~LaserEmitter() = default;
    LaserEmitter(const LaserEmitter&) = default;
    LaserEmitter& operator=(const LaserEmitter&) = default;
    LaserEmitter(LaserEmitter&&) = default;
    LaserEmitter& operator=(LaserEmitter&&) = default;

    void init(unsigned int rayCount, int segmentCount, Vec3 origin, float length, float ribbonWidth, Colour4 rgba);
    // Ray 0 grows from target, every further ray from segment branchIndex of the one before,
    // each kinked harder. Does nothing while frozen.
    void update(Vec3 target);
    // update in two halves, as LaserRay's; both do nothing while frozen.
    void drawKinks();
    void build(Vec3 target);
    // build for up to kMaxTogether emitters at once, whose kinks are drawn: the same corners
    // as building them one after the other, in less time.
    static constexpr std::size_t kMaxTogether = 4;
    static void buildTogether(LaserEmitter* const* group, const Vec3* targets, std::size_t count);
    void render() const;

    std::vector<LaserRay> rays;
    Vec3 lastPoint;
    int branchIndex = 0;
    Colour4 colour;
    int frozen = 0;

private:
    Vec3 rayStart(std::size_t k, Vec3 p) const;
    void steer(std::size_t k, Vec3 previous, Vec3 p);
};
