// What a frame of the show is too coarse to pin: a laser ray's colour ramp and taper, where the
// rays of a bolt branch, a cloud sprite's roll, the knot boxes' pulse and the curves' shapes.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/cloud/cloud_particle.h"
#include "scenes/knot/knot_path.h"
#include "scenes/knot/track_box.h"
#include "scenes/laser/laser_emitter.h"
#include "timeline/demo.h"

namespace {

void expectVec(const Vec3& v, const Vec3& want, float tolerance = 1e-6f) {
    EXPECT_NEAR(v.x, want.x, tolerance);
    EXPECT_NEAR(v.y, want.y, tolerance);
    EXPECT_NEAR(v.z, want.z, tolerance);
}

// The first half of a ray keeps its colour; from the middle segment on each is 5 % redder, 5 %
// less green and blue and 1/n less opaque than the one before, past zero (the GL clamps).
TEST(LaserRay, FadesFromTheMiddleSegmentOnInEqualSteps) {
    const Colour4 given{0.8f, 0.5f, 0.4f, 0.3f};
    const struct {
        int segments, segment;
        Colour4 want;
    } rows[] = {
        {20, 9, given}, {20, 10, {0.84f, 0.475f, 0.38f, 0.25f}}, {20, 19, {1.2f, 0.25f, 0.2f, -0.2f}},
        {7, 2, given},  {7, 3, {0.84f, 0.475f, 0.38f, 0.3f - 1 / 7.0f}}, {7, 6, {0.96f, 0.4f, 0.32f, 0.3f - 4 / 7.0f}},
        {1, 0, {0.84f, 0.475f, 0.38f, -0.7f}},
    };
    for (const auto& row : rows) {
        LaserRay ray;
        ray.init(row.segments, 0.2f, 0.1f, given);
        const Colour4& c = ray.segments[std::size_t(row.segment)].colour;
        SCOPED_TRACE(testing::Message() << "segment " << row.segment << " of " << row.segments);
        EXPECT_NEAR(c.r, row.want.r, 1e-6f);
        EXPECT_NEAR(c.g, row.want.g, 1e-6f);
        EXPECT_NEAR(c.b, row.want.b, 1e-6f);
        EXPECT_NEAR(c.a, row.want.a, 1e-6f);
    }
}

// Ray 0 grows from the target, each further ray from the end of segment 6 of the one before,
// kinked within 10 to 13, 20 to 26 and 30 to 39 degrees. Without kinks a ray is a straight
// ribbon along heading, off the spine along side by a width that tapers by a twentieth a segment.
TEST(LaserEmitter, RaysBranchFromTheSeventhSegmentKinkHarderAndTaper) {
    buildSineTable();
    lcgState = 1;
    LaserEmitter emitter;
    emitter.init(3, 20, {0, 0, 0}, 0.2f, 0.1f, {1.0f, 0.5f, 0.0f, 0.3f});
    const Vec3 target{0.7f, -0.4f, 1.1f};
    emitter.update(target);
    for (std::size_t k = 0; k < 3; ++k) {
        const Vec3 start = k == 0 ? target : emitter.rays[k - 1].segments[6].corners[2];
        expectVec(emitter.rays[k].segments[0].corners[1], start, 0.0f);
        EXPECT_GE(emitter.rays[k].jitterRange, 10.0f * float(k + 1)) << k;
        EXPECT_LE(emitter.rays[k].jitterRange, 13.0f * float(k + 1)) << k;
    }
    LaserRay& ray = emitter.rays[0];
    ray.heading = {1.0f, 0.0f, 0.0f};
    ray.side = {0.0f, 1.0f, 0.0f};
    ray.update({1.0f, 2.0f, 3.0f}, 0.0f);
    for (std::size_t i : {std::size_t(0), std::size_t(19)}) {
        const RaySegment& s = ray.segments[i];
        expectVec(s.corners[1], {1.0f + 0.2f * float(i), 2.0f, 3.0f}, 1e-5f);
        expectVec(s.corners[2], {1.0f + 0.2f * float(i + 1), 2.0f, 3.0f}, 1e-5f);
        EXPECT_NEAR(s.corners[0].y - s.corners[1].y, 0.1f - 0.005f * float(i + 1), 1e-6f) << i;
    }
}

// The frame step only rolls a cloud sprite, by whole table steps about the view: it does not add
// up from frame to frame.
TEST(CloudParticle, RollsByTheFrameStepAboutTheView) {
    buildSineTable();
    demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));  // the show's one viewpoint
    CloudParticle p;
    p.init(Vec3(2.0f, -3.0f, 5.0f), 15.0f, 15.0f, 1.0f, 1.0f, 1.0f, 1.0f, 400);
    Quad facing;
    facing.orient(1);
    for (const float dt : {1.4f, 45.0f, 45.0f}) {  // below one step: no roll; a 4.5 s stall: 45 degrees
        p.update(dt);
        const Vec3& up = p.live.quad.up;
        EXPECT_NEAR(up.x * facing.up.x + up.y * facing.up.y + up.z * facing.up.z, dt < 45.0f ? 1.0 : std::cos(std::numbers::pi / 4),
                    1e-5) << dt;
    }
}

// After 75 s an inner box's edge swings by a fifth either way with the sine of its own angle;
// now and then (a draw of 0 in 200) it bursts to almost one and a half times and shrinks back.
TEST(KnotBoxes, PulseSwingsAFifthEitherWayAndBurstsToOneAndAHalf) {
    buildSineTable();
    demo.dt = 90.0f;  // a quarter turn a frame
    for (std::uint32_t seed = 1;; ++seed) {
        TrackBox box;
        box.mesh.init({0, 0, 0}, {0.5f, 0.5f, 0.5f});
        lcgState = seed;
        float edges[3];
        for (float& edge : edges) box.pulse(), edge = box.mesh.vertices[5].x;
        if (box.burst != 0) continue;  // a seed whose first three draws start no burst
        EXPECT_NEAR(edges[0], 0.6f, 1e-6f);
        EXPECT_NEAR(edges[1], 0.5f, 1e-6f);
        EXPECT_NEAR(edges[2], 0.4f, 1e-6f);
        while (box.burst == 0) box.pulse();
        EXPECT_NEAR(box.mesh.vertices[5].x, 0.745f, 1e-6f);
        break;
    }
}

// The curves the boxes and the bolts travel: where each begins and where it is a quarter of the
// way round (t = pi / 2), from their closed forms; every curve ends where it began.
TEST(KnotPath, CurvesPassTheirClosedFormsAndClose) {
    const struct {
        int type;
        Vec3 start, quarter;  // per unit of scale
    } curves[] = {{0, {2.2f, 0.0f, 0.0f}, {0.0f, 0.4f * std::sqrt(0.5f), -0.4f}},
                  {1, {2.0f - 4.0f / 3.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -2.0f / 3.0f}},
                  {3, {22.0f, 0.0f, 0.0f}, {0.0f, 4.0f * std::sqrt(0.5f), -4.0f}}};
    for (const auto& c : curves) {
        KnotPath path;
        path.init(10.0f, 800, c.type);
        ASSERT_EQ(path.points.size(), 801u);
        expectVec(path.points[0], Vec3::scale(c.start, 10.0f), 1e-4f);
        expectVec(path.points[200], Vec3::scale(c.quarter, 10.0f), 1e-4f);
        expectVec(path.points[800], path.points[0], 1e-3f);
    }
}

}  // namespace
