// CloudScene: five loose puffs of camera-facing cloud sprites. Each puff (CloudEmitter) sits on
// a random point of the integer lattice -9..9 and owns eight particles that drift, grow, fade
// and respawn at its centre. While the sequencer's sub-mode is on, particles that respawn keep
// their green at full strength, so the puffs turn greenish.
#pragma once

#include <vector>

#include "gfx/vec3.h"
#include "scenes/cloud/cloud_particle.h"

class CloudEmitter {
public:
    CloudEmitter() = default;
    virtual ~CloudEmitter() = default;
    CloudEmitter(const CloudEmitter&) = default;
    CloudEmitter& operator=(const CloudEmitter&) = default;

    // count particles at the centre (give or take a jitter draw of 32767), each with base life
    // L. Draws 3 + 6 numbers per particle from the shared random sequence.
    void init(Vec3 centre, int baseLife, unsigned count);
    void update(float dt);
    void render() const;

    std::vector<CloudParticle> particles;
    int baseLife = 0;
    Vec3 position;
    Size2 particleSize;
    Colour4 colour;
    int holdGreen = 0;
};

class CloudScene {
public:
    static constexpr unsigned kEmitters = 5;
    static constexpr unsigned kParticlesPerEmitter = 8;

    // Builds the five puffs. Draws first of all scenes from the shared random sequence.
    void init();
    // One frame for every particle; subMode must be set before.
    void update(float dt);
    // Every live particle, blended, textured with "cloud".
    void render();

    int active = 0;
    std::vector<CloudEmitter> emitters;
    int subMode = 0;
};
