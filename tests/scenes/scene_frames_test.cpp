// What each scene adds to a frame, alone on black: the demo runs to a music time with a spectrum
// the test sets, draws that frame with every other layer switched off, and the pixels of the
// scene's colours are counted.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

bool grey(const Rgb& p) { return p.r > 20 && std::abs(p.r - p.g) <= 3 && std::abs(p.g - p.b) <= 3; }
bool greenish(const Rgb& p) { return p.g > p.r + 20 && p.g > p.b + 20; }
bool reddish(const Rgb& p) { return p.r > 80 && p.g < 40 && p.b < 40; }
bool yellowish(const Rgb& p) { return p.r > 150 && p.g > 150 && p.b < 80; }
// The bolts add at most 0.3 of their colour per layer onto the picture.
bool orangeish(const Rgb& p) { return p.r >= 20 && p.r > p.g + 8 && p.g >= p.b && p.b * 3 < p.r; }

enum Shown { kKnot = 1, kLaser = 2, kCloud = 4, kDodeca = 8 };

struct Look {
    const char* name;
    double seconds;
    int shown;                                 // the scenes left on
    std::vector<std::pair<int, float>> bins;   // spectrum entries that sound; the rest are silent
    bool (*wanted)(const Rgb&);
    int atLeast;                               // pixels of that colour in the frame
    int atMost;
    double fromX = 0.0;                        // count only from this fraction of the width on
};

// Entries 3 and 128 are the knot's bass and treble, 33 the bolts' band, 4 the shells' band.
const Look kLooks[] = {
    {"WhitePuffs", 22.0, kCloud, {}, grey, 10000, INT_MAX},
    {"GreenPuffsInTheGreenStretch", 60.0, kCloud, {}, greenish, 8000, INT_MAX},
    {"RedBoxesWhileTheBassIsLoud", 62.0, kKnot, {{3, 0.5f}, {128, 0.5f}}, reddish, 2000, INT_MAX},
    {"YellowCornersWhileTheTrebleSounds", 62.0, kKnot, {{3, 0.5f}, {128, 0.5f}}, yellowish, 200, INT_MAX},
    {"GreyBoxesAtABassOfExactly0.1f", 62.0, kKnot, {{3, 0.1f}, {128, 0.001f}}, reddish, 0, 10},
    {"NoCornersAtATrebleOfExactly0.001f", 62.0, kKnot, {{3, 0.1f}, {128, 0.001f}}, yellowish, 0, 10},
    {"OrangeBolts", 120.0, kLaser, {{33, 0.5f}}, orangeish, 400, INT_MAX},
    {"BoltsReachInFromTheLeft", 120.0, kLaser, {{33, 0.5f}}, orangeish, 0, 20, 0.6},
    {"PaleGreenSolids", 145.0, kDodeca, {}, greenish, 20000, INT_MAX},
    {"WhiteShellsWhileTheBandIsQuiet", 145.0, kDodeca, {}, reddish, 0, 0},
    {"RedShellsWhileTheBandIsLoud", 145.0, kDodeca, {{4, 0.7f}}, reddish, 1000, INT_MAX},
    {"RedShellsAtALevelOfExactly0.1f", 145.0, kDodeca, {{4, 0.1f}}, reddish, 1000, INT_MAX},
    {"WireOnlyFrom150To160", 155.0, kDodeca, {}, greenish, 0, 10},
};

class SceneFrame : public GlTest, public testing::WithParamInterface<Look> {
protected:
    bool wantTextures() const override { return true; }
};

TEST_P(SceneFrame, ShowsTheScenesColours) {
    const Look& look = GetParam();
    DemoHarness harness(60);
    harness.init();
    harness.hidden = {&demo.background.active, &demo.cards.active};
    for (auto [flag, active] : {std::pair{kKnot, &demo.knot.active}, {kLaser, &demo.laser.active},
                                {kCloud, &demo.cloud.active}, {kDodeca, &demo.dodeca.active}}) {
        if ((look.shown & flag) == 0) harness.hidden.push_back(active);
    }
    harness.setSpectrum(0.0f, look.bins);
    // The six seconds before the moment are run (without drawing; every cloud sprite lives
    // through a whole life in that time), the moment itself drawn.
    harness.skipTo(look.seconds - 6.0);
    harness.runUntil(look.seconds - 0.02);
    harness.step(true);
    const std::vector<Rgb> p = pixels();
    int found = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const bool counted = double(i % std::size_t(width_)) >= look.fromX * width_;
        found += counted && look.wanted(p[i]) ? 1 : 0;
    }
    EXPECT_GE(found, look.atLeast) << "pixels of the scene's colour at " << look.seconds << " s";
    EXPECT_LE(found, look.atMost) << "pixels of the scene's colour at " << look.seconds << " s";
}

INSTANTIATE_TEST_SUITE_P(Looks, SceneFrame, testing::ValuesIn(kLooks),
                         [](const testing::TestParamInfo<Look>& p) {
                             std::string name = p.param.name;
                             for (char& c : name) c = c == '.' ? '_' : c;
                             return name;
                         });

}  // namespace
