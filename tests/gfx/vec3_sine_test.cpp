// The sine table and its indexing rule, the table-driven rotation, normalisation and the
// shared random sequence: the arithmetic every scene's layout and motion rests on.
#include <gtest/gtest.h>

#include <cmath>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "gfx/vec3.h"

namespace {

void expectVec(const Vec3& v, float x, float y, float z) {
    EXPECT_NEAR(v.x, x, 1e-5f);
    EXPECT_NEAR(v.y, y, 1e-5f);
    EXPECT_NEAR(v.z, z, 1e-5f);
}

}  // namespace

TEST(SineTable, HoldsOneTurnPlusAQuarter) {
    buildSineTable();
    EXPECT_FLOAT_EQ(SineTable[64], 1.0f);
    EXPECT_FLOAT_EQ(SineTable[128 + 64], -1.0f);
    EXPECT_FLOAT_EQ(SineTable[319], SineTable[63]);  // the extra quarter repeats the first
    EXPECT_FLOAT_EQ(SineTable[32], float(std::sqrt(0.5)));
}

TEST(SineIndex, TruncatesTowardZeroWrapsAndStaysInRange) {
    const struct {
        float degrees;
        int index;
    } cases[] = {{1.0f, 0}, {1.40625f, 1}, {2.8f, 1}, {-1.0f, 0}, {-90.0f, 192}, {360.0f, 0}, {-450.0f, 192}};
    for (const auto& c : cases) EXPECT_EQ(sineIndex(c.degrees), c.index) << c.degrees;
    // The product of the two constants is just above 256/360; with a plain 256/360 many whole
    // steps would fall one index short.
    for (int k = -512; k <= 512; ++k) ASSERT_EQ(sineIndex(float(k) * 1.40625f), k & 255) << "step " << k;
    for (float degrees : {1e12f, -1e12f, INFINITY, -INFINITY, NAN}) {
        EXPECT_GE(sineIndex(degrees), 0);
        EXPECT_LE(sineIndex(degrees), 255);
    }
}

TEST(Rotation, ClockwiseSeenFromTheAxisTipAndZeroAxisUsesOnes) {
    buildSineTable();
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 90.0f, Vec3(0, 0, 1)), 0, -1, 0);
    expectVec(rotateAboutAxis(Vec3(0, 1, 0), 90.0f, Vec3(1, 0, 0)), 0, 0, -1);
    expectVec(rotateAboutAxis(Vec3(0, 0, 1), 90.0f, Vec3(0, 1, 0)), -1, 0, 0);
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 90.0f, Vec3(0, 0, 7)), 0, -1, 0);  // axis length ignored
    expectVec(rotateAboutAxis(Vec3(2, 3, 4), 180.0f, Vec3(0, 0, 1)), -2, -3, 4);
    // A zero axis becomes the unnormalised (1, 1, 1): half a turn is 2 u u^T - I, which stretches.
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 180.0f, Vec3(0, 0, 0)), 1, 2, 2);
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 0.0f, Vec3(0, 0, 0)), 1, 0, 0);
    Vec3 v(3, 0, 4);
    Vec3::normalize(v);
    expectVec(v, 0.6f, 0.0f, 0.8f);
    Vec3 zero;
    Vec3::normalize(zero);
    expectVec(zero, 1, 1, 1);
}

TEST(Random, SequenceFromSeedOne) {
    for (int value : {41, 18467, 6334, 26500, 19169, 15724}) EXPECT_EQ(lcgRand(), value);
}
