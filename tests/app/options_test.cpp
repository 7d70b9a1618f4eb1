// The command line: good values are read whole, bad ones are refused (the bad-input test runs
// the program on those).
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "app/options.h"

namespace {

ParseResult parse(std::initializer_list<const char*> args, Options& options, std::string& error) {
    std::vector<const char*> argv{"veldrin"};
    argv.insert(argv.end(), args.begin(), args.end());
    return parseOptions(int(argv.size()), argv.data(), options, error);
}

TEST(Options, DefaultsAndEveryPlayOption) {
    Options defaults;
    std::string error;
    ASSERT_EQ(parse({}, defaults, error), ParseResult::Run);
    EXPECT_FALSE(defaults.windowed || defaults.debug);
    EXPECT_EQ(defaults.fps.value(), 60.0);
    Options options;
    ASSERT_EQ(parse({"--windowed", "--debug", "--fps", "144"}, options, error), ParseResult::Run);
    EXPECT_TRUE(options.windowed && options.debug);
    EXPECT_EQ(options.fps.value(), 144.0);
}

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
    for (const char* bad : {"", "-1", "+5", "abc", "60fps", "1001", "1e3", "inf", "nan", "60/0", "/5", "5/",
                            "99999999999999999999", "0x3c", " 60", "60.0001"}) {
        FrameRate rate;
        EXPECT_FALSE(parseFrameRate(bad, rate)) << "'" << bad << "'";
    }
}

TEST(Options, HelpAndVersionExitWithoutRunning) {
    Options options;
    std::string error;
    EXPECT_EQ(parse({"--help"}, options, error), ParseResult::Exit);
    EXPECT_TRUE(options.showHelp);
    Options other;
    EXPECT_EQ(parse({"--version"}, other, error), ParseResult::Exit);
    EXPECT_TRUE(other.showVersion);
    EXPECT_NE(std::string(usageText()).find("--fps"), std::string::npos);
}

}  // namespace
