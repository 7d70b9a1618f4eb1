// The desktop's frame loop: a plain loop, paced by vsync or by sleeping.
#include "platform/frame_loop.h"

#include <cstdint>

#include "platform/clock.h"
#include "platform/window.h"

void runFrameLoop(const FrameLoop& loop) {
    // Every animation is counted per frame, so the loop keeps a steady rate of its own:
    // vsync where the driver gives 60 Hz, otherwise a sleep until the next frame's deadline.
    const bool vsync = loop.fps == 60.0 && windowTrySwapInterval60();
    const std::int64_t frameNs = loop.fps > 0.0 ? std::int64_t(1e9 / loop.fps) : 0;
    std::int64_t deadline = steadyNowNs();
    while (loop.frame()) {
        if (frameNs > 0 && !vsync) {
            deadline += frameNs;
            const std::int64_t now = steadyNowNs();
            // After a stall, start a new schedule rather than rushing frames to catch up.
            if (deadline < now - frameNs) deadline = now;
            sleepUntilNs(deadline);
        }
    }
    loop.finish();
}
