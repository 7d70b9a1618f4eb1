// The screen space the overlays and layers are laid out in: the extent of the 800 × 600 screen
// (stretched over whatever the window or capture really is). The shell owns the two values among
// its globals and sets them before the show starts; everything here only reads them.
#pragma once

extern float windowWidth;
extern float windowHeight;
