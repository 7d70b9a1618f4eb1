// The one window on Windows, made with the system's own calls: the window class "TAVO", the
// display-mode switch, a window with a double-buffered OpenGL context on its device context,
// the window procedure that keeps the key array, the message boxes and Ctrl-C on the console.
#include "platform/window.h"

#include <atomic>
#include <cstdio>

#include "platform/destination_alpha.h"
#include "platform/gl.h"
#include "platform/win32/messages.h"

namespace {

constexpr const char* kClassName = "TAVO";
constexpr WORD kIconResource = 101;
constexpr int kColorBits = 32;
// The DEVMODEA of Windows 95 and NT 4 (148 bytes) ends after the colour-management fields; the two
// panning fields newer headers add are never read for a mode change.
constexpr WORD kDevModeSize = 148;
static_assert(sizeof(DEVMODEA) >= kDevModeSize);
static_assert(sizeof(PIXELFORMATDESCRIPTOR) == 40);

HINSTANCE instance = nullptr;
bool classRegistered = false;
bool classForWindowOnly = false;  // registered by windowCreate itself: goes with the window
HWND window = nullptr;
HDC deviceContext = nullptr;
HGLRC renderingContext = nullptr;
bool modeSwitched = false;
// The last window was created hidden: tests or a capture, where nobody can click a box away.
bool quietBoxes = false;
bool loopTakesMessages = false;

// What the window procedure saw since the last windowPumpEvents.
int keyState[256] = {};
WindowEvents pending;

std::atomic<bool> quitRequested{false};

LRESULT CALLBACK windowProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_SIZE:
            // The shell sets the viewport before the next frame (WindowEvents::resized).
            pending.resized = true;
            pending.width = LOWORD(lParam);
            pending.height = HIWORD(lParam);
            return 0;
        case WM_ACTIVATE: return 0;
        case WM_CLOSE: PostQuitMessage(0); return 0;
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (wParam <= 255) {
                keyState[wParam] = message == WM_KEYDOWN ? 1 : 0;
                return 0;
            }
            break;
        default: break;
    }
    return DefWindowProcA(hwnd, message, wParam, lParam);
}

void reportFailure(const char* what) {
    std::fprintf(stderr, "veldrin: %s failed (Windows error %lu)\n", what, GetLastError());
}

// destroyMainWindow's order: the context, the device context, the window. Each handle is
// cleared as it goes, so a partly made window is released by the same steps.
void releaseWindow() {
    if (window != nullptr) {
        if (deviceContext != nullptr) {
            wglMakeCurrent(deviceContext, nullptr);
            if (renderingContext != nullptr) {
                wglDeleteContext(renderingContext);
                renderingContext = nullptr;
            }
            ReleaseDC(window, deviceContext);
            deviceContext = nullptr;
        }
        DestroyWindow(window);
        window = nullptr;
    }
    // The window procedure may have seen keys and sizes of the window that went.
    for (int& key : keyState) key = 0;
    pending = WindowEvents{};
    if (classForWindowOnly) {
        classForWindowOnly = false;
        windowSystemStop();
    }
}

void swapWindow() { SwapBuffers(deviceContext); }

using SwapIntervalCall = BOOL(WINAPI*)(int);

SwapIntervalCall swapIntervalCall() {
    return reinterpret_cast<SwapIntervalCall>(reinterpret_cast<void*>(wglGetProcAddress("wglSwapIntervalEXT")));
}

BOOL WINAPI onConsoleControl(DWORD type) {
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
    // A second request ends the process at once (the system's default handling), should the
    // program not get to its next pump.
    if (quitRequested.exchange(true)) return FALSE;
    return TRUE;
}

}  // namespace

bool windowSystemStart() {
    if (classRegistered) return true;
    instance = GetModuleHandleA(nullptr);
    WNDCLASSEXA windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_OWNDC;
    windowClass.lpfnWndProc = windowProcedure;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconResource));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.lpszClassName = kClassName;
    if (RegisterClassExA(&windowClass) == 0) {
        reportFailure("RegisterClassExA");
        return false;
    }
    classRegistered = true;
    return true;
}

void windowSystemStop() {
    if (!classRegistered) return;
    UnregisterClassA(kClassName, instance);
    classRegistered = false;
    classForWindowOnly = false;
}

bool displaySwitchMode(int width, int height, int colorBits) {
    DEVMODEA mode{};
    mode.dmSize = kDevModeSize;
    mode.dmPelsWidth = DWORD(width);
    mode.dmPelsHeight = DWORD(height);
    mode.dmBitsPerPel = DWORD(colorBits);
    mode.dmFields = DM_BITSPERPEL | DM_PELSWIDTH | DM_PELSHEIGHT;
    if (ChangeDisplaySettingsA(&mode, CDS_FULLSCREEN) != DISP_CHANGE_SUCCESSFUL) return false;
    modeSwitched = true;
    ShowCursor(FALSE);
    return true;
}

void displayRestoreMode() {
    if (!modeSwitched) return;
    ChangeDisplaySettingsA(nullptr, 0);
    ShowCursor(TRUE);
    modeSwitched = false;
}

