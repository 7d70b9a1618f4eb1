// The card timeline: which cards are up when, the per-frame fade and the switch windows that a
// frame can miss.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "app/shell_state.h"
#include "layers/card_layer.h"
#include "timeline/demo.h"

namespace {

// Steps the card layer the way the demo does on a fixed-step clock: frame n has the music
// time floor(n x 1000 / fps) ms x 0.001, stored as float.
class CardTimeline : public testing::Test {
protected:
    void SetUp() override {
        windowWidth = 800.0f;
        windowHeight = 600.0f;
        demo.cards.init();
        demo.musicTime = 0.0f;
        frame_ = 0;
    }

    void frameAt(float t) {
        demo.musicTime = t;
        demo.cards.update(0.0f);
    }

    void runUntil(double seconds, double fps) {
        while (double(demo.musicTime) <= seconds) frameAt(float(std::floor(double(++frame_) * 1000.0 / fps) * 0.001));
    }

    static std::set<int> visibleCards() {
        std::set<int> shown;
        for (int i = 0; i < CardLayer::kCardCount; ++i) {
            if (card(i).visible == 1) shown.insert(i);
        }
        return shown;
    }

    static const Card& card(int i) { return demo.cards.cards[std::size_t(i)]; }

    long frame_ = 0;
};

}  // namespace

TEST_F(CardTimeline, CardsUpAtChosenTimesAt60Fps) {
    const std::pair<double, std::set<int>> checkpoints[] = {
        {2.0, {}},        {3.5, {0, 13}},  {22.9, {0, 13}},  {23.5, {}},       {32.0, {1}},     {45.5, {2}},
        {62.5, {3}},      {79.5, {4}},     {89.5, {4, 5}},   {95.5, {4, 6}},   {102.5, {4, 7}}, {110.5, {4, 8}},
        {118.5, {4, 9}},  {126.5, {4, 10}}, {134.5, {4, 11}}, {142.5, {4, 12}}, {150.5, {}},     {186.9, {}},
    };
    for (const auto& [t, shown] : checkpoints) {
        runUntil(t, 60.0);
        EXPECT_EQ(visibleCards(), shown) << "at " << t << " s";
    }
}

TEST_F(CardTimeline, FirstFrameOnlyShowsAndFramesOnABoundRunNothing) {
    frameAt(3.0f);  // on the bound: nothing
    EXPECT_EQ(card(13).visible, 0);
    frameAt(3.01f);
    EXPECT_EQ(card(13).visible, 1);
    EXPECT_EQ(card(13).started, 0);
    EXPECT_EQ(card(13).quad.color.a, 0.0f);
    frameAt(3.02f);
    EXPECT_EQ(card(13).started, 1);
    EXPECT_EQ(card(0).startTime, 3.02f);
    EXPECT_FLOAT_EQ(card(13).quad.color.a, 1 / 7.2f);
    frameAt(22.9f);
    const float alpha = card(13).colour.a;
    frameAt(23.0f);  // the end of the update window and the start of the hide window
    EXPECT_EQ(card(13).visible, 1);
    EXPECT_EQ(card(13).colour.a, alpha);
    frameAt(79.5f);  // shows the greeting card
    frameAt(87.905f);
    EXPECT_EQ(card(4).started, 0);
    frameAt(87.91f);
    EXPECT_EQ(card(4).started, 1);
}

TEST_F(CardTimeline, WindowWithoutAFrameSkipsItsSwitch) {
    // 1.5 s a frame: 22.5 then 24.0 (a bound) leaves 23..24 without a frame, so the first two
    // cards are never hidden; 30.0 and 45.0 are bounds too, so cards 1 and 2 never show.
    for (int n = 1; n <= 40; ++n) frameAt(float(n) * 1.5f);
    EXPECT_EQ(visibleCards(), (std::set<int>{0, 13}));
}

TEST_F(CardTimeline, FadeIsPerFrameSoTheFrameRateDecidesHowFarAlphaClimbs) {
    runUntil(11.0, 60.0);  // fade-in ends 7.2 s after the start (~3.03 s)
    const float peak = card(0).colour.a;
    runUntil(13.5, 60.0);  // hold between 40 % and 60 %
    EXPECT_EQ(card(0).colour.a, peak);
    runUntil(22.0, 60.0);  // fade-out over as many frames as the fade-in had
    EXPECT_NEAR(card(0).colour.a, 0.0f, 2 * card(0).fadeStep);
    runUntil(37.0, 60.0);
    const float at60 = card(1).colour.a;
    SetUp();
    runUntil(37.0, 120.0);
    // Two seconds of fade-in (from 35 s): about 120 and 240 steps of 0.3125, never clamped.
    EXPECT_NEAR(at60, 120 * 0.3125f, 2 * 0.3125f);
    EXPECT_NEAR(card(1).colour.a, 240 * 0.3125f, 2 * 0.3125f);
}

TEST_F(CardTimeline, PhaseBoundsAreExactAt60Fps) {
    // Cards 0 and 13 start at 3.033 s, card 1 at 35.016 s. The 40 % and 60 % bounds are taken
    // in double with the float times widened, so card 0 turns to its fade-out on the frame at
    // 13.833 s and card 1 takes its last fade-in step at 38.200 s; single-precision bounds move
    // both a frame later (13.850 s and 38.216 s).
    runUntil(13.81, 60.0);  // last frame 13.816 s: holding
    const float held = card(0).colour.a;
    runUntil(13.82, 60.0);  // 13.833 s
    EXPECT_EQ(card(0).colour.a, held - card(0).fadeStep);
    EXPECT_EQ(card(13).colour.a, card(0).colour.a);
    runUntil(38.18, 60.0);  // 38.183 s
    const float rising = card(1).colour.a;
    runUntil(38.205, 60.0);  // 38.200 s: the last step, then 38.216 s: holding
    EXPECT_EQ(card(1).colour.a, rising + card(1).fadeStep);
}
