// Demo: the sequencer. The windows below are the score of the whole show: every bound is
// exclusive, so a frame exactly on a bound belongs to neither side.
#include "timeline/demo.h"

#include "platform/clock.h"
#include "platform/debug_print.h"
#include "platform/gl.h"

Demo demo;
int restorePending = 1;

namespace {
// Compared in single precision, like the music time itself, so that a time that lands exactly
// on a bound (58366 ms gives the float nearest 58.366) is outside, as every bound promises.
bool inside(float t, float lower, float upper) { return t > lower && t < upper; }
}  // namespace

void Demo::attach(Clock* clock, AudioOutput* output, const unsigned char* track, std::size_t trackSize) {
    clock_ = clock;
    music.attach(output, clock, track, trackSize);
}

int Demo::init() {
    // The scenes draw from the shared random sequence in this order; every layout depends on it.
    cloud.init();
    knot.init();
    laser.init();
    dodeca.init();
    cards.init();
    background.init();

    dt = 0.0f;
    previousTick = clock_ != nullptr ? clock_->stepTicks() : 0;
    musicTime = 0.0f;

    music.init();
    music.create();
    const int result = music.start();
    started = 0;
    return result;
}

int Demo::update() {
    if (started == 0) {
        music.play();
        started = 1;
    }

    const std::uint32_t now = clock_ != nullptr ? clock_->stepTicks() : previousTick;
    dt = float(double(std::uint32_t(now - previousTick)) * 0.01);
    previousTick = now;

    musicTime = float(music.elapsedMs() * 0.001);
    debugPrint("%08.4f", double(musicTime));

    camera.apply();

    const float t = musicTime;

    if (inside(t, 58.366f, 115.669f)) {
        knot.active = 1;
        knot.update(dt);
        if (t > 75.0f) {
            knot.mode = 4;
            if (restorePending == 1) {
                for (std::size_t i = 0; i < knot.inner.size(); ++i) {
                    knot.inner[i].restoreRest();
                    knot.outer[i].restoreRest();
                }
                restorePending = 0;
            }
        } else {
            knot.mode = 0;
        }
    } else {
        knot.active = 0;
    }

    if (inside(t, 104.9f, 151.492f)) {
        laser.active = 1;
        laser.update(dt);
    } else {
        laser.active = 0;
    }

    if (inside(t, 15.37f, 95.37f) || inside(t, 160.0f, 187.0f)) {
        cloud.active = 1;
        cloud.subMode = inside(t, 45.0f, 65.0f) || inside(t, 165.0f, 187.0f) ? 1 : 0;
        cloud.update(dt);
    } else {
        cloud.active = 0;
    }

    if (inside(t, 140.745f, 187.0f)) {
        dodeca.active = 1;
        dodeca.wireOnly = inside(t, 150.0f, 160.0f) || t > 180.0f ? 1 : 0;
        dodeca.update(dt);
    } else {
        dodeca.active = 0;
    }

    if (inside(t, 0.0f, 187.0f)) {
        cards.active = 1;
        cards.update(dt);
    } else {
        cards.active = 0;
    }

    if (inside(t, 29.708f, 187.0f)) {
        background.active = 1;
        background.update(dt);
    } else {
        background.active = 0;
    }

    if (music.isActive() != 0) return 1;
    music.free();
    return 0;
}

void Demo::render() {
    if (background.active == 1) background.render();
    if (knot.active == 1) knot.render();
    if (laser.active == 1) laser.render();
    if (cloud.active == 1) cloud.render();
    if (dodeca.active == 1) dodeca.render();
    if (cards.active == 1) cards.render();
}
