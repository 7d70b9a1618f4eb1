// The one window and its GL context over SDL2, the keyboard in Windows virtual-key codes, and
// quit requests from the window system or from SIGINT/SIGTERM.
#include "platform/window.h"
#include "platform/sdl/virtual_keys.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include <SDL.h>
#include <unistd.h>

#if defined(__SANITIZE_ADDRESS__)
#include <dlfcn.h>
#include <link.h>
#endif

#include "platform/destination_alpha.h"
#include "platform/gl.h"

namespace {

SDL_Window* window = nullptr;
SDL_GLContext context = nullptr;
bool videoStarted = false;   // the window's own hold on SDL video
bool systemStarted = false;  // windowSystemStart's
bool cursorHidden = false;
// The last window was created hidden: tests or a capture, where nobody can click a box away.
bool quietBoxes = false;
// A private XDG_RUNTIME_DIR made when none was set (headless runs), removed again at the end.
char runtimeDir[64] = "";

// The signal may be handled on any of the process's threads (the decoder's among them), so the
// flag is a lock-free atomic rather than a sig_atomic_t, which is safe only on the thread it
// interrupted.
std::atomic<int> quitRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "a signal handler may only touch lock-free atomics");

extern "C" void onQuitSignal(int) { quitRequested.store(1); }

#if defined(__SANITIZE_ADDRESS__)
// The GL driver keeps some of its start-up allocations until it is unloaded, and SDL unloads it
// when the window goes. Leak reports about an unloaded library cannot name it, so they cannot be
// told apart from ours; keeping every library that is loaded once a context exists keeps them
// nameable (and suppressed by name in the sanitizer run).
void keepLoadedLibrariesLoaded() {
    dl_iterate_phdr(
        [](dl_phdr_info* info, std::size_t, void*) {
            if (info->dlpi_name != nullptr && info->dlpi_name[0] != '\0')
                dlopen(info->dlpi_name, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
            return 0;
        },
        nullptr);
}
#else
void keepLoadedLibrariesLoaded() {}
#endif

bool isHeadlessDriver(const char* name) {
    return name != nullptr && (std::strcmp(name, "offscreen") == 0 || std::strcmp(name, "dummy") == 0);
}

// Without XDG_RUNTIME_DIR the window-system probing prints a warning on every start; a private
// 0700 folder is what the variable is meant to name.
void provideRuntimeDir() {
    if (runtimeDir[0] != '\0' || std::getenv("XDG_RUNTIME_DIR") != nullptr) return;
    char path[] = "/tmp/veldrin-runtime-XXXXXX";
    if (mkdtemp(path) == nullptr) return;
    std::snprintf(runtimeDir, sizeof runtimeDir, "%s", path);
    setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
}

void releaseRuntimeDir() {
    if (runtimeDir[0] == '\0') return;
    unsetenv("XDG_RUNTIME_DIR");
    // Whatever others put in it goes too (the sound server's client leaves a folder there).
    std::error_code ignored;
    std::filesystem::remove_all(runtimeDir, ignored);
    runtimeDir[0] = '\0';
}

// Stops video once no window and no windowSystemStart holds it any more.
void stopVideo() {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    // The audio layer may still run on SDL; only the last user shuts it down.
    if (SDL_WasInit(SDL_INIT_EVERYTHING) == 0) SDL_Quit();
}

void releaseAll() {
    if (context != nullptr) {
        SDL_GL_MakeCurrent(window, nullptr);
        SDL_GL_DeleteContext(context);
        context = nullptr;
    }
    if (window != nullptr) {
        SDL_DestroyWindow(window);
        window = nullptr;
    }
    if (cursorHidden) {
        SDL_ShowCursor(SDL_ENABLE);
        cursorHidden = false;
    }
    if (videoStarted) {
        videoStarted = false;
        stopVideo();
    }
    if (!systemStarted) releaseRuntimeDir();
}

// SDL counts its subsystem starts: the window and windowSystemStart each hold one.
bool startVideo() {
    provideRuntimeDir();
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");  // SIGINT/SIGTERM are ours (installQuitSignals)
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) return true;
    std::fprintf(stderr, "veldrin: the video system did not start: %s\n", SDL_GetError());
    if (!systemStarted) releaseRuntimeDir();
    return false;
}

void setGlAttributes(const WindowDesc& desc) {
    SDL_GL_ResetAttributes();
    // glBegin, the fixed-function pipeline and GLU: a compatibility context.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_COMPATIBILITY);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_RED_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_GREEN_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_BLUE_SIZE, 8);
    SDL_GL_SetAttribute(SDL_GL_ALPHA_SIZE, desc.alphaBits > 0 ? desc.alphaBits : 0);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, desc.depthBits > 16 ? desc.depthBits : 16);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, desc.stencilBits > 0 ? desc.stencilBits : 0);
}

