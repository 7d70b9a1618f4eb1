// The card table and the card timeline: which cards are up when, the per-frame fade and the
// switch windows that a frame can miss.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
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

    // Runs frames at the given rate until the music time passes `seconds`.
    void runUntil(double seconds, double fps) {
        while (double(demo.musicTime) <= seconds) {
            ++frame_;
            const double ms = std::floor(double(frame_) * 1000.0 / fps);
            frameAt(float(ms * 0.001));
        }
    }

    static std::set<int> visibleCards() {
        std::set<int> shown;
        for (int i = 0; i < CardLayer::kCardCount; ++i) {
            if (demo.cards.cards[std::size_t(i)].visible == 1) shown.insert(i);
        }
        return shown;
    }

    static const Card& card(int i) { return demo.cards.cards[std::size_t(i)]; }

    long frame_ = 0;
};

}  // namespace

TEST_F(CardTimeline, TableLaysOutFourteenTransparentHiddenCards) {
    struct Row {
        const char* key;
        float x, y, duration, fadeStep;
    };
    const Row rows[] = {
        {"tavopresents", 450, 400, 18, 1 / 7.2f},
        {"veldrin", 400, 400, 8, 0.3125f},
        {"music", 400, 300, 15, 1 / 6.0f},
        {"code", 400, 300, 15, 1 / 6.0f},
        {"greeting", 250, 300, 105, 1 / 42.0f},
        {"fendrak", 400, 300, 10, 0.25f},
        {"yonveck", 400, 300, 10, 0.25f},
        {"drassel", 400, 300, 10, 0.25f},
        {"keltu", 400, 300, 10, 0.25f},
        {"movrin", 400, 300, 10, 0.25f},
        {"pashtek", 400, 300, 10, 0.25f},
        {"zelimor", 400, 300, 10, 0.25f},
        {"quorvan", 400, 300, 10, 0.25f},
        {"korrimeet", 300, 270, 18, 1 / 7.2f},
    };
    ASSERT_EQ(demo.cards.cards.size(), 14u);
    for (int i = 0; i < 14; ++i) {
        const Card& c = card(i);
        const Row& r = rows[i];
        EXPECT_STREQ(c.textureKey, r.key) << i;
        EXPECT_FLOAT_EQ(c.duration, r.duration) << i;
        EXPECT_FLOAT_EQ(c.fadeStep, r.fadeStep) << i;
        // Corner 0 top-left, corner 2 bottom-right of a 200 x 60 card in the y-down overlay.
        EXPECT_FLOAT_EQ(c.quad.corners[0].x, r.x) << i;
        EXPECT_FLOAT_EQ(c.quad.corners[0].y, r.y) << i;
        EXPECT_FLOAT_EQ(c.quad.corners[2].x, r.x + 200) << i;
        EXPECT_FLOAT_EQ(c.quad.corners[2].y, r.y + 60) << i;
        EXPECT_EQ(c.quad.color.a, 0.0f) << i;
        EXPECT_EQ(c.visible, 0) << i;
        EXPECT_EQ(c.started, 0) << i;
        // The texture runs the right way up: v = 0 at the top edge.
        EXPECT_EQ(c.quad.texCoords[0].v, 0.0f) << i;
        EXPECT_EQ(c.quad.texCoords[2].u, 1.0f) << i;
        EXPECT_EQ(c.quad.texCoords[2].v, 1.0f) << i;
    }
}

TEST_F(CardTimeline, CardsUpAtChosenTimesAt60Fps) {
    struct Checkpoint {
        double t;
        std::set<int> shown;
    };
    const Checkpoint checkpoints[] = {
        {2.0, {}},        {3.5, {0, 13}},   {22.9, {0, 13}}, {23.5, {}},       {29.0, {}},      {32.0, {1}},
        {40.0, {1}},      {45.5, {2}},      {55.0, {2}},     {62.5, {3}},      {70.0, {3}},     {79.5, {4}},
        {85.0, {4}},      {89.5, {4, 5}},   {93.0, {4, 5}},  {95.5, {4, 6}},   {100.0, {4, 6}}, {102.5, {4, 7}},
        {107.0, {4, 7}},  {110.5, {4, 8}},  {115.0, {4, 8}}, {118.5, {4, 9}},  {123.0, {4, 9}}, {126.5, {4, 10}},
        {130.0, {4, 10}}, {134.5, {4, 11}}, {140.0, {4, 11}}, {142.5, {4, 12}}, {147.0, {4, 12}}, {150.5, {}},
        {186.9, {}},
    };
    for (const Checkpoint& c : checkpoints) {
        runUntil(c.t, 60.0);
        EXPECT_EQ(visibleCards(), c.shown) << "at " << c.t << " s";
    }
}

