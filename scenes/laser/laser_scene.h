// LaserScene: not drawn yet; it keeps the shape every scene shares.
#pragma once

class LaserScene {
public:
    void init() {}
    void update(float) {}
    void render() {}

    int active = 0;
};
