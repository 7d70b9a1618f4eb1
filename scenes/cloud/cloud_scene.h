// CloudScene: not drawn yet; it keeps the shape every scene shares.
#pragma once

class CloudScene {
public:
    void init() {}
    void update(float) {}
    void render() {}

    int active = 0;
    int subMode = 0;
};
