// The window layer: the hidden GL context the tests and the capture draw into, destination
// alpha, the private runtime folder, quit signals and error output.
#include <csignal>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "gfx/gl.h"
#include "platform/window.h"
#include "tests/support/gl_context.h"

namespace {

WindowDesc hiddenDesc() {
    WindowDesc desc;
    desc.title = "veldrin window test";
    desc.hidden = true;
    return desc;
}

// Paints the whole viewport with one colour in 2D, depth off.
void fillScreen(float r, float g, float b, float a) {
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(r, g, b, a);
    glBegin(GL_QUADS);
    glVertex2f(-1.0f, -1.0f);
    glVertex2f(1.0f, -1.0f);
    glVertex2f(1.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glEnd();
}

// Writes alpha 0 everywhere, then multiplies a colour by the destination alpha: the result
// keeps the colour only where destination alpha still reads 1.
Rgb colourThroughDestinationAlpha() {
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDisable(GL_BLEND);
    fillScreen(0.2f, 0.2f, 0.2f, 0.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_ALPHA, GL_ZERO);
    fillScreen(1.0f, 0.5f, 0.25f, 1.0f);
    glDisable(GL_BLEND);
    Rgb pixel;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(400, 300, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, &pixel);
    return pixel;
}

void expectFullColour(Rgb pixel) {
    EXPECT_EQ(pixel.r, 255);
    EXPECT_NEAR(pixel.g, 128, 1);
    EXPECT_NEAR(pixel.b, 64, 1);
}

using WindowTest = GlTest;

TEST_F(WindowTest, HiddenContextHasTheBuffersTheDemoAsksFor) {
    EXPECT_EQ(gl_->width(), 800);
    EXPECT_EQ(gl_->height(), 600);
    int width = 0, height = 0;
    windowDrawableSize(width, height);
    EXPECT_EQ(width, 800);
    EXPECT_EQ(height, 600);
    GLint bits[5] = {};
    const GLenum what[5] = {GL_RED_BITS, GL_GREEN_BITS, GL_BLUE_BITS, GL_DEPTH_BITS, GL_STENCIL_BITS};
    for (int i = 0; i < 5; ++i) glGetIntegerv(what[i], &bits[i]);
    EXPECT_EQ(bits[0], 8);
    EXPECT_EQ(bits[1], 8);
    EXPECT_EQ(bits[2], 8);
    EXPECT_GE(bits[3], 16);
    EXPECT_GE(bits[4], 1);
    GLboolean doubleBuffered = GL_FALSE;
    glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
    if (windowHasDisplay()) {
        EXPECT_TRUE(doubleBuffered);  // offscreen draws into a single pbuffer
    }

    // Fixed function works, and a second window is refused while this one lives.
    expectFullColour(colourThroughDestinationAlpha());
    EXPECT_FALSE(windowCreate(hiddenDesc()).created);
    WindowEvents events;
    int keys[256] = {};
    windowPumpEvents(keys, events);
    EXPECT_FALSE(events.quit);
    EXPECT_FALSE(windowTrySwapInterval60() && !windowHasDisplay());  // never vsync offscreen
}

TEST(Window, DestinationAlphaReadsOneEvenWhenTheBufferHasAlpha) {
    WindowDesc desc = hiddenDesc();
    desc.alphaBits = 8;
    const WindowResult result = windowCreate(desc);
    if (!result.created) GTEST_SKIP() << "no OpenGL context available";
    GLint alphaBits = 0;
    glGetIntegerv(GL_ALPHA_BITS, &alphaBits);
    glViewport(0, 0, result.drawableWidth, result.drawableHeight);
    // Both buffers of the swap chain, not only the first.
    for (int frame = 0; frame < 3; ++frame) {
        SCOPED_TRACE(testing::Message() << "frame " << frame << ", alpha bits " << alphaBits);
        expectFullColour(colourThroughDestinationAlpha());
        windowSwap();
    }
    windowDestroy();
}

TEST(Window, HeadlessFullscreenAndRepeatedCreation) {
    for (int round = 0; round < 2; ++round) {
        WindowDesc desc = hiddenDesc();
        desc.fullscreen = true;
        const WindowResult result = windowCreate(desc);
        if (!result.created) GTEST_SKIP() << "no OpenGL context available";
        EXPECT_FALSE(result.systemFailed);
        if (!windowHasDisplay()) {
            // Nothing to switch without a display, so nothing failed.
            EXPECT_FALSE(result.modeSwitchFailed);
            EXPECT_EQ(result.drawableWidth, 800);
            EXPECT_EQ(result.drawableHeight, 600);
            EXPECT_FALSE(windowTrySwapInterval60());
        } else if (!result.modeSwitchFailed) {
            EXPECT_EQ(result.drawableWidth, 800);  // a switch that is reported really happened
            EXPECT_EQ(result.drawableHeight, 600);
        }
        windowDestroy();
    }
}

TEST(Window, FailuresAreToldApartAndReleaseEverything) {
    const char* saved = std::getenv("SDL_VIDEODRIVER");
    const std::string previous = saved != nullptr ? saved : "";
    testing::internal::CaptureStderr();
    setenv("SDL_VIDEODRIVER", "no-such-driver", 1);
    const WindowResult noVideo = windowCreate(hiddenDesc());
    setenv("SDL_VIDEODRIVER", "dummy", 1);  // video without OpenGL
    const WindowResult noGl = windowCreate(hiddenDesc());
    if (saved != nullptr) setenv("SDL_VIDEODRIVER", previous.c_str(), 1);
    else unsetenv("SDL_VIDEODRIVER");
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(noVideo.systemFailed);
    EXPECT_FALSE(noVideo.created);
    EXPECT_FALSE(noGl.systemFailed);
    EXPECT_FALSE(noGl.created);

    // Nothing was left behind: a working window can still be made.
    const WindowResult result = windowCreate(hiddenDesc());
    if (!result.created) GTEST_SKIP() << "no OpenGL context available";
    EXPECT_EQ(result.drawableWidth, 800);
    windowDestroy();
}

TEST(Window, PrivateRuntimeFolderLivesOnlyAsLongAsTheWindow) {
    if (std::getenv("XDG_RUNTIME_DIR") != nullptr) GTEST_SKIP() << "XDG_RUNTIME_DIR is set by the environment";
    testing::internal::CaptureStderr();
    const WindowResult result = windowCreate(hiddenDesc());
    const std::string err = testing::internal::GetCapturedStderr();
    if (!result.created) GTEST_SKIP() << "no OpenGL context available";
    EXPECT_EQ(err.find("XDG_RUNTIME_DIR"), std::string::npos) << err;
    const char* dir = std::getenv("XDG_RUNTIME_DIR");
    ASSERT_NE(dir, nullptr);
    const std::string path = dir;
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    windowDestroy();
    EXPECT_EQ(std::getenv("XDG_RUNTIME_DIR"), nullptr);
    EXPECT_NE(stat(path.c_str(), &info), 0);
}

TEST_F(WindowTest, ErrorBoxesAlwaysReachStderr) {
    testing::internal::CaptureStderr();
    showErrorBox("Mode Switch Failed.\nRunning In Windowed Mode.", "Error");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "veldrin: Error: Mode Switch Failed.\nRunning In Windowed Mode.\n");
}

TEST(WindowDeathTest, QuitSignalsEndThePumpAndASecondSignalEndsTheProcess) {
    EXPECT_EXIT(
        {
            installQuitSignals();
            WindowEvents events;
            windowPumpEvents(nullptr, events);  // works without a window, as the capture uses it
            if (events.quit || quitSignalled()) std::_Exit(3);
            std::raise(SIGTERM);
            windowPumpEvents(nullptr, events);
            if (!events.quit || !quitSignalled()) std::_Exit(4);
            std::raise(SIGTERM);
            std::_Exit(5);
        },
        testing::KilledBySignal(SIGTERM), "");
    EXPECT_EXIT(
        {
            installQuitSignals();
            std::raise(SIGINT);
            std::_Exit(quitSignalled() ? 0 : 6);
        },
        testing::ExitedWithCode(0), "");
}

}  // namespace
