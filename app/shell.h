// The shell: window and GL context, the fixed GL state, the textures, the sine table, the demo,
// and the main loop that draws and presents one frame at a time.
#pragma once

#include "app/options.h"

// 1 on success, 0 on failure (everything partial already released), -1 when the video
// system itself would not start (its boxes already shown).
int createMainWindow();
int destroyMainWindow();
// Viewport and a 45-degree perspective for the drawable size. A zero height keeps the last
// usable aspect instead of dividing by zero.
void setViewport(int width, int height);
// Fixed GL state, the 17 textures in their fixed order, the sine table, the demo. Always 1.
int startUp();
// Clears, updates the demo and renders it. 0 once the music has ended (nothing drawn).
int drawFrame();

// Registers the embedded images in their fixed order (which fixes their positions), using
// what startImageDecoding has decoded meanwhile when it was called.
void registerTextures();
// Starts decoding the embedded images on a thread, before the GL context exists.
void startImageDecoding();

// The whole program after the command line: returns the process exit status.
int runShell(const Options& options);
