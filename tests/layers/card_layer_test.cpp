// The card timeline: which cards are up when, and the fade, one step a frame, whose phases
// turn on the exact frame.
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

    void runUntil(double seconds, double fps = 60.0) {
        while (double(demo.musicTime) <= seconds) {
            demo.musicTime = float(std::floor(double(++frame_) * 1000.0 / fps) * 0.001);
            demo.cards.update(0.0f);
        }
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

TEST_F(CardTimeline, CardsUpAtChosenTimes) {
    const std::pair<double, std::set<int>> checkpoints[] = {
        {2.0, {}},        {3.5, {0, 13}},  {22.9, {0, 13}},  {23.5, {}},       {30.5, {1}},     {45.5, {2}},
        {62.5, {3}},      {79.5, {4}},     {89.5, {4, 5}},   {95.5, {4, 6}},   {102.5, {4, 7}}, {110.5, {4, 8}},
        {118.5, {4, 9}},  {126.5, {4, 10}}, {134.5, {4, 11}}, {142.5, {4, 12}}, {150.5, {}},     {186.9, {}},
    };
    for (const auto& [t, shown] : checkpoints) {
        runUntil(t);
        EXPECT_EQ(visibleCards(), shown) << "at " << t << " s";
    }
}

TEST_F(CardTimeline, FadeStepsOncePerFrameAndItsPhasesTurnOnTheExactFrame) {
    // Cards 0 and 13 start at 3.033 s (the frame after they appear), card 1 at 35.016 s. Card 0's
    // 18 s fade climbs by 1/7.2 a frame to 40 % of it, holds, and falls from 60 %: the frame at
    // 13.833 s is the first to fall; card 1 takes its last step at 38.200 s.
    runUntil(3.02);
    EXPECT_FLOAT_EQ(card(0).startTime, 3.033f);
    EXPECT_FLOAT_EQ(card(0).colour.a, 1 / 7.2f);
    runUntil(13.81);
    const float held = card(0).colour.a;
    EXPECT_NEAR(held, 433 / 7.2f, 1 / 7.2f) << "never clamped";
    runUntil(13.82);
    EXPECT_EQ(card(0).colour.a, held - card(0).fadeStep);
    EXPECT_EQ(card(13).colour.a, card(0).colour.a);
    runUntil(22.0);  // the fall takes as many frames as the climb
    EXPECT_NEAR(card(0).colour.a, 0.0f, 2 * card(0).fadeStep);
    runUntil(38.18);
    const float rising = card(1).colour.a;
    runUntil(38.205);
    EXPECT_EQ(card(1).colour.a, rising + card(1).fadeStep);
    // At twice the frame rate the same two seconds climb twice as far.
    const float at60 = card(1).colour.a;
    SetUp();
    runUntil(38.205, 120.0);
    EXPECT_NEAR(card(1).colour.a, 2 * at60, 2 * card(1).fadeStep);
}

}  // namespace
