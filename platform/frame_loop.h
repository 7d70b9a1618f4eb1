// The frame loop: the one place where the platform decides when the next frame is drawn. On
// the desktop it is a loop that keeps the rate (vsync where the display runs at 60 Hz, a sleep
// to each frame's deadline otherwise) and returns when the frames end; in the browser the page
// calls back once per display frame and runFrameLoop returns at once.
#pragma once

struct FrameLoop {
    double fps = 60.0;           // frames per second to keep; 0 draws every frame the display offers
    bool (*frame)() = nullptr;   // draws and presents one frame; false ends the loop
    void (*finish)() = nullptr;  // runs once after the last frame
};

void runFrameLoop(const FrameLoop& loop);
