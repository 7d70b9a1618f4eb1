// One cloud particle through its lives: the spawn snapshot, growth and fade counted in frames,
// the held green slot, and the roll through the sine table.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "scenes/cloud/cloud_particle.h"
#include "timeline/demo.h"

namespace {

constexpr int kBaseLife = 400;
const Vec3 kSpawn(2.0f, -3.0f, 5.0f);

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

void expectSameState(const CloudParticleState& a, const CloudParticleState& b) {
    EXPECT_EQ(std::memcmp(a.quad.corners, b.quad.corners, sizeof a.quad.corners), 0);
    EXPECT_EQ(a.quad.up.y, b.quad.up.y);
    EXPECT_EQ(a.life, b.life);
    EXPECT_EQ(a.colour.r, b.colour.r);
    EXPECT_EQ(a.colour.g, b.colour.g);
    EXPECT_EQ(a.drift.z, b.drift.z);
}

class CloudParticleTest : public testing::Test {
protected:
    void SetUp() override {
        buildSineTable();
        demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));  // the show's one viewpoint
        lcgState = 1;
    }

    // A particle as a puff makes one, with the given modes in the blue and green slots.
    static CloudParticle make(int blueSlot = kFadeDown, int greenSlot = kFadeDown) {
        CloudParticle p;
        p.live.fadeMode[kFadeSlotRed] = kFadeDown;
        p.live.fadeMode[kFadeSlotBlue] = blueSlot;
        p.live.fadeMode[kFadeSlotGreen] = greenSlot;
        p.live.fadeMode[kFadeSlotAlpha] = kFadeDown;
        p.live.sizeMode[0] = kSizeGrow;
        p.live.sizeMode[1] = kSizeGrow;
        p.init(kSpawn, 15.0f, 15.0f, 1.0f, 1.0f, 1.0f, 1.0f, kBaseLife);
        return p;
    }
};

TEST_F(CloudParticleTest, LivesOfNFramesEndGrownAndFadedThenReplayFromTheSnapshot) {
    CloudParticle p = make();
    const std::uint32_t afterInit = lcgState;
    lcgState = 1;
    const int r[6] = {lcgRand(), lcgRand(), lcgRand(), lcgRand(), lcgRand(), lcgRand()};
    EXPECT_EQ(lcgState, afterInit) << "six draws: life, speed, direction z, y, x, drift scale";
    const int n = p.live.life;
    EXPECT_EQ(n, int(std::floor(kBaseLife * (0.4 + 0.3 * r[0] / 32767.0))));
    // Spawn: tiny, centred on the spawn point in the plane of the default axes, full colour.
    const float half = 15.0f * 0.25f / kBaseLife;
    EXPECT_FLOAT_EQ(p.live.quad.corners[0].x, kSpawn.x - half);
    EXPECT_FLOAT_EQ(p.live.quad.corners[2].y, kSpawn.y + half);
    EXPECT_EQ(p.live.quad.corners[2].z, kSpawn.z);
    expectSameState(p.live, p.spawn);

    CloudParticleState firstFrame;
    for (int frame = 1; frame <= n; ++frame) {
        p.update(0.16f);
        if (frame == 1) firstFrame = p.live;
    }
    EXPECT_EQ(lcgState, afterInit) << "a life draws nothing";
    EXPECT_EQ(p.live.life, 0);
    // N + 1 size steps, N fade steps: never the target size, never below 0.
    EXPECT_NEAR(p.live.quad.width, (n + 1) * 7.5 / kBaseLife, 1e-4);
    EXPECT_NEAR(p.live.quad.height, (n + 1) * 7.5 / kBaseLife, 1e-4);
    for (float c : {p.live.colour.r, p.live.colour.g, p.live.colour.b, p.live.colour.a, p.live.quad.color.a}) {
        EXPECT_NEAR(c, 1.0 - double(n) / kBaseLife, 1e-4);
    }
    const Vec3 moved = Vec3::subtract(p.live.quad.position, kSpawn);
    EXPECT_NEAR(moved.z, p.live.drift.z + p.live.direction.z * p.live.speed * float(n), 1e-4f);

    // Frame N + 1 spends one number and restores the snapshot, which is drawn in this frame.
    (void)lcgRand();
    const std::uint32_t oneDraw = lcgState;
    lcgState = afterInit;
    p.update(0.16f);
    EXPECT_EQ(lcgState, oneDraw);
    expectSameState(p.live, p.spawn);
    EXPECT_GT(p.live.life, 0);
    // The next life replays the first: a cycle is N + 1 frames.
    p.update(0.16f);
    expectSameState(p.live, firstFrame);
    for (int frame = 2; frame <= n + 1; ++frame) p.update(0.16f);
    expectSameState(p.live, p.spawn);
}

TEST_F(CloudParticleTest, AHeldGreenSlotKeepsGreenWhileTheRestFades) {
    CloudParticle green = make(kFadeDown, kFadeHold);
    const int n = green.live.life;
    for (int frame = 0; frame < n; ++frame) green.update(0.16f);
    EXPECT_EQ(green.live.colour.g, 1.0f);
    EXPECT_EQ(green.live.quad.color.g, 1.0f);
    EXPECT_LT(green.live.colour.r, 0.61f);
    EXPECT_LT(green.live.colour.b, 0.61f);
    EXPECT_LT(green.live.colour.a, 0.61f);
}

TEST_F(CloudParticleTest, RollComesFromTheFrameStepInWholeTableSteps) {
    CloudParticle p = make();
    p.update(1.4f);  // just below one step: no roll, the fixed drift vector
    const float k = p.live.driftScale;
    const Vec3 d = p.live.direction;
    EXPECT_EQ(p.live.drift.x, k * d.z);
    EXPECT_EQ(p.live.drift.y, k * d.z);
    EXPECT_EQ(p.live.drift.z, k * d.y);
    Quad facing;
    facing.orient(1);
    EXPECT_EQ(p.live.quad.up.x, facing.up.x);
    EXPECT_EQ(p.live.quad.right.z, facing.right.z);

    // A 4.5 s stall rolls by 45 degrees from the facing axes, every time: it does not add up.
    for (int frame = 0; frame < 2; ++frame) {
        p.update(45.0f);
        EXPECT_NEAR(dot(p.live.quad.up, facing.up), std::cos(M_PI / 4), 1e-5);
        EXPECT_NEAR(dot(p.live.quad.right, facing.right), std::cos(M_PI / 4), 1e-5);
    }

    // Steps no clock should give still leave every corner a number.
    for (float dt : {NAN, INFINITY, -INFINITY, 1e30f, -400.0f}) {
        p.update(dt);
        for (const Vec3& c : p.live.quad.corners) EXPECT_TRUE(std::isfinite(c.x + c.y + c.z)) << dt;
    }
}

}  // namespace
