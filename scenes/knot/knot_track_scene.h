// KnotTrackScene: twenty pairs of boxes riding a large closed knot. Until 75 s (mode 0) the
// inner boxes tumble about x and turn red on a strong low band, the outer boxes tumble about y
// and, while the high band has any energy, fly their corners along small orbits drawn as
// yellow points. From 75 s (mode 4, set by the sequencer, which also restores the rest pose
// once) the inner boxes pulse and the outer ones tumble about x as translucent orange solids.
#pragma once

#include <vector>

#include "gfx/render_state.h"
#include "scenes/knot/knot_path.h"
#include "scenes/knot/track_box.h"

class KnotTrackScene {
public:
    // Builds the track and the boxes (the outer boxes' orbits and the start positions draw
    // random numbers), and places the demo's camera once and for all.
    void init();
    void update(float dt);
    void render();

    int active = 0;
    KnotPath track;
    int trackSteps = 0;
    std::vector<TrackBox> inner;
    std::vector<TrackBox> outer;
    int mode = 0;
    std::vector<float> trackPos;
    Light light;
    float bass = 0.0f;
    float treble = 0.0f;
    int sparkle = 0;
};
