// The page's own test and benchmark modes (see app/web_main.cpp for the address parameters):
// a still at one moment, a run of timed frames, and the spectrum and image values to compare
// with the desktop's. Each ends by reporting to the page (platform/run_report.h).
#include "app/page_modes.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "app/catch_up.h"
#include "app/shell.h"
#include "app/show_run.h"
#include "assets/embedded.h"
#include "image/png_decode.h"
#include "platform/clock.h"
#include "platform/frame_loop.h"
#include "platform/gl.h"
#include "platform/run_report.h"
#include "sound/audio_output.h"
#include "timeline/demo.h"

namespace {

double msOf(std::int64_t ns) { return double(ns) / 1e6; }

// The fixed-step run the still, the timed frames and the values share: the canvas at the given
// size, the 800 × 600 screen space stretched over it, the spectrum at each frame's own time.
struct FixedStepRun {
    ShowRun show;
    std::vector<double> frameMs;
    // Since the page began to load: the program's start, its GL context made, the rest of its
    // state made (images, the track opened, the catch-up to the start), the first frame's
    // commands given, and drawn.
    double mainAtMs = -1.0;
    double contextAtMs = -1.0;
    double readyAtMs = -1.0;
    double drawnAtMs = -1.0;
    double firstFrameAtMs = -1.0;
    std::uint64_t framesLeft = 0;
    bool paced = false;
    std::int64_t previousStartNs = -1;
    double fps = 60.0;

    bool begin(const Options& options) {
        ShowRunDesc desc;
        desc.surface = RunSurface::Canvas;
        desc.viewportWidth = options.width;
        desc.viewportHeight = options.height;
        desc.timing = RunTiming::FixedStep;
        desc.fps = options.fps;
        desc.audio = AudioMode::Offline;
        if (options.fps.num != 0) fps = options.fps.value();
        if (!show.start(desc)) return false;
        contextAtMs = msOf(show.contextMadeNs());
        return true;
    }
    FixedStepClock& clock() { return show.steps(); }
};

FixedStepRun run;

void report(const char* title, const std::string& text) { runReport(title, text.c_str()); }

}  // namespace

int runStill(const Options& options) {
    if (!run.begin(options) || !catchUp(options.start, run.clock()) || drawFrame() == 0) {
        report("veldrin still failed", "no frame at that time");
        return 1;
    }
    glFlush();
    report("veldrin still ready", "");
    return 0;
}

namespace {

bool timedFrame() {
    if (run.framesLeft == 0) return false;
    const std::int64_t t0 = steadyNowNs();
    if (drawFrame() == 0) return false;
    // The page's clock counts from the start of its loading.
    if (run.drawnAtMs < 0.0) run.drawnAtMs = msOf(steadyNowNs());
    if (run.paced) {
        // The browser draws while the next frame is made, as in the show: what a viewer sees
        // is the time from one frame to the next.
        if (run.firstFrameAtMs < 0.0) run.firstFrameAtMs = run.drawnAtMs;
        if (run.previousStartNs >= 0) run.frameMs.push_back(msOf(t0 - run.previousStartNs));
        run.previousStartNs = t0;
    } else {
        glFinish();
        const std::int64_t t1 = steadyNowNs();
        run.frameMs.push_back(msOf(t1 - t0));
        if (run.firstFrameAtMs < 0.0) run.firstFrameAtMs = msOf(t1);
    }
    run.clock().advance();
    --run.framesLeft;
    return true;
}

void reportFrames() {
    std::vector<double> sorted = run.frameMs;
    std::sort(sorted.begin(), sorted.end());
    const auto rank = [&](double p) {
        if (sorted.empty()) return -1.0;
        const std::size_t k = std::size_t(std::ceil(p * double(sorted.size())));
        return sorted[std::min(sorted.size() - 1, k > 0 ? k - 1 : 0)];
    };
    unsigned errors = 0;
    while (glGetError() != GL_NO_ERROR && errors < 100) ++errors;
    // A frame that took more than one and a half display frames missed at least one deadline.
    const double frameMs = 1000.0 / run.fps;
    const auto late = std::count_if(sorted.begin(), sorted.end(), [&](double ms) { return ms > 1.5 * frameMs; });
    char text[512];
    std::snprintf(text, sizeof text,
                  "frames %zu\nmedian %.3f\np99 %.3f\nlate %ld\ndownloadedAt %.1f\ncompiledAt %.1f\nmainAt %.1f\n"
                  "contextAt %.1f\nreadyAt %.1f\ndrawnAt %.1f\nfirstFrameAt %.1f\nglErrors %u\n",
                  run.paced ? sorted.size() + 1 : sorted.size(), rank(0.5), rank(0.99), long(late),
                  runLoadMarkMs("downloaded"), runLoadMarkMs("compiled"), run.mainAtMs, run.contextAtMs, run.readyAtMs,
                  run.drawnAtMs, run.firstFrameAtMs, errors);
    report("veldrin frames done", text);
}

}  // namespace

