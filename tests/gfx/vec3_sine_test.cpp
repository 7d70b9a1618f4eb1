// The sine table and its indexing rule, the table-driven rotation, normalisation and the
// shared random sequence: the arithmetic every scene's layout and motion rests on.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <vector>

#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "gfx/vec3.h"

namespace {

class SineTest : public testing::Test {
protected:
    void SetUp() override { buildSineTable(); }
};

void expectVec(const Vec3& v, float x, float y, float z, float tolerance = 1e-5f) {
    EXPECT_NEAR(v.x, x, tolerance);
    EXPECT_NEAR(v.y, y, tolerance);
    EXPECT_NEAR(v.z, z, tolerance);
}

// The rotation written out as one expression per component, normalising the axis with a
// square root and three divisions on every call: what the shared matrix must reproduce.
Vec3 rotateByTheFormula(const Vec3& v, float degrees, Vec3 axis) {
    const double length = std::sqrt(double(axis.x) * axis.x + double(axis.y) * axis.y + double(axis.z) * axis.z);
    if (length == 0.0) {
        axis = Vec3(1.0f, 1.0f, 1.0f);
    } else {
        axis = Vec3(float(axis.x / length), float(axis.y / length), float(axis.z / length));
    }
    const int i = sineIndex(degrees);
    const double sn = SineTable[i];
    const double cs = SineTable[i + 64];
    const double k = 1.0 - cs;
    const double ux = axis.x, uy = axis.y, uz = axis.z;
    const double vx = v.x, vy = v.y, vz = v.z;
    return {float((k * ux * ux + cs) * vx + (k * ux * uy + sn * uz) * vy + (k * ux * uz - sn * uy) * vz),
            float((k * ux * uy - sn * uz) * vx + (k * uy * uy + cs) * vy + (k * uy * uz + sn * ux) * vz),
            float((k * ux * uz + sn * uy) * vx + (k * uy * uz - sn * ux) * vy + (k * uz * uz + cs) * vz)};
}

// Bit for bit, so that a zero's sign or a last-place rounding cannot slip through.
void expectSameBits(const Vec3& a, const Vec3& b) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.x), std::bit_cast<std::uint32_t>(b.x));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.y), std::bit_cast<std::uint32_t>(b.y));
    EXPECT_EQ(std::bit_cast<std::uint32_t>(a.z), std::bit_cast<std::uint32_t>(b.z));
}

float randomIn(float range) { return (float(lcgRand()) / 32767.0f - 0.5f) * 2.0f * range; }

}  // namespace

TEST_F(SineTest, TableHoldsOneTurnPlusAQuarter) {
    EXPECT_FLOAT_EQ(SineTable[0], 0.0f);
    EXPECT_FLOAT_EQ(SineTable[64], 1.0f);
    EXPECT_FLOAT_EQ(SineTable[128 + 64], -1.0f);
    EXPECT_NEAR(SineTable[256], 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(SineTable[319], SineTable[63]);  // the extra quarter repeats the first
    EXPECT_FLOAT_EQ(SineTable[32], float(std::sqrt(0.5)));
}

TEST(SineIndex, TruncatesToWholeStepsTowardZeroAndWraps) {
    EXPECT_EQ(sineIndex(0.0f), 0);
    EXPECT_EQ(sineIndex(1.0f), 0);      // below one step
    EXPECT_EQ(sineIndex(1.40625f), 1);  // exactly one step
    EXPECT_EQ(sineIndex(2.8f), 1);      // falls to the step nearer zero
    EXPECT_EQ(sineIndex(-1.0f), 0);     // truncation toward zero, not floor
    EXPECT_EQ(sineIndex(-90.0f), 192);
    EXPECT_EQ(sineIndex(90.0f), 64);
    EXPECT_EQ(sineIndex(180.0f), 128);
    EXPECT_EQ(sineIndex(360.0f), 0);
    EXPECT_EQ(sineIndex(450.0f), 64);
    EXPECT_EQ(sineIndex(-450.0f), 192);
}

TEST(SineIndex, EveryWholeStepLandsOnItsOwnIndex) {
    // The product of the two constants is just above 256/360; with a plain 256/360 many of
    // these would fall one step short.
    for (int k = -512; k <= 512; ++k) {
        ASSERT_EQ(sineIndex(float(k) * 1.40625f), k & 255) << "step " << k;
    }
}

TEST(SineIndex, HugeAndInvalidAnglesStayInRange) {
    for (float degrees : {1e12f, -1e12f, INFINITY, -INFINITY, NAN}) {
        const int i = sineIndex(degrees);
        EXPECT_GE(i, 0);
        EXPECT_LE(i, 255);
    }
}

TEST_F(SineTest, RotationTurnsClockwiseSeenFromTheAxisTip) {
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 90.0f, Vec3(0, 0, 1)), 0, -1, 0);
    expectVec(rotateAboutAxis(Vec3(0, 1, 0), 90.0f, Vec3(0, 0, 1)), 1, 0, 0);
    expectVec(rotateAboutAxis(Vec3(0, 1, 0), 90.0f, Vec3(1, 0, 0)), 0, 0, -1);
    expectVec(rotateAboutAxis(Vec3(0, 0, 1), 90.0f, Vec3(0, 1, 0)), -1, 0, 0);
    // The axis is normalised first: its length does not matter.
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 90.0f, Vec3(0, 0, 7)), 0, -1, 0);
    // A vector along the axis stays put; half a turn flips the perpendicular part.
    expectVec(rotateAboutAxis(Vec3(2, 3, 4), 180.0f, Vec3(0, 0, 1)), -2, -3, 4);
}