SDL_Window* openWindow(const WindowDesc& desc, Uint32 extraFlags) {
    const Uint32 flags = SDL_WINDOW_OPENGL | (desc.hidden ? SDL_WINDOW_HIDDEN : SDL_WINDOW_SHOWN) | extraFlags;
    return SDL_CreateWindow(desc.title != nullptr ? desc.title : "", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                            desc.width, desc.height, flags);
}

// A real change of the display mode to width × height, checked afterwards: some servers
// accept the request and keep their own size.
bool switchToFullscreen(SDL_Window* target, int width, int height) {
    const int display = SDL_GetWindowDisplayIndex(target);
    if (display < 0) return false;
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    SDL_DisplayMode closest{};
    if (SDL_GetClosestDisplayMode(display, &wanted, &closest) == nullptr) return false;
    if (closest.w != width || closest.h != height) return false;
    if (SDL_SetWindowDisplayMode(target, &closest) != 0) return false;
    if (SDL_SetWindowFullscreen(target, SDL_WINDOW_FULLSCREEN) != 0) return false;
    SDL_PumpEvents();
    SDL_DisplayMode current{};
    if (SDL_GetCurrentDisplayMode(display, &current) != 0 || current.w != width || current.h != height) return false;
    int drawableWidth = 0;
    int drawableHeight = 0;
    SDL_GL_GetDrawableSize(target, &drawableWidth, &drawableHeight);
    return drawableWidth == width && drawableHeight == height;
}

void setIcon(const WindowDesc& desc) {
    for (const WindowIcon& icon : desc.icons) {
        if (icon.pixels == nullptr || (icon.channels != 3 && icon.channels != 4)) continue;
        const Uint32 format = icon.channels == 4 ? SDL_PIXELFORMAT_RGBA32 : SDL_PIXELFORMAT_RGB24;
        // SDL only reads the pixels: it keeps a copy of its own.
        SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(const_cast<unsigned char*>(icon.pixels), icon.width,
                                                                  icon.height, icon.channels * 8,
                                                                  icon.width * icon.channels, format);
        if (surface == nullptr) continue;
        SDL_SetWindowIcon(window, surface);
        SDL_FreeSurface(surface);
        return;
    }
}

}  // namespace

WindowResult windowCreate(const WindowDesc& desc) {
    WindowResult result;
    if (window != nullptr || desc.width <= 0 || desc.height <= 0) return result;
    quietBoxes = desc.hidden;

    if (!startVideo()) {
        result.systemFailed = true;
        return result;
    }
    videoStarted = true;
    setGlAttributes(desc);

    // Without a display there is no mode to switch: the offscreen surface is the size asked.
    const bool trySwitch = desc.fullscreen && !isHeadlessDriver(SDL_GetCurrentVideoDriver());
    bool switched = false;
    if (trySwitch) {
        window = openWindow(desc, 0);
        switched = window != nullptr && switchToFullscreen(window, desc.width, desc.height);
        if (!switched) {
            if (window != nullptr) SDL_DestroyWindow(window);
            window = nullptr;
            result.modeSwitchFailed = true;
        }
    }
    if (window == nullptr) window = openWindow(desc, SDL_WINDOW_RESIZABLE);
    if (window == nullptr) {
        std::fprintf(stderr, "veldrin: no window: %s\n", SDL_GetError());
        releaseAll();
        return WindowResult{};
    }
    setIcon(desc);

    context = SDL_GL_CreateContext(window);
    if (context == nullptr || SDL_GL_MakeCurrent(window, context) != 0) {
        std::fprintf(stderr, "veldrin: no OpenGL context: %s\n", SDL_GetError());
        releaseAll();
        return WindowResult{};
    }
    keepLoadedLibrariesLoaded();
    // The shell paces frames itself unless windowTrySwapInterval60 says vsync is 60 Hz.
    SDL_GL_SetSwapInterval(0);
    keepDestinationAlphaAtOne([] { SDL_GL_SwapWindow(window); });

    if (switched) {
        SDL_ShowCursor(SDL_DISABLE);
        cursorHidden = true;
    }
    result.created = true;
    SDL_GL_GetDrawableSize(window, &result.drawableWidth, &result.drawableHeight);
    return result;
}

void windowDestroy() { releaseAll(); }

bool windowSystemStart() {
    if (systemStarted) return true;
    systemStarted = startVideo();
    return systemStarted;
}

void windowSystemStop() {
    if (!systemStarted) return;
    systemStarted = false;
    stopVideo();
    if (window == nullptr) releaseRuntimeDir();
}

