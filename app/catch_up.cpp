// The catch-up clock and the catch-up run.
#include "app/catch_up.h"

#include "gfx/gl.h"
#include "timeline/demo.h"

namespace {
// A rate of 0 (no limit) still needs a step to catch up with: the show is designed for 60.
FrameRate stepRate(FrameRate rate) { return rate.num == 0 ? FrameRate{60, 1} : rate; }
}  // namespace

std::uint32_t frameTicks(std::uint64_t frame, FrameRate rate) {
    const FrameRate r = stepRate(rate);
    return std::uint32_t(frame * 1000u * r.den / r.num);
}

CatchUpClock::CatchUpClock(FrameRate rate) : steps_(stepRate(rate).num, stepRate(rate).den) {}

std::uint32_t CatchUpClock::ticks() {
    if (!live_) return steps_.ticks();
    return liveBase_ + (steady_.ticks() - steadyAtSwitch_);
}

void CatchUpClock::goLive() {
    liveBase_ = steps_.ticks();
    steadyAtSwitch_ = steady_.ticks();
    live_ = true;
}

bool catchUp(double seconds, FixedStepClock& clock) {
    // The music time of a frame is (its tick − the first frame's tick) in milliseconds, and the
    // first frame is frame 0, whose tick is the clock's base.
    const std::uint32_t first = [&] {
        clock.setFrame(0);
        return clock.ticks();
    }();
    for (std::uint64_t frame = 0;; ++frame) {
        clock.setFrame(frame);
        if (double(std::uint32_t(clock.ticks() - first)) * 0.001 >= seconds) return true;
        // Camera::apply multiplies onto the model-view matrix; keep it from piling up.
        glLoadIdentity();
        if (demo.update() == 0) return false;
    }
}
