// Definitions of the shell's globals.
#include "app/shell_state.h"

int fullscreen = 1;
int colorBits = 32;
// 1.0 until the shell sets the real size; the layers read it at init.
float windowWidth = 1.0f;
float windowHeight = 1.0f;
int keys[256] = {};
int running = 0;
