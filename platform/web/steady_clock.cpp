// The page's clocks. Frames are paced by performance.now(); the music clock (SteadyClock) follows
// the audio context once there is one, so the picture stays with what is heard however the
// browser schedules its frames.
#include <emscripten.h>

#include "platform/clock.h"
#include "platform/web/music_clock.h"

// The context time of the sample being heard now, in milliseconds, interpolated between the
// audio thread's updates (or, where the browser's timestamp leaves its output latency out, the
// context's time less that latency); the page's time where no audio context runs. Never goes
// back.
EM_JS(double, musicNowMs, (), {
    var now = performance.now();
    var ms = now;
    var context = Module["audioContext"];
    if (context && context.state === "running") {
        var stamp = context.getOutputTimestamp();
        var scheduled = context.currentTime * 1000;
        var heard = stamp.contextTime * 1000 + (now - stamp.performanceTime);
        // A timestamp taken in the future, or one that puts what is heard a second behind what
        // is scheduled, is not the output's: WebKitGTK's performanceTime runs at twice the
        // page's rate, which would hold the show at its first frame. The context's own time
        // says more then.
        var usable = stamp.performanceTime > 0 && stamp.performanceTime <= now + 1 && heard > scheduled - 1000;
        ms = usable ? heard : scheduled;
        // A browser whose timestamp is the scheduling time itself (Firefox's) says no more than
        // its latency of what is heard: the sound comes that much after the context's time.
        var latency = ((context.outputLatency || 0) + (context.baseLatency || 0)) * 1000;
        if (scheduled - ms < 1 && latency > 0) ms = scheduled - latency;
    }
    Module.lastMusicMs = Math.max(Module.lastMusicMs || 0, ms);
    return Module.lastMusicMs;
});

std::int64_t steadyNowNs() { return std::int64_t(emscripten_get_now() * 1e6); }

// The page never sleeps: its frame loop waits for the display instead.
void sleepUntilNs(std::int64_t) {}

SteadyClock::SteadyClock(std::uint32_t base) : origin_(std::int64_t(musicNowMs() * 1e6)), base_(base) {}

std::uint32_t SteadyClock::ticks() {
    const std::int64_t elapsedMs = (std::int64_t(musicNowMs() * 1e6) - origin_) / 1000000;
    return base_ + std::uint32_t(std::uint64_t(elapsedMs));
}

std::uint32_t SteadyClock::stepTicks() { return ticks(); }
