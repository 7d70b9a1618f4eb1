// The shell's process-wide state: the requested window size (also the extent of the 800 × 600
// screen space), the fullscreen request and the key-down flags.
#pragma once

#include "gfx/screen_space.h"  // windowWidth, windowHeight

extern int fullscreen;   // 1 requests a mode switch; 0 once it failed or was declined
extern int colorBits;
extern int keys[256];    // indexed by virtual-key code; 1 while the key is down
extern int running;
