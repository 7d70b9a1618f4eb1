// The knot track scene.
#include "scenes/knot/knot_track_scene.h"

#include "gfx/random.h"
#include "platform/gl.h"
#include "timeline/demo.h"

namespace {
constexpr std::size_t kPairs = 20;

// Spectrum levels are compared in single precision: a level of exactly 0.1f is not "above
// 0.1", whatever the double nearest 0.1 says.
constexpr float kRedBass = 0.1f;
constexpr float kSparkleTreble = 0.001f;
}  // namespace

void KnotTrackScene::init() {
    trackSteps = 800;
    track.init(10.0f, 800, 0);
    inner.resize(kPairs);
    outer.resize(kPairs);
    trackPos.resize(kPairs, 0.0f);

    for (std::size_t i = 0; i < kPairs; ++i) {
        inner[i].mesh.init({0.0f, 0.0f, 0.0f}, {0.5f, 0.5f, 0.5f});
        outer[i].mesh.init({0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f});
        inner[i].saveRest();
        outer[i].saveRest();
        outer[i].buildOrbits(1.0f);
    }

    demo.camera.placeLookingAtOrigin({15.09f, 1.3f, 4.28f});

    light.setSpecular(0.95f, 0.95f, 0.95f, 1.0f);
    light.setDiffuse(0.65f, 0.65f, 0.65f, 1.0f);
    light.setAmbient(0.5f, 0.5f, 0.5f, 1.0f);
    light.setPosition(0.5f, 0.5f, 0.5f, 0.0f);
    light.setId(GL_LIGHT0);

    for (float& pos : trackPos) pos = float(lcgRand() * trackSteps / 32767);

    mode = 0;
    sparkle = 0;
}

void KnotTrackScene::update(float dt) {
    // In mode 4 the levels stay frozen at their last mode-0 values.
    if (mode == 0) {
        bass = demo.music.band(150);
        treble = demo.music.band(5000);
    }
    sparkle = treble > kSparkleTreble ? 1 : 0;

    const float spin = dt * 10.0f;
    const std::size_t pointCount = track.points.size();

    for (std::size_t i = 0; i < inner.size() && i < outer.size() && i < trackPos.size(); ++i) {
        float& pos = trackPos[i];
        if (pathIndex(pos) < trackSteps) {
            pos += dt;
        } else {
            pos = 0.0f;
        }
        // A stalled frame (a second or more, dt >= 10) can carry a position past the last
        // point; it starts the loop over instead, as reaching the end does anyway.
        if (std::size_t(pathIndex(pos)) >= pointCount) pos = 0.0f;
        if (pointCount == 0) continue;

        const Vec3 p = track.points[std::size_t(pathIndex(pos))];
        inner[i].mesh.place(p);
        outer[i].mesh.place(p);

        if (mode == 0) {
            if (sparkle == 1) outer[i].followOrbits();
            inner[i].mesh.rotate(-spin, {1.0f, 0.0f, 0.0f});
            outer[i].mesh.rotate(spin, {0.0f, 1.0f, 0.0f});
        }
        if (mode == 4) {
            inner[i].pulse();
            outer[i].mesh.rotate(spin, {1.0f, 0.0f, 0.0f});
        }
    }
}

void KnotTrackScene::render() {
    Colour4 innerColour{0.75f, 0.75f, 0.75f, 1.0f};
    if (bass > kRedBass) innerColour = {0.617f, 0.0f, 0.0f, 1.0f};

    light.enable();
    for (std::size_t i = 0; i < inner.size() && i < outer.size(); ++i) {
        inner[i].mesh.colour = innerColour;
        inner[i].mesh.draw();

        if (mode == 0 && sparkle == 1) {
            outer[i].mesh.colour = {0.9f, 0.9f, 0.0f, 1.0f};
            outer[i].mesh.drawCorners(4.0f);
        }
        if (mode == 4) {
            enableBlending(GL_SRC_ALPHA, GL_DST_ALPHA);
            outer[i].mesh.colour = {1.0f, 0.2f, 0.0f, 0.4f};
            outer[i].mesh.draw();
            disableBlending();
        }
    }
    light.disable();
}
