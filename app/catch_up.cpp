// The catch-up clock and the catch-up run.
#include "app/catch_up.h"

#include "platform/gl.h"
#include "platform/window.h"
#include "timeline/demo.h"

namespace {
// A rate of 0 (no limit) still needs a step to catch up with: the show is designed for 60.
FrameRate stepRate(FrameRate rate) { return rate.num == 0 ? FrameRate{60, 1} : rate; }
}  // namespace

double frameSeconds(const FixedStepClock& clock, std::uint64_t frame) {
    return double(std::uint32_t(clock.ticksAt(frame) - clock.ticksAt(0))) * 0.001;
}

CatchUpClock::CatchUpClock(FrameRate rate) : steps_(stepRate(rate).num, stepRate(rate).den) {}

std::uint32_t CatchUpClock::ticks() {
    if (!live_) return steps_.ticks();
    return liveBase_ + (steady_.ticks() - steadyAtSwitch_);
}

std::uint32_t CatchUpClock::stepTicks() {
    if (!live_) return steps_.ticks();
    return liveBase_ + (steady_.stepTicks() - stepAtSwitch_);
}

void CatchUpClock::goLive() {
    liveBase_ = steps_.ticks();
    steadyAtSwitch_ = steady_.ticks();
    stepAtSwitch_ = steady_.stepTicks();
    live_ = true;
}

bool catchUp(double seconds, FixedStepClock& clock) {
    for (std::uint64_t frame = clock.frame(); frameSeconds(clock, frame) < seconds; ++frame) {
        clock.setFrame(frame);
        // Camera::apply multiplies onto the model-view matrix; keep it from piling up.
        glLoadIdentity();
        if (demo.update() == 0 || quitSignalled()) return false;
        clock.setFrame(frame + 1);
    }
    return true;
}
