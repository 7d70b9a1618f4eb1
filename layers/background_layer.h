// BackgroundLayer: the "bg01" picture stretched over the whole window, drawn first in every
// frame in which it is active and without depth, so everything drawn later lies over it.
#pragma once

#include "gfx/quad.h"
#include "layers/screen_item.h"

class BackgroundSprite : public ScreenItem {
public:
    Quad quad;
};

class BackgroundLayer {
public:
    // Lays the quad over the window size read now; it never changes afterwards.
    void init();
    void update(float dt);  // the picture does not move
    void render();

    int active = 0;
    BackgroundSprite sprite;
};
