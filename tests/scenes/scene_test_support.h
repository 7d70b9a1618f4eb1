// What the scene tests share: moving a harness ahead without a stalled frame, and drawing
// frames to look at.
#pragma once

#include <vector>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "platform/gl.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

// Jumps a harness running at fps frames a second to a music time; the next frame is an
// ordinary one. The scenes before that time are not what these tests are about.
inline void skipTo(DemoHarness& h, std::uint32_t fps, double seconds) {
    if (demo.started == 0) h.step();
    h.clock.setFrame(std::uint64_t(seconds * fps));
    demo.previousTick = h.clock.ticks();
}

// How many numbers the generator has drawn since it stood at `from`.
inline int drawsSince(std::uint32_t from) {
    const std::uint32_t now = lcgState;
    lcgState = from;
    int n = 0;
    for (; lcgState != now && n < 1000000; ++n) lcgRand();
    return n;
}

class ScenePixelTest : public GlTest {
protected:
    // Runs (without drawing) to just before t and draws the frame that passes it.
    std::vector<Rgb> frameAt(double seconds) {
        skipTo(harness, 60, seconds - 1.0);
        harness.runUntil(seconds - 0.02);
        harness.step(true);
        return pixels();
    }

    // Where a world point lands on screen (y from the top) through the demo's camera; false
    // when it is off screen.
    bool project(const Vec3& w, int& x, int& y) const {
        GLdouble model[16], proj[16];
        GLint view[4];
        glMatrixMode(GL_MODELVIEW);
        glPushMatrix();
        glLoadIdentity();
        demo.camera.apply();
        glGetDoublev(GL_MODELVIEW_MATRIX, model);
        glPopMatrix();
        glGetDoublev(GL_PROJECTION_MATRIX, proj);
        glGetIntegerv(GL_VIEWPORT, view);
        GLdouble wx = 0, wy = 0, wz = 0;
        if (gluProject(w.x, w.y, w.z, model, proj, view, &wx, &wy, &wz) != GL_TRUE) return false;
        x = int(wx);
        y = gl_->height() - 1 - int(wy);
        return wz > 0.0 && wz < 1.0 && x >= 0 && y >= 0 && x < gl_->width() && y < gl_->height();
    }

    template <class Wanted>
    static int count(const std::vector<Rgb>& p, Wanted wanted) {
        int n = 0;
        for (const Rgb& c : p) n += wanted(c) ? 1 : 0;
        return n;
    }

    void SetUp() override {
        GlTest::SetUp();
        harness.scenesOnly = true;
    }

    DemoHarness harness{60};
};
