// The figures measured inside a child process: the demo drawn into an offscreen 800 × 600
// framebuffer through the busiest stretch, the plain reference scene with the same load, and
// Demo::update alone over the whole show.
#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "app/catch_up.h"
#include "app/offscreen.h"
#include "app/shell.h"
#include "app/show_run.h"
#include "bench/bench.h"
#include "platform/clock.h"
#include "platform/gl.h"
#include "timeline/demo.h"

namespace {

constexpr int kReferenceFrames = 600;

std::int64_t threadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// A hidden context drawing into an 800 × 600 framebuffer, the demo started as a capture starts
// it: fixed 60 fps steps, the spectrum at each frame's own music time.
struct Stage {
    ShowRun run;
    OffscreenTarget target;  // made after the run, gone before it
    bool ok = false;

    Stage() {
        ShowRunDesc desc;
        desc.title = "veldrin bench";
        desc.surface = RunSurface::Offscreen;
        desc.timing = RunTiming::FixedStep;
        desc.audio = AudioMode::Offline;
        std::string error;
        ok = run.start(desc) && target.create(800, 600, error);
    }
    FixedStepClock& clock() { return run.steps(); }
};

}  // namespace

// The busiest twenty seconds drawn and read back frame by frame: the frame time (draw and
// glFinish) through the busiest stretch, and the rate of drawing plus readback over the span.
void measureDemoFrames(Figures& out) {
    Stage stage;
    if (!stage.ok || !catchUp(kBusyFrom, stage.clock())) return;
    std::vector<std::uint8_t> pixels(stage.target.frameBytes());
    std::vector<double> busy;
    std::int64_t spanNs = 0;
    std::uint64_t frames = 0;
    for (std::uint64_t n = stage.clock().frame();; ++n) {
        stage.clock().setFrame(n);
        const double seconds = frameSeconds(stage.clock(), n);
        if (seconds >= kCaptureTo) break;
        const std::int64_t t0 = steadyNowNs();
        if (drawFrame() == 0) break;
        glFinish();
        const std::int64_t t1 = steadyNowNs();
        stage.target.read(pixels.data());
        const std::int64_t t2 = steadyNowNs();
        if (seconds < kBusyTo) busy.push_back(ms(t1 - t0));
        spanNs += t2 - t0;
        ++frames;
    }
    out["frame.median"] = median(busy);
    out["frame.p99"] = percentile(busy, 0.99);
    out["frame.count"] = double(busy.size());
    out["render.fps"] = spanNs > 0 ? double(frames) / (double(spanNs) / 1e9) : -1.0;
}

void measureReferenceScene(Figures& out) {
    Stage stage;
    if (!stage.ok) return;
    ReferenceScene scene;
    if (!scene.place()) return;
    std::vector<std::uint8_t> pixels(stage.target.frameBytes());
    std::vector<double> times;
    std::int64_t spanNs = 0;
    for (int i = 0; i < kReferenceFrames; ++i) {
        const std::int64_t t0 = steadyNowNs();
        scene.draw();
        glFinish();
        const std::int64_t t1 = steadyNowNs();
        stage.target.read(pixels.data());
        spanNs += steadyNowNs() - t0;
        times.push_back(ms(t1 - t0));
    }
    out["ref.median"] = median(times);
    out["ref.p99"] = percentile(times, 0.99);
    out["ref.fps"] = double(kReferenceFrames) / (double(spanNs) / 1e9);
}

// Demo::update alone, every frame of the show at 60 fps, on this thread's CPU clock (so a
// wait for the decoder or another process's turn on the core does not count). The camera is
// applied onto an identity each frame, as the catch-up does; nothing is drawn.
void measureUpdate(Figures& out) {
    Stage stage;
    if (!stage.ok) return;
    struct Window {
        const char* key;
        float from;
        float to;
        std::vector<double> us;
    };
    std::vector<Window> windows = {
        {"update.knot0", 58.366f, 75.0f, {}},   {"update.knot4", 75.0f, 115.669f, {}},
        {"update.laser", 104.9f, 151.492f, {}}, {"update.cloud", 15.37f, 95.37f, {}},
        {"update.dodeca", 140.745f, 187.0f, {}}, {"update.cards", 0.0f, 187.0f, {}},
    };
    std::vector<double> all;
    for (std::uint64_t n = 0;; ++n) {
        stage.clock().setFrame(n);
        glLoadIdentity();
        const std::int64_t t0 = threadCpuNs();
        const int going = demo.update();
        const double us = double(threadCpuNs() - t0) / 1e3;
        if (going == 0) break;
        all.push_back(us);
        const float t = demo.musicTime;
        for (Window& w : windows) {
            if (t > w.from && t < w.to) w.us.push_back(us);
        }
    }
    out["update.median"] = median(all);
    out["update.frames"] = double(all.size());
    double worst = -1.0;
    for (const Window& w : windows) {
        out[w.key] = median(w.us);
        worst = std::max(worst, out[w.key]);
    }
    out["update.worst"] = worst;
}

std::string rendererName() {
    std::string name = "-";
    Stage stage;
    if (stage.ok) {
        const GLubyte* text = glGetString(GL_RENDERER);
        if (text != nullptr) name = reinterpret_cast<const char*>(text);
    }
    return name;
}
