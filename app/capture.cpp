// The capture loop: catch up to the start, then draw, read back and hand over every frame.
#include "app/capture.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/catch_up.h"
#include "app/frame_sink.h"
#include "app/offscreen.h"
#include "app/progress.h"
#include "app/shell.h"
#include "app/show_run.h"
#include "assets/embedded.h"
#include "platform/window.h"

namespace {

int fail(const std::string& message) {
    std::fprintf(stderr, "veldrin: %s\n", message.c_str());
    return 1;
}

}  // namespace

int runCapture(const Options& options) {
    installQuitSignals();

    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    if (track == nullptr) return fail("the embedded music track is missing");

    std::unique_ptr<FrameSink> sink = options.capturePath.empty()
                                          ? makePngSink(options.framesDir)
                                          : makeVideoSink(options.capturePath, track->data, track->size);

    // The window is never shown: the frames are drawn into a framebuffer of the capture's size.
    ShowRunDesc desc;
    desc.title = "veldrin capture";
    desc.surface = RunSurface::Offscreen;
    desc.viewportWidth = options.width;
    desc.viewportHeight = options.height;
    desc.timing = RunTiming::FixedStep;
    desc.fps = options.fps;
    desc.audio = AudioMode::Offline;
    ShowRun run;
    if (!run.start(desc)) return 1;
    FixedStepClock& clock = run.steps();
    OffscreenTarget target;
    std::string error;
    if (!target.create(options.width, options.height, error)) return fail(error);

    if (!catchUp(options.start, clock)) {
        if (!quitSignalled()) return fail("--start lies after the end of the music");
        // Nothing was opened yet, so nothing is left behind.
        std::fprintf(stderr, "veldrin: stopped before the first frame; nothing was written\n");
        return 130;
    }
    const std::uint64_t first = clock.frame();
    const double firstSeconds = frameSeconds(clock, first);
    const double endSeconds = std::min(options.end, kTrackSeconds);
    const double rate = options.fps.value();
    const std::uint64_t total = std::uint64_t(std::ceil((endSeconds - firstSeconds) * rate - 1e-9));

    CaptureSpan span;
    span.width = options.width;
    span.height = options.height;
    span.fps = options.fps;
    span.startSeconds = firstSeconds;
    span.seconds = endSeconds - firstSeconds;
    if (!sink->open(span, error)) return fail(error);

    std::vector<std::uint8_t> frame(target.frameBytes());
    Progress progress(stderr, total);
    std::uint64_t written = 0;
    bool interrupted = false;
    for (std::uint64_t n = first;; ++n) {
        clock.setFrame(n);
        if (frameSeconds(clock, n) >= endSeconds) break;
        if (quitSignalled()) {
            interrupted = true;
            break;
        }
        if (drawFrame() == 0) break;  // the music has ended
        target.read(frame.data());
        if (!sink->write(frame.data(), error)) {
            progress.close();
            sink->abandon();
            return fail(error);
        }
        ++written;
        progress.update(written);
    }
    progress.close();

    if (!sink->finish(error)) return fail(error);
    char took[32];
    formatDuration(progress.elapsedSeconds(), took, sizeof took);
    const double megabytes = double(sink->bytesWritten()) / 1e6;
    if (interrupted) {
        std::fprintf(stderr, "veldrin: stopped after %llu frames (%.3f s to %.3f s); %s holds what was done (%.1f MB)\n",
                     static_cast<unsigned long long>(written), firstSeconds, firstSeconds + double(written) / rate,
                     sink->destination().c_str(), megabytes);
        return 130;
    }
    std::fprintf(stderr, "veldrin: wrote %s: %llu frames, %.3f s to %.3f s at %g fps, %dx%d, in %s (%.1f fps), %.1f MB\n",
                 sink->destination().c_str(), static_cast<unsigned long long>(written), firstSeconds,
                 firstSeconds + double(written) / rate, rate, options.width, options.height, took,
                 double(written) / std::max(progress.elapsedSeconds(), 1e-9), megabytes);
    return 0;
}
