// The arithmetic every scene's layout and motion rests on: the sine table and its indexing rule,
// the table-driven rotation, and the quad's corner layouts.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/quad.h"
#include "gfx/sine_table.h"
#include "gfx/vec3.h"

namespace {

void expectVec(const Vec3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

TEST(SineIndex, WholeStepsLandOnTheirOwnEntryAndEveryAngleStaysInRange) {
    buildSineTable();
    EXPECT_FLOAT_EQ(SineTable[64], 1.0f);
    EXPECT_FLOAT_EQ(SineTable[319], SineTable[63]);  // the extra quarter repeats the first
    // The product of the two constants is just above 256/360; with a plain 256/360 many whole
    // steps would fall one index short.
    for (int k = -512; k <= 512; ++k) ASSERT_EQ(sineIndex(float(k) * 1.40625f), k & 255) << "step " << k;
    EXPECT_EQ(sineIndex(2.8f), 1);  // truncated toward zero
    EXPECT_EQ(sineIndex(-1.0f), 0);
    for (float degrees : {1e12f, -1e12f, INFINITY, NAN}) {
        EXPECT_GE(sineIndex(degrees), 0);
        EXPECT_LE(sineIndex(degrees), 255);
    }
}

TEST(Rotation, ClockwiseSeenFromTheAxisTipAndZeroAxisUsesOnes) {
    buildSineTable();
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 90.0f, Vec3(0, 0, 7)), 0, -1, 0);  // axis length ignored
    expectVec(rotateAboutAxis(Vec3(0, 1, 0), 90.0f, Vec3(1, 0, 0)), 0, 0, -1);
    expectVec(rotateAboutAxis(Vec3(0, 0, 1), 90.0f, Vec3(0, 1, 0)), -1, 0, 0);
    expectVec(rotateAboutAxis(Vec3(2, 3, 4), 180.0f, Vec3(0, 0, 1)), -2, -3, 4);
    // A zero axis becomes the unnormalised (1, 1, 1): half a turn is 2 u u^T - I, which stretches.
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 180.0f, Vec3(0, 0, 0)), 1, 2, 2);
}

TEST(QuadCorners, EveryAnchorModeUnknownOnesCollapseAndOffsetsWait) {
    const float expected[5][8] = {{0, 0, 2, 0, 2, 3, 0, 3},
                                  {-1, -1.5f, -1, 1.5f, 1, 1.5f, 1, -1.5f},  // up the left edge first
                                  {-2, -3, 0, -3, 0, 0, -2, 0},
                                  {0, -3, 2, -3, 2, 0, 0, 0},
                                  {0, -1.5f, 2, -1.5f, 2, 1.5f, 0, 1.5f}};
    for (int mode = -1; mode < 6; ++mode) {
        Quad q;
        q.anchorMode = mode;
        q.place(Vec3(1, 1, 1), 2.0f, 3.0f);
        q.setOffset(Vec3(10, 0, 0));  // waits for updateCorners
        for (int k = 0; k < 4; ++k) {
            const bool known = mode >= 0 && mode < 5;
            const float a = known ? expected[mode][2 * k] : 1, b = known ? expected[mode][2 * k + 1] : 1;
            expectVec(q.corners[k], 1 + a, 1 + b, 1);
        }
    }
}

}  // namespace
