// How a run of the show is made and unmade, in one place for every way it runs: the window or
// the page, the capture, the benchmark's stages and the tests that draw.
//
// A run is described by one small struct and started by one call:
//
//     ShowRunDesc desc;                  // a live show in the main window, with sound
//     desc.fps = options.fps;
//     ShowRun run;
//     if (!run.start(desc)) ...      // the reason already told
//     ... draw frames with drawFrame(), read run.steps() for a catch-up ...
//     run.stop();                        // or let the destructor do it
//
// start() goes through the same steps for every run, in the order the GL and the demo need:
// the 800 × 600 screen space, the surface and its context, the viewport, the clock, the audio
// output over that clock, the demo attached to both and the track, startUp (fixed GL state,
// textures, sine table, the demo's scenes) and the check that the track can be played.
// stop() undoes them: the window first (what the viewer sees goes as soon as the show ends),
// then the music; the demo forgets the clock and the output before they go.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "app/catch_up.h"
#include "app/options.h"
#include "platform/clock.h"
#include "sound/audio_output.h"

enum class RunSurface {
    MainWindow,  // the show's window: the display mode switch when asked, its boxes on failure
    Offscreen,   // a hidden context; the caller binds a framebuffer of the viewport's size
                 // (OffscreenTarget, made after start and gone before stop)
    Canvas,      // a plain visible surface of the viewport's size (the page's canvas)
};

enum class RunTiming {
    Live,       // the shell's clock: fixed steps for a catch-up to --start, then real time
    FixedStep,  // frame n at floor(n × 1000 / fps) ms, stepped by the caller
    Steady,     // real time from the start, no music (what the reference scene needs)
};

struct ShowRunDesc {
    const char* title = "veldrin";
    RunSurface surface = RunSurface::MainWindow;
    // The drawable size the viewport is set for; the main window's is the window's own.
    int viewportWidth = 800;
    int viewportHeight = 600;
    RunTiming timing = RunTiming::Live;
    FrameRate fps;
    AudioMode audio = AudioMode::Device;
    // False: textures and scenes only, no track and no audio output.
    bool music = true;
};

class ShowRun {
public:
    ShowRun() = default;
    ~ShowRun() { stop(); }
    ShowRun(const ShowRun&) = delete;
    ShowRun& operator=(const ShowRun&) = delete;

    // False when the run cannot be made; the reason is on stderr (and in an error box for the
    // main window) and nothing is left behind.
    bool start(const ShowRunDesc& desc);
    void stop();
    bool started() const { return surface_ != Surface::None; }

    Clock& clock() { return *clock_; }
    // The clock's fixed steps: a catch-up runs on these (Live and FixedStep timing).
    FixedStepClock& steps();
    // The live clock (Live timing only).
    CatchUpClock& live() { return *static_cast<CatchUpClock*>(clock_.get()); }
    AudioOutput* audio() { return audio_.get(); }
    // When the surface's context was made, on the steady clock (the page's load report).
    std::int64_t contextMadeNs() const { return contextMadeNs_; }

private:
    enum class Surface { None, Window, MainWindow };

    void fail(const char* reason) const;

    ShowRunDesc desc_;
    Surface surface_ = Surface::None;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<AudioOutput> audio_;
    std::int64_t contextMadeNs_ = -1;
};
