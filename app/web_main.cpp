// Entry point of the browser build. The page (index.html) hands over its address parameters as
// "name=value" arguments:
//   start=S, fps=N   the live show, as --start and --fps (the page starts it on a click)
//   debug            as --debug: the music time of every frame, on the console (a warning a line)
//   still=S          the one frame at music time S of a fixed-step 60 fps run, the first frame
//                    `veldrin --frames DIR --start S` writes; size=WxH sets the canvas (800x600)
//   frames=N         N frames of a fixed-step run from start=S, one after the other as fast as
//                    the browser allows, silent, each timed (drawing and glFinish): the page's
//                    own test and benchmark. The report also says when the page's loading
//                    reached each stage, and where the first frame's time went.
//   paced            with frames=N: drawn at the display's rate as the show is, never waited
//                    for; the figures are then the times between frames, and "late" counts
//                    the frames that missed a display frame's deadline
//   values=T,T,...   the spectrum at those music times in ms, and a digest of every image as
//                    uploaded: to compare with the desktop's
// Whatever the page reports ends up in its title and its report block.
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
#include "app/options.h"
#include "app/shell.h"
#include "app/shell_state.h"
#include "assets/embedded.h"
#include "sound/audio_output.h"
#include "platform/clock.h"
#include "platform/frame_loop.h"
#include "platform/gl.h"
#include "image/png_decode.h"
#include "platform/web/page.h"
#include "platform/window.h"
#include "timeline/demo.h"

namespace {

struct PageArguments {
    Options options;
    bool still = false;
    std::uint64_t frames = 0;
    bool paced = false;
    std::string values;
};

bool parseCount(const char* text, std::uint64_t& count) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || value == 0 || value > 1000000) return false;
    count = value;
    return true;
}

// False, with the reason, for a parameter that is not understood: a link should not silently
// show something else than it says.
bool parseArguments(int argc, char** argv, PageArguments& page, std::string& error) {
    page.options.windowed = true;
    bool sizeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* equals = std::strchr(argv[i], '=');
        const std::string name(argv[i], equals != nullptr ? std::size_t(equals - argv[i]) : std::strlen(argv[i]));
        const char* value = equals != nullptr ? equals + 1 : "";
        bool ok = true;
        if (name == "start") {
            ok = parseSeconds(value, page.options.start);
        } else if (name == "fps") {
            ok = parseFrameRate(value, page.options.fps);
        } else if (name == "still") {
            page.still = true;
            ok = parseSeconds(value, page.options.start);
        } else if (name == "size") {
            sizeGiven = true;
            ok = parseSize(value, page.options.width, page.options.height);
        } else if (name == "frames") {
            ok = parseCount(value, page.frames);
        } else if (name == "paced") {
            page.paced = true;
        } else if (name == "values") {
            page.values = value;
        } else if (name == "debug") {
            page.options.debug = true;
            ok = *value == '\0';
        } else {
            continue;  // the page's own parameters (and anything a host adds) are not ours
        }
        if (!ok) {
            error = "the address parameter " + name + "=" + value + " is not understood";
            return false;
        }
    }
    if (page.options.start >= kTrackSeconds) error = "start: the music ends at 187.06 s";
    else if (sizeGiven && !page.still) error = "size applies to still";
    else if ((page.still || page.frames > 0) && page.options.fps.num == 0) error = "a fixed-step run needs fps above 0";
    else if (page.paced && page.frames == 0) error = "paced applies to frames";
    return error.empty();
}

double msOf(std::int64_t ns) { return double(ns) / 1e6; }

// The fixed-step run the still, the timed frames and the values share: the canvas at the given
// size, the 800 × 600 screen space stretched over it, the spectrum at each frame's own time.
struct FixedStepRun {
    std::unique_ptr<FixedStepClock> clock;
    std::unique_ptr<AudioOutput> audio;
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
        windowWidth = 800.0f;
        windowHeight = 600.0f;
        fullscreen = 0;
        WindowDesc desc;
        desc.title = "veldrin";
        desc.width = options.width;
        desc.height = options.height;
        if (!windowCreate(desc).created) return false;
        contextAtMs = msOf(steadyNowNs());
        setViewport(options.width, options.height);
        const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
        clock = std::make_unique<FixedStepClock>(options.fps.num == 0 ? 60 : options.fps.num, options.fps.den);
        if (options.fps.num != 0) fps = double(options.fps.num) / double(options.fps.den);
        audio = createAudioOutput(AudioMode::Offline, *clock);
        demo.attach(clock.get(), audio.get(), track != nullptr ? track->data : nullptr,
                    track != nullptr ? track->size : 0);
        startUp();
        return demo.music.stream != 0;
    }
};

FixedStepRun run;

void report(const char* title, const std::string& text) { pageReport(title, text.c_str()); }

int runStill(const Options& options) {
    if (!run.begin(options) || !catchUp(options.start, *run.clock) || drawFrame() == 0) {
        report("veldrin still failed", "no frame at that time");
        return 1;
    }
    glFlush();
    report("veldrin still ready", "");
    return 0;
}

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
    run.clock->advance();
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
                  pageLoadMarkMs("downloaded"), pageLoadMarkMs("compiled"), run.mainAtMs, run.contextAtMs, run.readyAtMs,
                  run.drawnAtMs, run.firstFrameAtMs, errors);
    report("veldrin frames done", text);
}

int runFrames(const Options& options, std::uint64_t frames, bool paced) {
    run.mainAtMs = msOf(steadyNowNs());
    if (!run.begin(options) || !catchUp(options.start, *run.clock)) {
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

}  // namespace

int main(int argc, char** argv) {
    PageArguments page;
    std::string error;
    if (!parseArguments(argc, argv, page, error)) {
        std::fprintf(stderr, "veldrin: %s\n", error.c_str());
        report("veldrin: bad address", error);
        return 2;
    }
    if (!page.values.empty()) return runValues(page.options, page.values);
    if (page.still) return runStill(page.options);
    if (page.frames > 0) return runFrames(page.options, page.frames, page.paced);
    return runShell(page.options);
}
