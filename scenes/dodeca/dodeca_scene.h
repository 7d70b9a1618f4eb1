// DodecaScene: a cluster of twenty small pale-green dodecahedra, one at the centre and nineteen
// on 2.5 times the central one's vertices, each inside a slightly larger wireframe shell. Every
// vertex pulses with a randomised period; the shells turn red while the music's band is loud,
// and in the wire-only stretches only the shells are drawn, with thicker lines.
#pragma once

#include <vector>

#include "gfx/render_state.h"
#include "scenes/dodeca/mesh.h"

class DodecaScene {
public:
    static constexpr unsigned kElements = 20;

    // Builds the cluster and sets the light. Draws nothing from the random sequence.
    void init();
    // One pulse frame for every mesh (dt is not read); draws 40 numbers, solid then shell.
    void update(float dt);
    // The cluster around (8, -2, -1) of the current model-view space.
    void render();

    int active = 0;
    std::vector<PulsingDodecahedron> solids;
    std::vector<PulsingDodecahedron> shells;  // shells[j] surrounds solids[j]
    Light light;
    int wireOnly = 0;
};