WindowResult windowCreate(const WindowDesc& desc) {
    WindowResult result;
    if (window != nullptr || desc.width <= 0 || desc.height <= 0) return result;
    quietBoxes = desc.hidden;
    if (!classRegistered) {
        if (!windowSystemStart()) {
            result.systemFailed = true;
            return result;
        }
        classForWindowOnly = true;
    }

    DWORD style = WS_OVERLAPPEDWINDOW;
    DWORD extendedStyle = WS_EX_APPWINDOW;
    RECT rect{0, 0, desc.width, desc.height};
    if (desc.fullscreen) {
        style = WS_POPUP;
        extendedStyle = WS_EX_APPWINDOW | WS_EX_TOPMOST;
    } else if (desc.sizeIsClientArea) {
        AdjustWindowRectEx(&rect, style, FALSE, extendedStyle);
    }
    window = CreateWindowExA(extendedStyle, kClassName, desc.title != nullptr ? desc.title : "", style, 0, 0,
                             rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr, instance, nullptr);
    if (window == nullptr) {
        reportFailure("CreateWindowExA");
        releaseWindow();
        return result;
    }
    deviceContext = GetDC(window);
    if (deviceContext == nullptr) {
        reportFailure("GetDC");
        releaseWindow();
        return result;
    }

    PIXELFORMATDESCRIPTOR format{};
    format.nSize = sizeof format;
    format.nVersion = 1;
    format.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    format.iPixelType = PFD_TYPE_RGBA;
    format.cColorBits = BYTE(kColorBits & 0xff);
    format.cAlphaBits = BYTE(desc.alphaBits > 0 ? desc.alphaBits : 0);
    format.cDepthBits = BYTE(desc.depthBits > 16 ? desc.depthBits : 16);
    format.cStencilBits = BYTE(desc.stencilBits > 0 ? desc.stencilBits : 0);
    format.iLayerType = PFD_MAIN_PLANE;
    const int chosen = ChoosePixelFormat(deviceContext, &format);
    if (chosen == 0) {
        reportFailure("ChoosePixelFormat");
        releaseWindow();
        return result;
    }
    if (!SetPixelFormat(deviceContext, chosen, &format)) {
        reportFailure("SetPixelFormat");
        releaseWindow();
        return result;
    }
    renderingContext = wglCreateContext(deviceContext);
    if (renderingContext == nullptr) {
        reportFailure("wglCreateContext");
        releaseWindow();
        return result;
    }
    if (!wglMakeCurrent(deviceContext, renderingContext)) {
        reportFailure("wglMakeCurrent");
        releaseWindow();
        return result;
    }
    loadGlEntryPoints();
    // The shell paces frames itself unless windowTrySwapInterval60 says vsync is 60 Hz.
    if (const SwapIntervalCall setInterval = swapIntervalCall()) setInterval(0);
    keepDestinationAlphaAtOne(swapWindow);

    if (!desc.hidden) ShowWindow(window, SW_SHOWNORMAL);
    // Showing it sent the first size, which the caller sets its viewport from anyway.
    pending = WindowEvents{};
    RECT client{};
    GetClientRect(window, &client);
    result.created = true;
    result.drawableWidth = client.right - client.left;
    result.drawableHeight = client.bottom - client.top;
    return result;
}

void windowDestroy() { releaseWindow(); }

MessagePass windowTakeMessage() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) return MessagePass::None;
    if (message.message == WM_QUIT) {
        pending.quit = true;
        return MessagePass::Quit;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return MessagePass::Handled;
}

void windowLoopTakesMessages(bool taking) { loopTakesMessages = taking; }


void windowPumpEvents(int* keys, WindowEvents& events) {
    // Inside the frame loop the messages were taken there, one a pass; anywhere else every
    // waiting message is taken now.
    if (!loopTakesMessages) {
        while (windowTakeMessage() == MessagePass::Handled) {
        }
    }
    events = pending;
    pending = WindowEvents{};
    if (keys != nullptr) {
        for (int code = 0; code < 256; ++code) keys[code] = keyState[code];
    }
    if (quitSignalled()) events.quit = true;
}

void windowSwap() {
    if (deviceContext != nullptr) SwapBuffers(deviceContext);
}

bool windowTrySwapInterval60() {
    if (window == nullptr) return false;
    const SwapIntervalCall setInterval = swapIntervalCall();
    if (setInterval == nullptr) return false;
    const int refresh = GetDeviceCaps(deviceContext, VREFRESH);
    if (refresh >= 59 && refresh <= 61 && setInterval(1)) return true;
    setInterval(0);
    return false;
}

void windowDrawableSize(int& width, int& height) {
    width = 0;
    height = 0;
    RECT client{};
    if (window == nullptr || !GetClientRect(window, &client)) return;
    width = client.right - client.left;
    height = client.bottom - client.top;
}

// There is always a desktop to show a window or a box on.
bool windowHasDisplay() { return true; }

void showErrorBox(const char* text, const char* caption) {
    if (text == nullptr) text = "";
    if (caption == nullptr) caption = "";
    std::fprintf(stderr, "veldrin: %s: %s\n", caption, text);
    if (!quietBoxes) MessageBoxA(nullptr, text, caption, MB_ICONEXCLAMATION);
}

void installQuitSignals() { SetConsoleCtrlHandler(onConsoleControl, TRUE); }

bool quitSignalled() { return quitRequested.load(); }
