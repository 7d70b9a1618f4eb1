// The command line: frame rates are read whole and exactly (the program itself is run on the
// bad command lines in program_test.cpp).
#include <gtest/gtest.h>

#include "app/options.h"

namespace {

TEST(Options, FrameRatesAsIntegersDecimalsAndFractions) {
    const struct {
        const char* text;
        unsigned num, den;
    } good[] = {{"60", 60, 1}, {"0", 0, 1}, {"59.94", 5994, 100}, {"60000/1001", 60000, 1001},
                {"29.97", 2997, 100}, {"1000", 1000, 1}, {"0.5", 5, 10}};
    for (const auto& row : good) {
        FrameRate rate;
        ASSERT_TRUE(parseFrameRate(row.text, rate)) << row.text;
        EXPECT_EQ(rate.num, row.num) << row.text;
        EXPECT_EQ(rate.den, row.den) << row.text;
    }
    for (const char* bad : {"+5", "60fps", "/5", "5/", "0x3c", " 60", "60.0001"}) {
        FrameRate rate;
        EXPECT_FALSE(parseFrameRate(bad, rate)) << "'" << bad << "'";
    }
}

}  // namespace
