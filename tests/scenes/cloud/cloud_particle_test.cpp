// One cloud particle through its lives: the spawn snapshot, growth and fade counted in frames,
// the fade-mode slots, the drift and roll through the sine table, and the camera-facing square.
#include <cmath>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/cloud/cloud_particle.h"
#include "timeline/demo.h"

namespace {

constexpr int kBaseLife = 400;
const Vec3 kSpawn(2.0f, -3.0f, 5.0f);

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
float length(const Vec3& v) { return std::sqrt(dot(v, v)); }

void expectVecEq(const Vec3& a, const Vec3& b) {
    EXPECT_FLOAT_EQ(a.x, b.x);
    EXPECT_FLOAT_EQ(a.y, b.y);
    EXPECT_FLOAT_EQ(a.z, b.z);
}

void expectSameState(const CloudParticleState& a, const CloudParticleState& b) {
    for (int k = 0; k < 4; ++k) expectVecEq(a.quad.corners[k], b.quad.corners[k]);
    expectVecEq(a.quad.position, b.quad.position);
    expectVecEq(a.quad.up, b.quad.up);
    expectVecEq(a.quad.right, b.quad.right);
    EXPECT_EQ(a.quad.width, b.quad.width);
    EXPECT_EQ(a.quad.color.r, b.quad.color.r);
    EXPECT_EQ(a.quad.color.g, b.quad.color.g);
    EXPECT_EQ(a.quad.color.a, b.quad.color.a);
    EXPECT_EQ(a.life, b.life);
    EXPECT_EQ(a.colour.r, b.colour.r);
    EXPECT_EQ(a.colour.g, b.colour.g);
    EXPECT_EQ(a.colour.b, b.colour.b);
    EXPECT_EQ(a.colour.a, b.colour.a);
    expectVecEq(a.displacement, b.displacement);
    expectVecEq(a.drift, b.drift);
}

class CloudParticleTest : public testing::Test {
protected:
    void SetUp() override {
        buildSineTable();
        // The knot track scene places the camera in the demo; these tests need no other scene.
        demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
        lcgState = 1;
    }

