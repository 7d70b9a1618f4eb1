// The desktop's frame loop: a plain loop, paced by vsync where the driver gives 60 Hz, by
// sleeping otherwise.
#include "platform/frame_loop.h"

#include "platform/frame_pacer.h"
#include "platform/window.h"

void runFrameLoop(const FrameLoop& loop) {
    FramePacer pacer(loop.fps, loop.fps == 60.0 && windowTrySwapInterval60());
    while (loop.frame()) pacer.wait();
    loop.finish();
}
