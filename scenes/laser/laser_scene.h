// LaserScene: thirty orange bolts (LaserEmitter), ten on each of three closed curves around one
// centre, creeping along them very slowly and crackling with new kinks every frame. While one
// spectrum level is quiet the bolts hold their shape (from the next frame on) but still show.
#pragma once

#include <vector>

#include "scenes/knot/knot_path.h"
#include "scenes/laser/laser_emitter.h"

class LaserScene {
public:
    // The emitters, their random start positions and the three curves.
    void init();
    void update(float dt);
    // Drawn around a centre taken from the camera's eye (x and z exchanged, both halved).
    void render();

    int active = 0;
    std::vector<LaserEmitter> emitters0;
    std::vector<LaserEmitter> emitters1;
    std::vector<LaserEmitter> emitters2;
    std::vector<float> pathPos0;
    std::vector<float> pathPos1;
    std::vector<float> pathPos2;
    int quiet = 0;
    int pathSteps = 0;
    KnotPath path0;
    KnotPath path1;
    KnotPath path2;
    float bandLevel = 0.0f;
};
