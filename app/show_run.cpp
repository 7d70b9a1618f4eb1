// ShowRun: the one start-up and teardown of a run.
#include "app/show_run.h"

#include <cstdio>

#include "app/shell.h"
#include "app/shell_state.h"
#include "assets/embedded.h"
#include "platform/window.h"
#include "timeline/demo.h"

void ShowRun::fail(const char* reason) const { std::fprintf(stderr, "veldrin: %s\n", reason); }

FixedStepClock& ShowRun::steps() {
    if (desc_.timing == RunTiming::Live) return live().steps();
    return *static_cast<FixedStepClock*>(clock_.get());
}

bool ShowRun::start(const ShowRunDesc& desc) {
    stop();
    desc_ = desc;
    windowWidth = 800.0f;
    windowHeight = 600.0f;
    // Decoding the images needs no GL: it goes on while the surface is made.
    startImageDecoding();

    if (desc.surface == RunSurface::MainWindow) {
        if (!windowSystemStart()) {
            showErrorBox("RegisterClassEx Failed!", "Error");
            showErrorBox("Error Registering Window Class!", "Error");
            return false;
        }
        const int created = createMainWindow();
        if (created != 1) {
            if (created == 0) showErrorBox("Error Creating OpenGL Window", "Error");
            windowSystemStop();
            return false;
        }
        surface_ = Surface::MainWindow;
    } else {
        fullscreen = 0;
        WindowDesc window;
        window.title = desc.title;
        window.hidden = desc.surface == RunSurface::Offscreen;
        // The hidden window only carries the context; the framebuffer is what is drawn into.
        window.width = window.hidden ? 64 : desc.viewportWidth;
        window.height = window.hidden ? 64 : desc.viewportHeight;
        if (!windowCreate(window).created) {
            fail("cannot create an OpenGL context");
            return false;
        }
        surface_ = Surface::Window;
        // Like a window of that size: the view keeps its 45 degrees, the 800 × 600 overlay
        // stretches over it.
        setViewport(desc.viewportWidth, desc.viewportHeight);
    }

    contextMadeNs_ = steadyNowNs();

    switch (desc.timing) {
        case RunTiming::Live: clock_ = std::make_unique<CatchUpClock>(desc.fps); break;
        case RunTiming::FixedStep:
            // An unlimited rate still steps the music at 60 frames a second.
            clock_ = desc.fps.num == 0 ? std::make_unique<FixedStepClock>(60)
                                       : std::make_unique<FixedStepClock>(desc.fps.num, desc.fps.den);
            break;
        case RunTiming::Steady: clock_ = std::make_unique<SteadyClock>(); break;
    }
    const EmbeddedAsset* track = desc.music ? findEmbeddedAsset("music.mp3") : nullptr;
    if (desc.music) audio_ = createAudioOutput(desc.audio, *clock_);
    demo.attach(clock_.get(), audio_.get(), track != nullptr ? track->data : nullptr,
                track != nullptr ? track->size : 0);
    startUp();
    if (desc.music && demo.music.stream == 0) {
        fail("the embedded music track cannot be decoded");
        stop();
        return false;
    }
    return true;
}

void ShowRun::stop() {
    if (surface_ == Surface::None && !clock_) return;
    // The window and the display mode first, then the window system, then the music: what the
    // viewer sees goes as soon as the show ends.
    if (surface_ == Surface::MainWindow) {
        destroyMainWindow();
        windowSystemStop();
    } else if (surface_ == Surface::Window) {
        windowDestroy();
    }
    surface_ = Surface::None;
    // The demo outlives the run (it is destroyed at exit): it must not keep pointers to the
    // clock and the output once they are gone.
    demo.music.free();
    demo.attach(nullptr, nullptr, nullptr, 0);
    audio_.reset();
    clock_.reset();
}