TEST_F(CardTimeline, NameCardsGoFromTransparentToOpaqueInsideTheirWindow) {
    runUntil(89.5, 60.0);
    EXPECT_EQ(card(5).started, 0);
    EXPECT_EQ(card(5).quad.color.a, 0.0f);  // shown before its update window: transparent
    runUntil(90.1, 60.0);
    EXPECT_EQ(card(5).started, 1);
    EXPECT_GT(card(5).startTime, 90.0f);
    EXPECT_LT(card(5).startTime, 90.02f);
    runUntil(94.9, 60.0);
    EXPECT_GE(card(5).quad.color.a, 1.0f);  // faded in over 4 s, now held at its peak
    // The greeting card fades in from its first update after 87.905 s and is never faded out.
    EXPECT_EQ(card(4).started, 1);
    EXPECT_GT(card(4).startTime, 87.905f);
    runUntil(150.0, 60.0);
    EXPECT_GT(card(4).quad.color.a, 1.0f);
}

TEST_F(CardTimeline, FirstFrameAfterThreeSecondsOnlyShows) {
    frameAt(3.0f);  // on the bound: nothing
    EXPECT_EQ(card(13).visible, 0);
    frameAt(3.01f);
    EXPECT_EQ(card(13).visible, 1);
    EXPECT_EQ(card(0).visible, 1);
    EXPECT_EQ(card(13).started, 0);
    EXPECT_EQ(card(0).started, 0);
    EXPECT_EQ(card(13).quad.color.a, 0.0f);
    frameAt(3.02f);
    EXPECT_EQ(card(13).started, 1);
    EXPECT_EQ(card(13).startTime, 3.02f);
    EXPECT_EQ(card(0).startTime, 3.02f);
    EXPECT_FLOAT_EQ(card(13).quad.color.a, 1 / 7.2f);
}

TEST_F(CardTimeline, FrameExactlyOnABoundRunsNothing) {
    runUntil(22.9, 60.0);
    const float alpha = card(13).colour.a;
    frameAt(23.0f);  // the end of the update window and the start of the hide window
    EXPECT_EQ(card(13).visible, 1);
    EXPECT_EQ(card(13).colour.a, alpha);
    frameAt(23.5f);
    EXPECT_EQ(card(13).visible, 0);
    EXPECT_EQ(card(0).visible, 0);
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
    EXPECT_EQ(card(1).visible, 0);
    EXPECT_EQ(card(2).visible, 0);
}

TEST_F(CardTimeline, FadeIsPerFrameSoTheFrameRateDecidesHowFarAlphaClimbs) {
    runUntil(37.0, 60.0);
    const float at60 = card(1).colour.a;
    SetUp();
    runUntil(37.0, 120.0);
    const float at120 = card(1).colour.a;
    // Two seconds of fade-in (from 35 s): about 120 and 240 steps of 0.3125, never clamped.
    EXPECT_NEAR(at60, 120 * 0.3125f, 2 * 0.3125f);
    EXPECT_NEAR(at120, 240 * 0.3125f, 2 * 0.3125f);
}

TEST_F(CardTimeline, FadeInHoldFadeOutBringsAlphaBackToAboutZero) {
    runUntil(11.0, 60.0);  // fade-in ends 7.2 s after the start (~3.03 s)
    const float peak = card(0).colour.a;
    EXPECT_GT(peak, 50.0f);
    runUntil(13.5, 60.0);  // hold between 40 % and 60 %
    EXPECT_EQ(card(0).colour.a, peak);
    runUntil(22.0, 60.0);  // fade-out over as many frames as the fade-in had
    EXPECT_NEAR(card(0).colour.a, 0.0f, 2 * card(0).fadeStep);
    EXPECT_EQ(card(0).quad.color.a, card(0).colour.a);
}
