// CloudParticle: one soft sprite of a cloud puff. It faces the camera, drifts away from the
// puff's centre, grows and fades for a fixed number of frames, then restores the exact state it
// was created with, so every life replays the same path. Only the green fade mode of that
// snapshot may change between lives (the emitter rewrites it for the green sub-mode).
#pragma once

#include "gfx/quad.h"
#include "gfx/vec3.h"

// Fade modes of one colour channel.
enum : int {
    kFadeBrighten = 0,
    kFadeDown = 1,
    kFadeHold = 2,  // any value other than 0 and 1 holds as well
};

// Slots of CloudParticleState::fadeMode. The modes are kept red, blue, green, alpha, unlike the
// colour and its steps (red, green, blue, alpha): whoever sets a mode by channel must use these.
enum : int {
    kFadeSlotRed = 0,
    kFadeSlotBlue = 1,
    kFadeSlotGreen = 2,
    kFadeSlotAlpha = 3,
};

// Size modes of one side.
enum : int {
    kSizeGrow = 0,
    kSizeShrink = 1,
};

struct Size2 {
    float w = 1.0f;
    float h = 1.0f;
};

class CloudParticleState {
public:
    CloudParticleState() = default;
    virtual ~CloudParticleState() = default;
    CloudParticleState(const CloudParticleState&) = default;
    CloudParticleState& operator=(const CloudParticleState&) = default;

    Quad quad;
    // The spawn point until the first update (only carried into the snapshot); the drift vector
    // from then on, recomputed every frame.
    Vec3 drift;
    Size2 startSize;
    int life = 0;       // frames left in this life
    float speed = 0.0f; // along direction, per frame
    Vec3 direction;     // each component in [0, 1]
    Colour4 colour;     // red, green, blue, alpha
    Vec3 displacement;  // direction × speed summed over this life
    int fadeMode[4] = {kFadeHold, kFadeHold, kFadeHold, kFadeHold};  // red, blue, green, alpha
    int sizeMode[2] = {2, 2};  // width, height; 2 neither grows nor shrinks
    Colour4 colourStep;                                              // red, green, blue, alpha
    Size2 sizeStep;
    float driftScale = 0.0f;  // k
};

class CloudParticle {
public:
    CloudParticle() = default;
    virtual ~CloudParticle() = default;
    CloudParticle(const CloudParticle&) = default;
    CloudParticle& operator=(const CloudParticle&) = default;

    // Spawn point p, target size w × h, spawn colour, base life L in frames. The fade and size
    // modes must already be set in live: they are part of the snapshot taken here.
    // Draws six numbers from the shared random sequence.
    void init(Vec3 p, float w, float h, float r, float g, float b, float a, int baseLife);
    // One frame. dt only rolls the sprite; everything else is counted in frames.
    void update(float dt);
    // Draws the quad while the life lasts; the caller binds the texture and sets blending.
    void render() const;

    Size2 targetSize;
    int billboard = 1;
    Vec3 offset;
    CloudParticleState live;
    CloudParticleState spawn;
};
