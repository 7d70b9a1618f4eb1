// The page's frame loop: the browser calls back once per display frame, and the loop draws on
// the callbacks that reach each frame's deadline, so a 120 Hz display still shows the show at
// 60. Without a rate (fps 0) the next frame follows as soon as the browser lets it, as the
// desktop draws as fast as it can. Returns at once; the finish function runs after the last
// frame, and the page learns that the run has ended.
#include "platform/frame_loop.h"

#include <emscripten.h>

#include "platform/web/page.h"

namespace {

FrameLoop current;
double frameMs = 0.0;
double deadline = 0.0;
bool first = true;

void onDisplayFrame() {
    if (frameMs > 0.0) {
        const double now = emscripten_get_now();
        // Display frames come a little early or late; a quarter of a frame of slack keeps a
        // 60 Hz display from skipping every other one.
        if (now < deadline - frameMs * 0.25) return;
        deadline += frameMs;
        if (deadline < now - frameMs) deadline = now + frameMs;
    }
    const bool more = current.frame();
    if (first && more) {
        first = false;
        pageFirstFrame();
    }
    if (more) return;
    emscripten_cancel_main_loop();
    current.finish();
    pageRunEnded();
}

}  // namespace

void runFrameLoop(const FrameLoop& loop) {
    current = loop;
    frameMs = loop.fps > 0.0 ? 1000.0 / loop.fps : 0.0;
    deadline = emscripten_get_now();
    first = true;
    emscripten_set_main_loop(onDisplayFrame, 0, 0);
    if (frameMs == 0.0) emscripten_set_main_loop_timing(EM_TIMING_SETIMMEDIATE, 1);
}
