// The window and its OpenGL context, the display mode, keyboard and message pump: everything the
// shell needs from the machine's window system. Each port implements this list: platform/sdl
// (the desktop, over SDL2; with no display the same calls run headless on SDL's offscreen
// driver, which is how the tests and the capture draw), platform/win32 (Windows' own calls) and
// platform/web (the page's canvas).
#pragma once

#include <cstddef>
#include <cstdint>

struct WindowIcon {
    const unsigned char* pixels = nullptr;  // rows top to bottom, 3 or 4 bytes a pixel (RGB, RGBA)
    int width = 0;
    int height = 0;
    int channels = 0;
};

struct WindowDesc {
    const char* title = "";
    int width = 800;
    int height = 600;
    // The display was switched to width × height (displaySwitchMode): a borderless window over
    // the whole screen, on top, without a cursor. Where a port cannot switch beforehand it tries
    // here, and says in WindowResult::modeSwitchFailed when that did not work.
    bool fullscreen = false;
    // The size is the drawable area's (the frame goes around it); false: the size is the whole
    // window's, frame included, so the drawable area is smaller (the windowed fallback after a
    // failed mode switch). Ports whose windows have no frame ignore it.
    bool sizeIsClientArea = true;
    bool hidden = false;      // tests and capture: never shown
    int depthBits = 16;       // at least
    int stencilBits = 1;
    // 0 as the demo asks. Whatever the driver gives, destination alpha reads 1: when the
    // buffer has alpha it is cleared to 1 once and masked from writes (tests ask for 8 to
    // check that).
    int alphaBits = 0;
    WindowIcon icons[2];      // 32 × 32 and 16 × 16; the first there is becomes the icon
};

struct WindowResult {
    bool created = false;
    bool systemFailed = false;      // the video system itself would not start
    bool modeSwitchFailed = false;  // asked for fullscreen, got a window
    int drawableWidth = 0;
    int drawableHeight = 0;
};

// What happened since the last pump.
struct WindowEvents {
    bool quit = false;           // window closed, SIGINT or SIGTERM
    bool resized = false;        // drawable size changed: see width/height
    int width = 0;
    int height = 0;
};

// The window system for the run: started before the first window, stopped after the last (on
// Windows the window class is registered and unregistered here). windowCreate starts it itself
// when the caller did not. False when it will not start; the reason is on stderr.
bool windowSystemStart();
void windowSystemStop();

// Switches the display to width × height at the colour depth for the fullscreen window; false
// when the display cannot (no such mode, no display at all). displayRestoreMode puts the
// user's mode back (and the cursor); it does nothing when no switch is in force.
bool displaySwitchMode(int width, int height, int colorBits);
void displayRestoreMode();

// Creates the window and a current GL context. On failure everything is released again.
// One window at a time: a second call before windowDestroy fails.
WindowResult windowCreate(const WindowDesc& desc);
void windowDestroy();
// Takes every waiting event: key downs and ups set keys[code] to 1 or 0, indexed by the
// Windows virtual-key codes the demo reads (Escape 27, letters 'A'..'Z',
// digits '0'..'9', arrows 37..40, F1.. 112..); codes above 255 are ignored. Reports quit
// after SIGINT or SIGTERM too (see installQuitSignals).
void windowPumpEvents(int* keys, WindowEvents& events);
void windowSwap();
// 60 Hz vsync when the driver offers it; false otherwise (the shell then paces by sleeping).
bool windowTrySwapInterval60();
void windowDrawableSize(int& width, int& height);
// Whether a display (not the offscreen driver) is in use.
bool windowHasDisplay();

// The text on stderr ("veldrin: caption: text"), and in a message box with an exclamation
// icon when a display exists and the window (if any) was not created hidden: a hidden window
// means tests or a capture, where a modal box would wait forever.
void showErrorBox(const char* text, const char* caption);

// SIGINT and SIGTERM end the program like closing the window: installs handlers that make the
// next windowPumpEvents report quit. Also usable without a window (capture). A second signal
// of the same kind ends the process at once, should the program not get to its next pump.
void installQuitSignals();
bool quitSignalled();
