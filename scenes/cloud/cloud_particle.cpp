// CloudParticle: the life cycle of one cloud sprite, counted in frames.
#include "scenes/cloud/cloud_particle.h"

#include "gfx/random.h"
#include "gfx/sine_table.h"

namespace {
// One colour channel's step for its fade mode. The test against 0 and 1 is made before the
// step, so a channel may end slightly past either bound; with the cloud's lives it never does.
float fadeChannel(float value, int mode, float step) {
    if (mode == kFadeDown) {
        if (value >= 0.0f) value -= step;
    } else if (mode == kFadeBrighten) {
        if (value < 1.0f) value += step;
    }
    return value;
}
}  // namespace

void CloudParticle::init(Vec3 p, float w, float h, float r, float g, float b, float a, int baseLife) {
    // The puffs always pass 350 to 450; anything below one frame would divide by zero.
    const int lifeFrames = baseLife < 1 ? 1 : baseLife;
    const float l = float(lifeFrames);

    live.drift = p;
    offset = p;
    targetSize = {w, h};
    live.sizeStep = {w * 0.5f / l, h * 0.5f / l};
    live.startSize = live.sizeStep;
    live.quad.anchorMode = 1;
    live.quad.place(p, live.startSize.w, live.startSize.h);

    // 40 % to 70 % of the base life; the same in every life, since the snapshot is restored.
    const double draw = lcgRand();
    const double ld = lifeFrames;
    live.life = int(ld + (draw * ld * 9.155552842799158e-06 - ld * 0.6));

    live.colour = {r, g, b, a};
    live.colourStep = {r / l, g / l, b / l, a / l};
    live.speed = float(double(lcgRand() * 8 / 32767) * 0.005);

    // Drawn z first, then y, then x.
    live.direction.z = float(lcgRand() * 3.051850947599719e-05);
    live.direction.y = float(lcgRand() * 3.051850947599719e-05);
    live.direction.x = float(lcgRand() * 3.051850947599719e-05);
    live.driftScale = float(lcgRand() * 1.5259254737998596e-05 + 0.1);
    live.displacement = Vec3();

    spawn = live;
}

void CloudParticle::update(float dt) {
    if (live.life <= 0) {
        // The respawn spends one number of the shared sequence without using it; every later
        // layout of the show depends on the sequence staying in step.
        (void)lcgRand();
        live = spawn;
        return;
    }

    // A NaN step fails the test and does not roll; sineIndex keeps huge angles defined.
    const float a = dt + 360.0f > 0.0f ? dt : 0.0f;
    const int i = sineIndex(a);
    const float sinA = SineTable[i];
    const float cosA = SineTable[i + 64];
    const float k = live.driftScale;
    const Vec3 d = live.direction;
    // The components are mixed on purpose (the drift swirls instead of following the direction):
    // at rest (sinA = 0) this is (k·dz, k·dz, k·dy).
    live.drift = Vec3(cosA * k * d.z + sinA * k * d.y,
                      cosA * k * d.z + sinA * k * d.x,
                      cosA * k * d.y + sinA * k * d.x);
    live.displacement = Vec3::add(live.displacement, Vec3::scale(d, live.speed));
    offset = Vec3::add(live.drift, live.displacement);

    Quad& q = live.quad;
    if (live.sizeMode[0] == kSizeGrow && targetSize.w > q.width) q.width += live.sizeStep.w;
    if (live.sizeMode[1] == kSizeGrow && targetSize.h > q.height) q.height += live.sizeStep.h;
    if (live.sizeMode[0] == kSizeShrink && q.width > 0.0f) q.width -= live.sizeStep.w;
    if (live.sizeMode[1] == kSizeShrink && q.height > 0.0f) q.height -= live.sizeStep.h;

    q.setOffset(offset);
    q.orient(billboard);
    q.rollAboutView(a);
    q.updateCorners();

    live.life -= 1;

    Colour4& c = live.colour;
    c.r = fadeChannel(c.r, live.fadeMode[kFadeSlotRed], live.colourStep.r);
    c.g = fadeChannel(c.g, live.fadeMode[kFadeSlotGreen], live.colourStep.g);
    c.b = fadeChannel(c.b, live.fadeMode[kFadeSlotBlue], live.colourStep.b);
    c.a = fadeChannel(c.a, live.fadeMode[kFadeSlotAlpha], live.colourStep.a);
    q.setColor(c.r, c.g, c.b, c.a);
}

void CloudParticle::render() const {
    if (live.life > 0) live.quad.draw();
}
