// Drives the one global demo from a fixed-step clock and a fake audio output, the way the
// shell would, so tests can step it frame by frame to any music time with a spectrum they set.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "tests/support/fake_audio.h"

class DemoHarness {
public:
    // fps as num/den; base is the clock's first tick (to test the 32-bit wrap).
    explicit DemoHarness(std::uint32_t fpsNum = 60, std::uint32_t fpsDen = 1, std::uint32_t base = 0);
    // The demo outlives the harness: it forgets the clock and the output again.
    ~DemoHarness();
    DemoHarness(const DemoHarness&) = delete;
    DemoHarness& operator=(const DemoHarness&) = delete;

    // Starts a fresh run (random sequence and one-shot restore back at their start), sets the
    // shell's window size globals, builds the sine table and initialises the demo (no textures:
    // the tests that draw use GlContext as well).
    void init();
    // One frame: the clock moves one step, then Demo::update (and render when draw is true,
    // which needs a current GL context). Returns Demo::update's result.
    int step(bool draw = false);
    // Steps until the demo's music time exceeds t (or the demo ends).
    void runUntil(double seconds, bool draw = false);
    // Jumps to a music time without running the frames before it (the scenes there are not
    // what the test is about); the next step is an ordinary frame.
    void skipTo(double seconds);
    // Every bin at one level, or all silent but a few.
    void setSpectrum(float level, std::vector<std::pair<int, float>> bins = {});
    // The level for frame n: silence, both sides of every scene's threshold (0.01 laser, 0.1 knot
    // and shells), loud, and now and then a failed read. Mostly quiet holds the bolts still in
    // seven of every eight stretches (a crackling bolt is the dearest thing to update).
    void varySpectrum(std::uint64_t n, bool mostlyQuiet = false);

    FixedStepClock clock;
    FakeAudioOutput audio;
    // Layers switched off after each update (their active flags), to see one scene alone on black.
    std::vector<int*> hidden;

private:
    double fps_;
};
