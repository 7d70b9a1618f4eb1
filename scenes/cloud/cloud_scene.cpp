// CloudScene and CloudEmitter: the puffs, their random layout and the green sub-mode.
#include "scenes/cloud/cloud_scene.h"

#include "gfx/random.h"
#include "gfx/render_state.h"
#include "platform/gl.h"
#include "timeline/demo.h"

void CloudEmitter::init(Vec3 centre, int life, unsigned count) {
    position = centre;
    baseLife = life;
    particleSize = {15.0f, 15.0f};
    colour = {1.0f, 1.0f, 1.0f, 1.0f};
    particles.resize(count);
    for (CloudParticle& p : particles) {
        CloudParticleState& s = p.live;
        for (int& mode : s.fadeMode) mode = kFadeDown;
        s.sizeMode[0] = kSizeGrow;
        s.sizeMode[1] = kSizeGrow;
        // Only a draw of 32767 moves a particle off the centre; the draws still keep the
        // shared sequence in step.
        const int jz = lcgRand() / 32767;
        const int jy = lcgRand() / 32767;
        const int jx = lcgRand() / 32767;
        const Vec3 at = Vec3::add(position, Vec3(float(jx), float(jy), float(jz)));
        p.init(at, particleSize.w, particleSize.h, colour.r, colour.g, colour.b, colour.a, baseLife);
    }
    holdGreen = 0;
}

void CloudEmitter::update(float dt) {
    // Only the snapshot learns the green mode, so a particle shows it from its next respawn on.
    for (CloudParticle& p : particles) {
        p.update(dt);
        p.spawn.fadeMode[kFadeSlotGreen] = holdGreen != 0 ? kFadeHold : kFadeDown;
    }
}

void CloudEmitter::render() const {
    for (const CloudParticle& p : particles) p.render();
}

void CloudScene::init() {
    emitters.resize(kEmitters);
    for (CloudEmitter& e : emitters) {
        // Drawn z, y, x, then the life; products are formed before the division.
        const int z = lcgRand() * 18 / 32767 - 9;
        const int y = lcgRand() * 18 / 32767 - 9;
        const int x = lcgRand() * 18 / 32767 - 9;
        const int life = lcgRand() * 100 / 32767 + 350;
        e.init(Vec3(float(x), float(y), float(z)), life, kParticlesPerEmitter);
    }
}

void CloudScene::update(float dt) {
    // The emitter reads holdGreen before this frame's value is written: the sub-mode reaches
    // the snapshots one frame late, and the screen at the following respawn.
    for (CloudEmitter& e : emitters) {
        e.update(dt);
        e.holdGreen = subMode != 0 ? 1 : 0;
    }
}

void CloudScene::render() {
    glDisable(GL_LIGHTING);
    // GL_DST_ALPHA reads 1 without alpha bits: the sprites add onto the picture by their alpha.
    enableBlending(GL_SRC_ALPHA, GL_DST_ALPHA);
    demo.textures.bind("cloud");
    for (const CloudEmitter& e : emitters) e.render();
    demo.textures.unbind();
    disableBlending();
}
