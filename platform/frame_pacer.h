// FramePacer: keeps a desktop frame loop at its rate where vsync does not, by sleeping to each
// frame's deadline. Every animation is counted per frame, so the rate is the show's speed.
#pragma once

#include <cstdint>

#include "platform/clock.h"

class FramePacer {
public:
    // Without a rate (fps 0), or where the display's vsync keeps it, wait() returns at once.
    FramePacer(double fps, bool vsync)
        : frameNs_(fps > 0.0 && !vsync ? std::int64_t(1e9 / fps) : 0), deadline_(steadyNowNs()) {}

    // Called after each frame.
    void wait() {
        if (frameNs_ == 0) return;
        deadline_ += frameNs_;
        const std::int64_t now = steadyNowNs();
        // After a stall, start a new schedule rather than rushing frames to catch up.
        if (deadline_ < now - frameNs_) deadline_ = now;
        sleepUntilNs(deadline_);
    }

private:
    std::int64_t frameNs_;
    std::int64_t deadline_;
};
