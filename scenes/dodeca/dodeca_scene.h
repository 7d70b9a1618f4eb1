// DodecaScene: not drawn yet; it keeps the shape every scene shares.
#pragma once

class DodecaScene {
public:
    void init() {}
    void update(float) {}
    void render() {}

    int active = 0;
    int wireOnly = 0;
};
