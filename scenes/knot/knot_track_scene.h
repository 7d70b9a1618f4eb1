// KnotTrackScene: not drawn yet; it keeps the shape every scene shares.
#pragma once

#include <vector>

class TrackBox {
public:
    void restoreRest() {}
};

class KnotTrackScene {
public:
    void init() {}
    void update(float) {}
    void render() {}

    int active = 0;
    std::vector<TrackBox> inner;
    std::vector<TrackBox> outer;
    int mode = 0;
};
