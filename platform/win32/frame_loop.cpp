// The Windows frame loop: one window message a pass, and a frame only when none was waiting,
// paced like the desktop's (vsync where the display runs at 60 Hz, a sleep to each frame's
// deadline otherwise).
#include "platform/frame_loop.h"

#include "platform/frame_pacer.h"
#include "platform/win32/messages.h"
#include "platform/window.h"

void runFrameLoop(const FrameLoop& loop) {
    FramePacer pacer(loop.fps, loop.fps == 60.0 && windowTrySwapInterval60());
    windowLoopTakesMessages(true);
    for (;;) {
        const MessagePass pass = windowTakeMessage();
        if (pass == MessagePass::Quit) break;
        if (pass == MessagePass::Handled) continue;
        if (!loop.frame()) break;
        pacer.wait();
    }
    windowLoopTakesMessages(false);
    loop.finish();
}
