// CardLayer: the card table, the fade and the switch timeline.
#include "layers/card_layer.h"

#include "gfx/render_state.h"
#include "gfx/screen_space.h"
#include "timeline/demo.h"

void Card::setup(Vec3 where, float w, float h, float r, float g, float b, float a, const char* key,
                 float seconds) {
    position = where;
    width = w;
    height = h;
    quad.place(where, w, h);
    quad.setTexCoords(0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f);
    // Every card starts invisible whatever alpha it was given; the fade brings it in.
    colour = {r, g, b, a};
    colour.a = 0.0f;
    quad.setColor(r, g, b, 0.0f);
    textureKey = key;
    duration = seconds;
    // Applied once per frame, not per second: at any real frame rate alpha overshoots 1 during
    // the fade-in (the draw clamps it) and the fade-out needs as many frames to bring it back.
    fadeStep = float(1.0 / (double(seconds) * 0.4));
    visible = 0;
    started = 0;
    startTime = 0.0f;
}

void Card::update(float t) {
    if (visible == 0) return;
    if (started == 0) {
        started = 1;
        startTime = t;
    }
    // The phase bounds in double, like the fade step: in float, 0.4 × 18 s lands a frame late
    // (a card starting at 6.633 s would turn to its fade-out at 13.850 s instead of 13.833 s).
    const double time = t;
    const double start = startTime;
    const double length = duration;
    if (time <= start + 0.4 * length) {
        colour.a += fadeStep;
    } else if (start + 0.6 * length < time && time <= start + length) {
        colour.a -= fadeStep;
    }
    quad.setColor(colour.r, colour.g, colour.b, colour.a);
}

namespace {

struct CardRow {
    const char* key;
    float dx;  // position relative to the window centre
    float dy;
    float duration;
};

// Index order is drawing order.
constexpr CardRow kCardTable[CardLayer::kCardCount] = {
    {"tavopresents", 50.0f, 100.0f, 18.0f},
    {"veldrin", 0.0f, 100.0f, 8.0f},
    {"music", 0.0f, 0.0f, 15.0f},
    {"code", 0.0f, 0.0f, 15.0f},
    {"greeting", -150.0f, 0.0f, 105.0f},
    {"fendrak", 0.0f, 0.0f, 10.0f},
    {"yonveck", 0.0f, 0.0f, 10.0f},
    {"drassel", 0.0f, 0.0f, 10.0f},
    {"keltu", 0.0f, 0.0f, 10.0f},
    {"movrin", 0.0f, 0.0f, 10.0f},
    {"pashtek", 0.0f, 0.0f, 10.0f},
    {"zelimor", 0.0f, 0.0f, 10.0f},
    {"quorvan", 0.0f, 0.0f, 10.0f},
    {"korrimeet", -100.0f, -30.0f, 18.0f},
};

constexpr float kCardWidth = 200.0f;
constexpr float kCardHeight = 60.0f;

enum class CardOp { Update, Show, Hide };

struct CardAction {
    CardOp op;
    int card;
};

// An open interval of music time and what happens on every frame inside it, in order.
struct SwitchWindow {
    float lower;
    float upper;
    int count;
    CardAction actions[4];
};

constexpr CardOp U = CardOp::Update;
constexpr CardOp S = CardOp::Show;
constexpr CardOp H = CardOp::Hide;

// The score of the cards. Each card is shown in a short window and updated (faded) in a
// later, longer one; a card shown before its update window opens sits there transparent.
// In the first window the update comes before the show, so the start time of cards 13 and 0
// is taken one frame after they appear.
constexpr SwitchWindow kTimeline[] = {
    {3.0f, 23.0f, 4, {{U, 13}, {S, 13}, {U, 0}, {S, 0}}},
    {23.0f, 24.0f, 2, {{H, 13}, {H, 0}}},
    {30.0f, 31.0f, 1, {{S, 1}}},
    {35.0f, 45.0f, 1, {{U, 1}}},
    {45.0f, 46.0f, 2, {{H, 1}, {S, 2}}},
    {47.0f, 62.0f, 1, {{U, 2}}},
    {62.0f, 63.0f, 2, {{H, 2}, {S, 3}}},
    {64.0f, 79.0f, 1, {{U, 3}}},
    {79.0f, 80.0f, 2, {{H, 3}, {S, 4}}},
    {87.905f, 187.0f, 1, {{U, 4}}},
    {89.0f, 90.0f, 1, {{S, 5}}},
    {90.0f, 95.0f, 1, {{U, 5}}},
    {95.0f, 96.0f, 2, {{H, 5}, {S, 6}}},
    {98.0f, 102.0f, 1, {{U, 6}}},
    {102.0f, 103.0f, 2, {{H, 6}, {S, 7}}},
    {105.0f, 110.0f, 1, {{U, 7}}},
    {110.0f, 111.0f, 2, {{H, 7}, {S, 8}}},
    {113.0f, 118.0f, 1, {{U, 8}}},
    {118.0f, 119.0f, 2, {{H, 8}, {S, 9}}},
    {121.0f, 126.0f, 1, {{U, 9}}},
    {126.0f, 127.0f, 2, {{H, 9}, {S, 10}}},
    {129.0f, 134.0f, 1, {{U, 10}}},
    {134.0f, 135.0f, 2, {{H, 10}, {S, 11}}},
    {137.0f, 142.0f, 1, {{U, 11}}},
    {142.0f, 143.0f, 2, {{H, 11}, {S, 12}}},
    {145.0f, 150.0f, 1, {{U, 12}}},
    {150.0f, 151.0f, 2, {{H, 12}, {H, 4}}},
};

}  // namespace

void CardLayer::init() {
    const Card blank;
    // Sized once here: no frame allocates.
    cards.resize(std::size_t(kCardCount), blank);
    const float centreX = windowWidth / 2.0f;
    const float centreY = windowHeight / 2.0f;
    for (std::size_t i = 0; i < cards.size(); ++i) {
        const CardRow& row = kCardTable[i];
        cards[i].setup(Vec3(centreX + row.dx, centreY + row.dy, 0.0f), kCardWidth, kCardHeight, 1.0f, 1.0f, 1.0f,
                       0.0f, row.key, row.duration);
    }
}

void CardLayer::update(float) {
    // Single precision, like the music time, so a frame exactly on a bound runs nothing.
    const float t = demo.musicTime;
    if (cards.size() != std::size_t(kCardCount)) return;  // never initialised: nothing to switch
    for (const SwitchWindow& window : kTimeline) {
        if (!(t > window.lower && t < window.upper)) continue;
        for (int k = 0; k < window.count; ++k) {
            Card& card = cards[std::size_t(window.actions[k].card)];
            switch (window.actions[k].op) {
                case CardOp::Update: card.update(t); break;
                case CardOp::Show: card.visible = 1; break;
                case CardOp::Hide: card.visible = 0; break;
            }
        }
    }
}

void CardLayer::render() {
    for (const Card& card : cards) {
        if (card.visible == 1) drawScreenCard(card.quad, card.textureKey);
    }
}
