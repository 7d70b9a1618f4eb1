// The Windows frame loop: one window message a pass, and a frame only when none was waiting,
// paced like the desktop's (vsync where the display runs at 60 Hz, a sleep to each frame's
// deadline otherwise).
#include "platform/frame_loop.h"

#include <cstdint>

#include "platform/clock.h"
#include "platform/win32/messages.h"
#include "platform/window.h"

void runFrameLoop(const FrameLoop& loop) {
    const bool vsync = loop.fps == 60.0 && windowTrySwapInterval60();
    const std::int64_t frameNs = loop.fps > 0.0 ? std::int64_t(1e9 / loop.fps) : 0;
    std::int64_t deadline = steadyNowNs();
    windowLoopTakesMessages(true);
    for (;;) {
        const MessagePass pass = windowTakeMessage();
        if (pass == MessagePass::Quit) break;
        if (pass == MessagePass::Handled) continue;
        if (!loop.frame()) break;
        if (frameNs > 0 && !vsync) {
            deadline += frameNs;
            const std::int64_t now = steadyNowNs();
            // After a stall, start a new schedule rather than rushing frames to catch up.
            if (deadline < now - frameNs) deadline = now;
            sleepUntilNs(deadline);
        }
    }
    windowLoopTakesMessages(false);
    loop.finish();
}
