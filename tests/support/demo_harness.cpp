// DemoHarness: the shell's frame loop without a window.
#include "tests/support/demo_harness.h"

#include "app/shell_state.h"
#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "platform/gl.h"
#include "timeline/demo.h"

DemoHarness::DemoHarness(std::uint32_t fpsNum, std::uint32_t fpsDen, std::uint32_t base)
    : clock(fpsNum, fpsDen, base) {}

DemoHarness::~DemoHarness() { demo.attach(nullptr, nullptr, nullptr, 0); }

void DemoHarness::init() {
    // A fresh run, even when several tests share one process.
    restorePending = 1;
    lcgState = 1;
    windowWidth = 800.0f;
    windowHeight = 600.0f;
    buildSineTable();
    static const unsigned char kNoTrack[1] = {0};
    demo.attach(&clock, &audio, kNoTrack, sizeof kNoTrack);
    demo.init();
}

int DemoHarness::step(bool draw) {
    clock.advance();
    if (draw) {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        glLoadIdentity();
        glEnable(GL_DEPTH_TEST);
    }
    const int going = demo.update();
    if (scenesOnly) {
        demo.background.active = 0;
        demo.cards.active = 0;
    }
    for (int* active : hidden) *active = 0;
    if (going != 0 && draw) {
        demo.render();
        glDisable(GL_LIGHTING);
    }
    return going;
}

void DemoHarness::runUntil(double seconds, bool draw) {
    while (double(demo.musicTime) <= seconds) {
        if (step(draw) == 0) return;
    }
}