    // A particle as the emitter makes one; greenSlotMode goes into the green slot of the modes.
    CloudParticle make(int blueSlotMode = kFadeDown, int greenSlotMode = kFadeDown) {
        CloudParticle p;
        p.live.fadeMode[kFadeSlotRed] = kFadeDown;
        p.live.fadeMode[kFadeSlotBlue] = blueSlotMode;
        p.live.fadeMode[kFadeSlotGreen] = greenSlotMode;
        p.live.fadeMode[kFadeSlotAlpha] = kFadeDown;
        p.live.sizeMode[0] = kSizeGrow;
        p.live.sizeMode[1] = kSizeGrow;
        p.init(kSpawn, 15.0f, 15.0f, 1.0f, 1.0f, 1.0f, 1.0f, kBaseLife);
        return p;
    }
};

TEST_F(CloudParticleTest, SpawnStateFollowsItsSixDraws) {
    CloudParticle p = make();
    // Replay the six draws independently: life, speed, direction z, y, x, drift scale.
    const std::uint32_t replay = lcgState;
    lcgState = 1;
    const int r[6] = {lcgRand(), lcgRand(), lcgRand(), lcgRand(), lcgRand(), lcgRand()};
    EXPECT_EQ(lcgState, replay);

    const int n = int(std::floor(kBaseLife * (0.4 + 0.3 * r[0] / 32767.0)));
    EXPECT_EQ(p.live.life, n);
    EXPECT_GE(p.live.life, int(0.4 * kBaseLife));
    EXPECT_LE(p.live.life, int(0.7 * kBaseLife));
    EXPECT_FLOAT_EQ(p.live.speed, float((r[1] * 8 / 32767) * 0.005));
    EXPECT_FLOAT_EQ(p.live.direction.z, float(r[2] / 32767.0));
    EXPECT_FLOAT_EQ(p.live.direction.y, float(r[3] / 32767.0));
    EXPECT_FLOAT_EQ(p.live.direction.x, float(r[4] / 32767.0));
    EXPECT_FLOAT_EQ(p.live.driftScale, float(r[5] * 0.5 / 32767.0 + 0.1));

    // Tiny, centred on the spawn point in the plane of the default axes, full colour.
    const float side = 15.0f * 0.5f / kBaseLife;
    EXPECT_EQ(p.live.quad.anchorMode, 1);
    expectVecEq(p.live.quad.corners[0], Vec3(kSpawn.x - side / 2, kSpawn.y - side / 2, kSpawn.z));
    expectVecEq(p.live.quad.corners[2], Vec3(kSpawn.x + side / 2, kSpawn.y + side / 2, kSpawn.z));
    EXPECT_EQ(p.live.colour.g, 1.0f);
    EXPECT_FLOAT_EQ(p.live.colourStep.a, 1.0f / kBaseLife);
    expectVecEq(p.offset, kSpawn);
    expectSameState(p.live, p.spawn);
    EXPECT_EQ(p.spawn.fadeMode[kFadeSlotRed], kFadeDown);
    EXPECT_EQ(p.spawn.sizeMode[1], kSizeGrow);
}

TEST_F(CloudParticleTest, OneLifeGrowsFadesAndRespawnsWithOneWastedDraw) {
    CloudParticle p = make();
    const int n = p.live.life;
    const float dt = 1000.0f / 60.0f * 0.01f;
    CloudParticleState afterFirst;
    for (int frame = 1; frame <= n; ++frame) {
        const std::uint32_t before = lcgState;
        p.update(dt);
        EXPECT_EQ(lcgState, before) << "a frame of a life draws nothing";
        EXPECT_EQ(p.live.life, n - frame);
        if (frame == 1) afterFirst = p.live;
    }
    // The end of a life: (N + 1) steps of size, N steps of fade; the target 15 is never reached
    // and the fade never reaches 0.
    const float size = float((n + 1) * 7.5 / kBaseLife);
    EXPECT_NEAR(p.live.quad.width, size, 1e-4f);
    EXPECT_NEAR(p.live.quad.height, size, 1e-4f);
    EXPECT_LT(p.live.quad.width, 5.3f);
    const float faded = float(1.0 - double(n) / kBaseLife);
    EXPECT_NEAR(p.live.colour.r, faded, 1e-4f);
    EXPECT_NEAR(p.live.colour.g, faded, 1e-4f);
    EXPECT_NEAR(p.live.colour.b, faded, 1e-4f);
    EXPECT_NEAR(p.live.colour.a, faded, 1e-4f);
    EXPECT_NEAR(p.live.quad.color.a, faded, 1e-4f);
    EXPECT_GT(faded, 0.29f);
    EXPECT_LT(faded, 0.61f);
    // The particle has left its spawn point along the drift and its direction.
    const Vec3 travelled = Vec3::subtract(p.live.quad.position, kSpawn);
    const Vec3 expected = Vec3::add(p.live.drift, Vec3::scale(p.live.direction, p.live.speed * float(n)));
    EXPECT_NEAR(travelled.x, expected.x, 1e-4f);
    EXPECT_NEAR(travelled.z, expected.z, 1e-4f);

    // Frame N + 1: one number spent, the spawn state back, to be drawn in this frame.
    const std::uint32_t before = lcgState;
    (void)lcgRand();
    const std::uint32_t oneDraw = lcgState;
    lcgState = before;
    p.update(dt);
    EXPECT_EQ(lcgState, oneDraw);
    expectSameState(p.live, p.spawn);
    EXPECT_GT(p.live.life, 0) << "the spawn quad is drawn in the respawn frame";
    EXPECT_EQ(p.live.quad.up.y, 1.0f);
    EXPECT_EQ(p.live.quad.right.x, 1.0f);

    // The next life replays the first frame by frame: the cycle is N + 1 frames.
    p.update(dt);
    expectSameState(p.live, afterFirst);
    for (int frame = 2; frame <= n + 1; ++frame) p.update(dt);
    expectSameState(p.live, p.spawn);
}

TEST_F(CloudParticleTest, FadeModesAreStoredRedBlueGreenAlpha) {
    // Hold in the green slot: green stays at 1 for the whole life while the others fade.
    CloudParticle green = make(kFadeDown, kFadeHold);
    const int n = green.live.life;
    for (int frame = 0; frame < n; ++frame) green.update(0.1f);
    EXPECT_EQ(green.live.colour.g, 1.0f);
    EXPECT_EQ(green.live.quad.color.g, 1.0f);
    EXPECT_LT(green.live.colour.r, 0.61f);
    EXPECT_LT(green.live.colour.b, 0.61f);
    EXPECT_LT(green.live.colour.a, 0.61f);

    // Hold in the second slot holds blue, not green.
    lcgState = 1;
    CloudParticle blue = make(kFadeHold, kFadeDown);
    for (int frame = 0; frame < n; ++frame) blue.update(0.1f);
    EXPECT_EQ(blue.live.colour.b, 1.0f);
    EXPECT_LT(blue.live.colour.g, 0.61f);

    // Brighten adds a step only while the channel is below 1.
    lcgState = 1;
    CloudParticle bright = make(kFadeBrighten, kFadeDown);
    bright.live.colour.b = 0.5f;
    bright.update(0.1f);
    EXPECT_FLOAT_EQ(bright.live.colour.b, 0.5f + 1.0f / kBaseLife);
    bright.live.colour.b = 1.0f;
    bright.update(0.1f);
    EXPECT_EQ(bright.live.colour.b, 1.0f);
}

TEST_F(CloudParticleTest, ShortFramesDoNotRollAndDriftByTheFixedVector) {
    CloudParticle p = make();
    p.update(1.4f);  // just below one table step
    const float k = p.live.driftScale;
    const Vec3 d = p.live.direction;
    EXPECT_EQ(p.live.drift.x, k * d.z);
    EXPECT_EQ(p.live.drift.y, k * d.z);
    EXPECT_EQ(p.live.drift.z, k * d.y);

    Quad facing;
    facing.orient(1);
    expectVecEq(p.live.quad.up, facing.up);
    expectVecEq(p.live.quad.right, facing.right);

    // A stalled frame of 4.5 s rolls by 45 degrees (32 table steps), from the facing axes
    // each time: the roll does not accumulate.
    for (int frame = 0; frame < 2; ++frame) {
        p.update(45.0f);
        EXPECT_NEAR(dot(p.live.quad.up, facing.up), std::cos(M_PI / 4), 1e-5);
        EXPECT_NEAR(dot(p.live.quad.right, facing.right), std::cos(M_PI / 4), 1e-5);
    }
    const float sinA = SineTable[32];
    const float cosA = SineTable[96];
    EXPECT_FLOAT_EQ(p.live.drift.x, cosA * k * d.z + sinA * k * d.y);
    EXPECT_FLOAT_EQ(p.live.drift.y, cosA * k * d.z + sinA * k * d.x);
    EXPECT_FLOAT_EQ(p.live.drift.z, cosA * k * d.y + sinA * k * d.x);
}

TEST_F(CloudParticleTest, EveryFrameIsASquareFacingTheCamera) {
    const Vec3 view = Vec3::subtract(demo.camera.eye, demo.camera.target);
    const float dts[] = {0.16f, 0.17f, 3.0f, 45.0f, 250.0f};
    CloudParticle p = make();
    const int cycle = p.live.life + 1;
    for (int frame = 0; frame < cycle; ++frame) {
        p.update(dts[frame % 5]);
        // Not drawn at life 0; drawn axis-aligned in the respawn frame (checked above).
        if (p.live.life <= 0 || p.live.life == p.spawn.life) continue;
        const Vec3* c = p.live.quad.corners;
        const Vec3 edge1 = Vec3::subtract(c[1], c[0]);
        const Vec3 edge2 = Vec3::subtract(c[3], c[0]);
        ASSERT_NEAR(length(edge1), length(edge2), 1e-4f) << "frame " << frame;
        ASSERT_NEAR(dot(edge1, edge2), 0.0f, 1e-5f) << "frame " << frame;
        ASSERT_NEAR(dot(edge1, view) / length(view), 0.0f, 1e-4f) << "frame " << frame;
        ASSERT_NEAR(dot(edge2, view) / length(view), 0.0f, 1e-4f) << "frame " << frame;
        // centred on the position
        const Vec3 mid = Vec3::scale(Vec3::add(c[0], c[2]), 0.5f);
        ASSERT_NEAR(mid.x, p.live.quad.position.x, 1e-4f);
    }
}

TEST_F(CloudParticleTest, OutlandishStepsStayFinite) {
    CloudParticle p = make();
    const float dts[] = {NAN, INFINITY, -INFINITY, 1e30f, -1e30f, -400.0f, 5000.0f, 0.0f};
    for (int frame = 0; frame < 3 * (p.live.life + 1); ++frame) {
        p.update(dts[frame % 8]);
        for (const Vec3& c : p.live.quad.corners) {
            ASSERT_TRUE(std::isfinite(c.x) && std::isfinite(c.y) && std::isfinite(c.z)) << "frame " << frame;
        }
        ASSERT_TRUE(std::isfinite(p.live.colour.a));
    }
}

}  // namespace
