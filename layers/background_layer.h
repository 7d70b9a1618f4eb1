// BackgroundLayer: not drawn yet; it keeps the shape every scene shares.
#pragma once

class BackgroundLayer {
public:
    void init() {}
    void update(float) {}
    void render() {}

    int active = 0;
};
