// The shell: start-up, the main loop with its frame pacing, and the teardown.
#include "app/shell.h"

#include <cstdio>
#include <thread>
#include <vector>

#include "app/catch_up.h"
#include "app/show_run.h"
#include "app/shell_state.h"
#include "assets/embedded.h"
#include "gfx/sine_table.h"
#include "sound/audio_output.h"
#include "platform/clock.h"
#include "platform/debug_print.h"
#include "platform/frame_loop.h"
#include "platform/gl.h"
#include "image/png_decode.h"
#include "platform/threads.h"
#include "platform/window.h"
#include "timeline/demo.h"

namespace {

constexpr const char* kTitle = "veldrin | korrimeet 2006";

// The image table: key and file, in the order that fixes every key's position.
constexpr const char* kTextureKeys[] = {
    "bg01",    "cloud",   "laser",   "korrimeet", "tavopresents", "veldrin", "code",    "music",   "greeting",
    "fendrak", "yonveck", "drassel", "keltu",     "movrin",       "pashtek", "zelimor", "quorvan",
};

float lastAspect = 800.0f / 600.0f;

const EmbeddedAsset* imageOf(const char* key) {
    char file[32];
    std::snprintf(file, sizeof file, "%s.png", key);
    return findEmbeddedAsset(file);
}

// Decoding the images is pure CPU work that does not need the GL: it runs on a thread of its
// own while the window and the context are being made, and registerTextures uploads the
// results in their fixed order.
struct ImagePreload {
    static constexpr std::size_t kCount = sizeof kTextureKeys / sizeof kTextureKeys[0];
    std::thread thread;
    PngImage images[kCount];
    bool decoded[kCount] = {};

    void start() {
        // Without threads registerTextures decodes each image as it uploads it.
        if (!kThreadsAvailable || thread.joinable()) return;
        // Read here, not on the thread: the window's start-up sets environment variables, and
        // reading the environment while it changes is not safe.
        const double gamma = screenGamma();
        thread = std::thread([this, gamma] {
            for (std::size_t i = 0; i < kCount; ++i) {
                const EmbeddedAsset* image = imageOf(kTextureKeys[i]);
                decoded[i] = image != nullptr &&
                             decodePngForTexture(image->data, image->size, gamma, kPngMaxSide, images[i]);
            }
        });
    }
    ~ImagePreload() {
        if (thread.joinable()) thread.join();
    }
};

ImagePreload preload;

}  // namespace

void setViewport(int width, int height) {
    glViewport(0, 0, width, height);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    // A minimised window has no height; keep the last aspect so the projection stays usable.
    if (width > 0 && height > 0) lastAspect = float(width) / float(height);
    gluPerspective(45.0, lastAspect, 1.0, 1000.0);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

int createMainWindow() {
    WindowDesc desc;
    desc.title = kTitle;
    desc.width = int(windowWidth);
    desc.height = int(windowHeight);
    desc.depthBits = 16;
    desc.stencilBits = 1;
    const char* iconNames[2] = {"icon32.png", "icon16.png"};
    PngImage icons[2];
    for (int i = 0; i < 2; ++i) {
        const EmbeddedAsset* icon = findEmbeddedAsset(iconNames[i]);
        if (icon == nullptr || !decodePng(icon->data, icon->size, icons[i])) continue;
        desc.icons[i] = {icons[i].pixels.data(), icons[i].width, icons[i].height, icons[i].channels};
    }
    if (fullscreen == 1) {
        if (displaySwitchMode(desc.width, desc.height, colorBits)) {
            desc.fullscreen = true;
        } else {
            showErrorBox("Mode Switch Failed.\nRunning In Windowed Mode.", "Error");
            fullscreen = 0;
            // The window keeps the size asked for the screen, frame and all.
            desc.sizeIsClientArea = false;
        }
    }
    const WindowResult result = windowCreate(desc);
    if (result.systemFailed || !result.created) {
        // A failed start must not leave the user's screen in 800 × 600.
        if (fullscreen != 0) displayRestoreMode();
        if (!result.systemFailed) return 0;
        showErrorBox("RegisterClassEx Failed!", "Error");
        showErrorBox("Error Registering Window Class!", "Error");
        return -1;
    }
    if (result.modeSwitchFailed) {
        showErrorBox("Mode Switch Failed.\nRunning In Windowed Mode.", "Error");
        fullscreen = 0;
    }
    setViewport(result.drawableWidth, result.drawableHeight);
    return 1;
}

int destroyMainWindow() {
    windowDestroy();
    if (fullscreen != 0) displayRestoreMode();
    return 1;
}

void startImageDecoding() { preload.start(); }

void registerTextures() {
    const bool early = preload.thread.joinable();
    if (early) preload.thread.join();
    for (std::size_t i = 0; i < ImagePreload::kCount; ++i) {
        const char* key = kTextureKeys[i];
        const EmbeddedAsset* image = imageOf(key);
        const unsigned char* data = image != nullptr ? image->data : nullptr;
        const std::size_t size = image != nullptr ? image->size : 0;
        if (early) {
            demo.textures.add(data, size, key, preload.images[i], preload.decoded[i]);
            preload.images[i] = PngImage();  // the GL has its own copy now
        } else {
            demo.textures.add(data, size, key);
        }
    }
}

int startUp() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(100.0);  // clamped to 1 by GL
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    registerTextures();
    buildSineTable();
    demo.init();
    return 1;
}

int drawFrame() {
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glLoadIdentity();
    glEnable(GL_DEPTH_TEST);
    if (demo.update() == 0) return 0;
    demo.render();
    glDisable(GL_LIGHTING);
    return 1;
}

namespace {

// The frame loop may return before the run ends (in the browser), so the run does not live on
// runShell's stack.
ShowRun live;

bool liveFrame() {
    WindowEvents events;
    windowPumpEvents(keys, events);
    if (events.quit) return false;
    if (events.resized) setViewport(events.width, events.height);
    if (drawFrame() == 0 || keys[27] != 0) return false;
    // A swap on an offscreen (pbuffer) surface does not start the software rasteriser:
    // without the flush every frame's commands pile up, some 70 MB of them.
    glFlush();
    windowSwap();
    return true;
}

void endLive() {
    running = 0;
    live.stop();
}

}  // namespace

int runShell(const Options& options) {
    debugOutput = options.debug;
    fullscreen = options.windowed ? 0 : 1;
    installQuitSignals();

    ShowRunDesc desc;
    desc.fps = options.fps;
    desc.audio = AudioMode::Device;
    if (!live.start(desc)) return 1;

    if (options.start > 0.0) {
        live.audio()->followClock(true);
        if (!catchUp(options.start, live.steps())) {
            live.stop();
            return 0;
        }
    }
    // The clock runs on in real time before the sound takes over from it: the sound's thread
    // reads it from then on.
    live.live().goLive();
    live.audio()->followClock(false);

    running = 1;
    FrameLoop loop;
    loop.fps = options.fps.value();
    loop.frame = liveFrame;
    loop.finish = endLive;
    runFrameLoop(loop);
    return 0;
}
