// DemoHarness: the shell's frame loop without a window.
#include "tests/support/demo_harness.h"

#include "app/shell_state.h"
#include "gfx/random.h"
#include "gfx/sine_table.h"
#include "platform/gl.h"
#include "timeline/demo.h"

DemoHarness::DemoHarness(std::uint32_t fpsNum, std::uint32_t fpsDen, std::uint32_t base)
    : clock(fpsNum, fpsDen, base), fps_(double(fpsNum) / double(fpsDen)) {}

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

void DemoHarness::skipTo(double seconds) {
    if (demo.started == 0) step();
    clock.setFrame(std::uint64_t(seconds * fps_));
    demo.previousTick = clock.ticks();
}

void DemoHarness::setSpectrum(float level, std::vector<std::pair<int, float>> bins) {
    audio.spectrumFails = false;
    audio.bins.fill(level);
    for (const auto& [bin, value] : bins) audio.bins[std::size_t(bin)] = value;
}

void DemoHarness::varySpectrum(std::uint64_t n, bool mostlyQuiet) {
    static const float kLevels[] = {0.0f, 0.005f, 0.01f, 0.0101f, 0.1f, 0.1001f, 0.5f, 2.0f, 0.05f, 0.3f, 0.02f};
    std::uint64_t phase = n / 5;
    const bool quiet = mostlyQuiet && phase % 8 != 0;
    if (mostlyQuiet) phase /= 8;
    audio.bins.fill(quiet ? 0.005f : kLevels[phase % (sizeof kLevels / sizeof kLevels[0])]);
    audio.spectrumFails = !quiet && phase % 13 == 12;
}