int runFrames(const Options& options, std::uint64_t frames, bool paced) {
    run.mainAtMs = msOf(steadyNowNs());
    if (!run.begin(options) || !catchUp(options.start, run.clock())) {
        report("veldrin frames failed", "no frame at that time");
        return 1;
    }
    run.readyAtMs = msOf(steadyNowNs());
    run.framesLeft = frames;
    run.paced = paced;
    run.frameMs.reserve(std::size_t(frames));
    FrameLoop loop;
    // Paced, a frame per display frame at the show's rate; else as fast as the browser calls
    // back. Either way the step clock keeps the music time.
    loop.fps = paced ? run.fps : 0.0;
    loop.frame = timedFrame;
    loop.finish = reportFrames;
    runFrameLoop(loop);
    return 0;
}

// One line per time: "spectrum MS" and the 256 magnitudes as the hex of their bits; then one
// line per image: "image KEY WxHxC" and the FNV-1a hash of its texels.
int runValues(const Options& options, const std::string& times) {
    if (!run.begin(options)) {
        report("veldrin values failed", "");
        return 1;
    }
    // Played from tick 0 on a millisecond clock, so that the spectrum at tick T is that of
    // music time T exactly.
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    FixedStepClock ms1000(1000);
    std::unique_ptr<AudioOutput> output = createAudioOutput(AudioMode::Offline, ms1000);
    output->init(kSampleRate);
    output->createStream(track->data, track->size);
    output->play();
    std::string text;
    char line[32];
    for (const char* p = times.c_str(); *p != '\0';) {
        char* end = nullptr;
        const unsigned long ms = std::strtoul(p, &end, 10);
        if (end == p) break;
        p = *end == ',' ? end + 1 : end;
        ms1000.setFrame(ms);
        float magnitudes[kSpectrumBins];
        output->spectrum(magnitudes);
        std::snprintf(line, sizeof line, "spectrum %lu", ms);
        text += line;
        for (float m : magnitudes) {
            std::uint32_t bits;
            std::memcpy(&bits, &m, sizeof bits);
            std::snprintf(line, sizeof line, " %08" PRIx32, bits);
            text += line;
        }
        text += '\n';
    }
    for (const char* key : {"bg01", "cloud", "laser", "veldrin", "greeting"}) {
        char file[32];
        std::snprintf(file, sizeof file, "%s.png", key);
        const EmbeddedAsset* asset = findEmbeddedAsset(file);
        PngImage image;
        GLint maxSize = 0;
        glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
        if (asset == nullptr || !decodePngForTexture(asset->data, asset->size, screenGamma(), maxSize, image)) continue;
        std::uint64_t hash = 1469598103934665603ull;
        for (std::uint8_t b : image.pixels) hash = (hash ^ b) * 1099511628211ull;
        char row[96];
        std::snprintf(row, sizeof row, "image %s %dx%dx%d %016" PRIx64 "\n", key, image.width, image.height,
                      image.channels, hash);
        text += row;
    }
    report("veldrin values ready", text);
    return 0;
}