TEST_F(SineTest, RotationAboutAZeroAxisUsesTheUnnormalisedOnes) {
    // Half a turn about u = (1, 1, 1): k = 2, so the matrix is 2 u u^T - I, with |u|^2 = 3.
    // (1, 0, 0) goes to (2 - 1, 2, 2) = (1, 2, 2): longer than it was.
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 180.0f, Vec3(0, 0, 0)), 1, 2, 2);
    // No turn at all leaves it unscaled (k = 0).
    expectVec(rotateAboutAxis(Vec3(1, 0, 0), 0.0f, Vec3(0, 0, 0)), 1, 0, 0);
}

TEST(Vec3Ops, NormaliseDividesByLengthAndMakesZeroIntoOnes) {
    Vec3 v(3, 0, 4);
    Vec3::normalize(v);
    expectVec(v, 0.6f, 0.0f, 0.8f);
    Vec3 zero;
    Vec3::normalize(zero);
    EXPECT_EQ(zero.x, 1.0f);
    EXPECT_EQ(zero.y, 1.0f);
    EXPECT_EQ(zero.z, 1.0f);
}

TEST(Random, SequenceFromSeedOne) {
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int value : expected) EXPECT_EQ(lcgRand(), value);
}


TEST_F(SineTest, ASharedRotationMatrixGivesExactlyTheFloatsOfTheFormula) {
    // Unit axes (the laser's, where normalising is skipped), the zero axis, a normalised one
    // that is not exactly unit, and arbitrary ones; angles on and between steps; vectors with
    // zero and negative-zero components.
    std::vector<Vec3> axes = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 0}, {-1, 0, 0}, {0, -0.0f, 1}, {3, 0, 4}};
    Vec3 unitish(0.3f, -0.5f, 0.7f);
    Vec3::normalize(unitish);
    axes.push_back(unitish);
    lcgState = 7;
    for (int i = 0; i < 40; ++i) axes.push_back({randomIn(5.0f), randomIn(5.0f), randomIn(5.0f)});
    std::vector<Vec3> vectors = {{0, 0, 0}, {-0.0f, 0, -0.0f}, {1, 0, 0}, {0.2f, -0.0f, 0.05f}};
    for (int i = 0; i < 40; ++i) vectors.push_back({randomIn(20.0f), randomIn(20.0f), randomIn(20.0f)});
    for (const Vec3& axis : axes) {
        for (float degrees : {0.0f, 1.40625f, -7.3f, 90.0f, 181.0f, randomIn(400.0f)}) {
            const AxisRotation turn = AxisRotation::make(degrees, axis);
            for (const Vec3& v : vectors) {
                SCOPED_TRACE(testing::Message() << "axis " << axis.x << "," << axis.y << "," << axis.z << " at "
                                                << degrees << " on " << v.x << "," << v.y << "," << v.z);
                const Vec3 expected = rotateByTheFormula(v, degrees, axis);
                expectSameBits(turn.apply(v), expected);
                expectSameBits(rotateAboutAxis(v, degrees, axis), expected);
            }
        }
    }
}

TEST(Vec3Ops, NormalisingAUnitVectorLeavesItsBitsAlone) {
    // The short cut for vectors of length exactly 1 must agree with dividing by that length.
    for (Vec3 v : {Vec3(1, 0, 0), Vec3(0, -1, 0), Vec3(-0.0f, 0, 1), Vec3(0.6f, 0.8f, 0), Vec3(0.5f, 0.5f, 0.5f)}) {
        const double length = std::sqrt(double(v.x) * v.x + double(v.y) * v.y + double(v.z) * v.z);
        const Vec3 divided(float(v.x / length), float(v.y / length), float(v.z / length));
        Vec3::normalize(v);
        expectSameBits(v, divided);
    }
}
