// CardLayer: not drawn yet; it keeps the shape every scene shares.
#pragma once

class CardLayer {
public:
    void init() {}
    void update(float) {}
    void render() {}

    int active = 0;
};