// SDL switches the mode when the fullscreen window is made (windowCreate), so here the question is
// only whether the display has the mode at all. Headless there is nothing to switch: the
// offscreen surface is the size asked, which is as good as a switch.
bool displaySwitchMode(int width, int height, int) {
    if (!windowSystemStart()) return false;
    if (isHeadlessDriver(SDL_GetCurrentVideoDriver())) return true;
    SDL_DisplayMode wanted{};
    wanted.w = width;
    wanted.h = height;
    SDL_DisplayMode closest{};
    return SDL_GetClosestDisplayMode(0, &wanted, &closest) != nullptr && closest.w == width && closest.h == height;
}

// SDL gives the user's mode back when the fullscreen window goes.
void displayRestoreMode() {}

int virtualKeyFromKeycode(int code) {
    if (code >= 'a' && code <= 'z') return code - 'a' + 'A';
    if ((code >= 'A' && code <= 'Z') || (code >= '0' && code <= '9')) return code;
    if (code >= SDLK_F1 && code <= SDLK_F12) return 112 + (code - SDLK_F1);
    if (code >= SDLK_KP_1 && code <= SDLK_KP_9) return 97 + (code - SDLK_KP_1);
    switch (code) {
        case SDLK_ESCAPE: return 27;
        case SDLK_RETURN:
        case SDLK_KP_ENTER: return 13;
        case SDLK_SPACE: return 32;
        case SDLK_BACKSPACE: return 8;
        case SDLK_TAB: return 9;
        case SDLK_LEFT: return 37;
        case SDLK_UP: return 38;
        case SDLK_RIGHT: return 39;
        case SDLK_DOWN: return 40;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return 16;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return 17;
        case SDLK_LALT:
        case SDLK_RALT: return 18;
        case SDLK_KP_0: return 96;
        case SDLK_PAGEUP: return 33;
        case SDLK_PAGEDOWN: return 34;
        case SDLK_END: return 35;
        case SDLK_HOME: return 36;
        case SDLK_INSERT: return 45;
        case SDLK_DELETE: return 46;
        default: return 0;
    }
}

void windowPumpEvents(int* keys, WindowEvents& events) {
    events = WindowEvents{};
    if (window != nullptr) {
        SDL_Event event;
        while (SDL_PollEvent(&event) != 0) {
            switch (event.type) {
                case SDL_QUIT: events.quit = true; break;
                case SDL_WINDOWEVENT:
                    if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
                        events.quit = true;
                    } else if (event.window.event == SDL_WINDOWEVENT_SIZE_CHANGED) {
                        // The viewport wants pixels, which differ from window units on high-DPI screens.
                        events.resized = true;
                        windowDrawableSize(events.width, events.height);
                    }
                    break;
                case SDL_KEYDOWN:
                case SDL_KEYUP: {
                    const int code = virtualKeyFromKeycode(event.key.keysym.sym);
                    if (keys != nullptr && code > 0 && code <= 255) keys[code] = event.type == SDL_KEYDOWN ? 1 : 0;
                    break;
                }
                default: break;
            }
        }
    }
    if (quitSignalled()) events.quit = true;
}

void windowSwap() {
    if (window != nullptr) SDL_GL_SwapWindow(window);
}

bool windowTrySwapInterval60() {
    if (window == nullptr) return false;
    // The offscreen driver accepts an interval and ignores it: no vsync to rely on.
    if (!isHeadlessDriver(SDL_GetCurrentVideoDriver()) && SDL_GL_SetSwapInterval(1) == 0) {
        SDL_DisplayMode mode{};
        const int display = SDL_GetWindowDisplayIndex(window);
        if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate >= 59 &&
            mode.refresh_rate <= 61) {
            return true;
        }
    }
    SDL_GL_SetSwapInterval(0);
    return false;
}

void windowDrawableSize(int& width, int& height) {
    width = 0;
    height = 0;
    if (window != nullptr) SDL_GL_GetDrawableSize(window, &width, &height);
}

bool windowHasDisplay() {
    if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
        const char* driver = SDL_GetCurrentVideoDriver();
        return driver != nullptr && !isHeadlessDriver(driver);
    }
    // No video running (before the window, or after it failed): ask whether a window system
    // answers, without keeping anything open.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("WAYLAND_DISPLAY") == nullptr) return false;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool real = driver != nullptr && !isHeadlessDriver(driver);
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    return real;
}

void showErrorBox(const char* text, const char* caption) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "";
    std::fprintf(stderr, "veldrin: %s: %s\n", caption, text);
    if (!quietBoxes && windowHasDisplay()) {
        SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_WARNING, caption, text, nullptr);
    }
}

void installQuitSignals() {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    struct sigaction action{};
    action.sa_handler = onQuitSignal;
    sigemptyset(&action.sa_mask);
    // One request ends the program in order; a second of the same kind ends it at once.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool quitSignalled() { return quitRequested.load() != 0; }
