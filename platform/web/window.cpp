// The window of the page: a WebGL 2 context on the page's canvas, the keyboard in Windows
// virtual-key codes (which is what the browser's keyCode is for the keys the show knows), and
// no quit other than the page's own. Fullscreen, letterboxing and the click to play belong to
// the page (index.html); the canvas keeps the size it was made with and the page scales it.
#include "platform/window.h"

#include <cstdio>

#include <emscripten.h>
#include <emscripten/html5.h>

#include "platform/gl.h"

namespace {

constexpr const char* kCanvas = "#canvas";

EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context = 0;
int keyState[256] = {};
// Pressed since the last pump: a tap shorter than a frame (and a slow software-drawn frame can be
// long) still shows as down once.
int keyPressed[256] = {};
int width = 0;
int height = 0;

EM_BOOL onKey(int type, const EmscriptenKeyboardEvent* event, void*) {
    // The browser's keyCode is already the virtual-key code for letters, digits, Escape, the
    // arrows and the function keys; anything past 255 is no key the show knows.
    const int code = int(event->keyCode);
    if (code <= 0 || code > 255) return EM_FALSE;
    keyState[code] = type == EMSCRIPTEN_EVENT_KEYDOWN ? 1 : 0;
    if (type == EMSCRIPTEN_EVENT_KEYDOWN) keyPressed[code] = 1;
    return EM_FALSE;  // the page still sees the key (F toggles fullscreen there)
}

}  // namespace

WindowResult windowCreate(const WindowDesc& desc) {
    WindowResult result;
    if (context != 0 || desc.width <= 0 || desc.height <= 0) return result;
    emscripten_set_canvas_element_size(kCanvas, desc.width, desc.height);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.majorVersion = 2;
    attributes.minorVersion = 0;
    // Without alpha the blending's GL_DST_ALPHA reads 1, as on the desktop; no multisampling,
    // as on the desktop.
    attributes.alpha = EM_FALSE;
    attributes.depth = EM_TRUE;
    attributes.stencil = EM_FALSE;
    attributes.antialias = EM_FALSE;
    attributes.premultipliedAlpha = EM_FALSE;
    attributes.preserveDrawingBuffer = EM_FALSE;
    attributes.powerPreference = EM_WEBGL_POWER_PREFERENCE_HIGH_PERFORMANCE;
    context = emscripten_webgl_create_context(kCanvas, &attributes);
    if (context <= 0) {
        std::fprintf(stderr, "veldrin: this browser offers no WebGL 2\n");
        context = 0;
        result.systemFailed = true;
        return result;
    }
    emscripten_webgl_make_context_current(context);
    if (!gl1Init()) {
        windowDestroy();
        return result;
    }
    for (int code = 0; code < 256; ++code) keyState[code] = keyPressed[code] = 0;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, onKey);
    width = desc.width;
    height = desc.height;
    result.created = true;
    result.drawableWidth = width;
    result.drawableHeight = height;
    return result;
}

// The page has no window system to start and no display mode to change: fullscreen is the
// browser's, asked for by the page.
bool windowSystemStart() { return true; }
void windowSystemStop() {}
bool displaySwitchMode(int, int, int) { return false; }
void displayRestoreMode() {}

void windowDestroy() {
    if (context == 0) return;
    emscripten_set_keydown_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
    emscripten_set_keyup_callback(EMSCRIPTEN_EVENT_TARGET_WINDOW, nullptr, EM_TRUE, nullptr);
    emscripten_webgl_destroy_context(context);
    context = 0;
    width = height = 0;
}

void windowPumpEvents(int* keys, WindowEvents& events) {
    events = WindowEvents{};
    if (keys == nullptr) return;
    for (int code = 0; code < 256; ++code) {
        keys[code] = keyState[code] | keyPressed[code];
        keyPressed[code] = 0;
    }
}

// The browser presents the canvas when the frame's callback returns.
void windowSwap() {}

bool windowTrySwapInterval60() { return false; }

void windowDrawableSize(int& w, int& h) {
    w = width;
    h = height;
}

bool windowHasDisplay() { return true; }

void showErrorBox(const char* text, const char* caption) {
    std::fprintf(stderr, "veldrin: %s: %s\n", caption != nullptr ? caption : "", text != nullptr ? text : "");
}

void installQuitSignals() {}

bool quitSignalled() { return false; }
