// CardLayer: the fourteen title and credit cards. A fixed timeline of one-second switch
// windows of music time shows and hides them; each card fades in and out by its own clock,
// one step per frame. Drawn last, over every scene.
#pragma once

#include <vector>

#include "gfx/quad.h"
#include "gfx/vec3.h"
#include "layers/screen_item.h"

class Card : public ScreenItem {
public:
    Card() = default;

    // Lays the card out at position (its top-left corner in the y-down screen space), fully
    // transparent and hidden; the fade cycle lasts duration seconds.
    void setup(Vec3 where, float w, float h, float r, float g, float b, float a, const char* key, float seconds);
    // One frame of the fade at music time t; nothing while hidden. The first update of a
    // shown card starts its clock.
    void update(float t);

    Vec3 position;
    float width = 1.0f;
    float height = 1.0f;
    Quad quad;
    Colour4 colour;          // colour.a is the fade value; it is never clamped
    float fadeStep = 0.0f;   // alpha change per update, not per second
    const char* textureKey = nullptr;  // static string, not owned
    float duration = 0.0f;
    int visible = 0;
    int started = 0;
    float startTime = 0.0f;
};

class CardLayer {
public:
    static constexpr int kCardCount = 14;

    void init();
    // Runs the timeline at the demo's music time; the frame step is not used.
    void update(float dt);
    void render();

    int active = 0;
    std::vector<Card> cards;
};
