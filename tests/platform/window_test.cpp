// The window layer: the hidden GL context the tests and the capture draw into, destination
// alpha, the private runtime folder, the Escape key, quit signals and error output.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/gl.h"
#include "platform/window.h"
#include "platform/sdl/virtual_keys.h"
#include "tests/support/gl_context.h"
#include "tests/support/require.h"

namespace {

WindowDesc hiddenDesc() {
    WindowDesc desc;
    desc.title = "veldrin window test";
    desc.hidden = true;
    return desc;
}

// Writes alpha 0 over the whole viewport, then multiplies a colour by the destination alpha: the
// result keeps the colour only where destination alpha still reads 1.
void expectDestinationAlphaReadsOne() {
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glColor4f(0.2f, 0.2f, 0.2f, 0.0f);
    glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
    glEnable(GL_BLEND);
    glBlendFunc(GL_DST_ALPHA, GL_ZERO);
    glColor4f(1.0f, 0.5f, 0.25f, 1.0f);
    glRectf(-1.0f, -1.0f, 1.0f, 1.0f);
    glDisable(GL_BLEND);
    Rgb pixel;
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(400, 300, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, &pixel);
    EXPECT_EQ(pixel.r, 255);
    EXPECT_NEAR(pixel.b, 64, 1);
}

using WindowTest = GlTest;

TEST_F(WindowTest, IsTheOnlyOneAndReportsErrorsAndTheEscapeKey) {
    EXPECT_FALSE(windowCreate(hiddenDesc()).created) << "a second window while this one lives";
    // Error boxes always reach stderr too.
    testing::internal::CaptureStderr();
    showErrorBox("Mode Switch Failed.", "Error");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "veldrin: Error: Mode Switch Failed.\n");
    // Escape is what ends the show from the keyboard; nothing maps outside the key array.
    EXPECT_EQ(virtualKeyFromKeycode(27), 27);
    EXPECT_EQ(virtualKeyFromKeycode('q'), 'Q');
    for (int code : {0, 1 << 30, (1 << 30) + 1023, -1}) EXPECT_EQ(virtualKeyFromKeycode(code) & ~255, 0) << code;
}

// Headless fullscreen has no mode to switch, so nothing failed. Without a runtime folder from
// the environment the window makes a private one (no warning) that lives as long as the window,
// with whatever others put in it.
TEST(Window, AFullscreenWindowWithAlphaKeepsDestinationAlphaAtOneAndItsRuntimeFolderPrivate) {
    unsetenv("XDG_RUNTIME_DIR");  // each test runs in a process of its own
    WindowDesc desc = hiddenDesc();
    desc.fullscreen = true;
    desc.alphaBits = 8;
    testing::internal::CaptureStderr();
    const WindowResult result = windowCreate(desc);
    const std::string err = testing::internal::GetCapturedStderr();
    REQUIRE_OR_SKIP(result.created, "no OpenGL context available");
    EXPECT_EQ(std::pair(result.drawableWidth, result.drawableHeight), std::pair(800, 600));
    EXPECT_FALSE(result.modeSwitchFailed && !windowHasDisplay());
    EXPECT_EQ(err.find("XDG_RUNTIME_DIR"), std::string::npos) << err;
    const std::string runtimeDir = std::getenv("XDG_RUNTIME_DIR") != nullptr ? std::getenv("XDG_RUNTIME_DIR") : "";
    struct stat info {};
    ASSERT_EQ(stat(runtimeDir.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    std::fclose(std::fopen((runtimeDir + "/left-by-a-sound-server").c_str(), "w"));
    // Destination alpha reads 1 even when the buffer has alpha, in every buffer of the swap chain.
    glViewport(0, 0, result.drawableWidth, result.drawableHeight);
    for (int frame = 0; frame < 3; ++frame, windowSwap()) {
        SCOPED_TRACE(testing::Message() << "frame " << frame);
        expectDestinationAlphaReadsOne();
    }
    windowDestroy();
    EXPECT_EQ(std::getenv("XDG_RUNTIME_DIR"), nullptr);
    EXPECT_NE(stat(runtimeDir.c_str(), &info), 0) << "the runtime folder is left behind";
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
}

}  // namespace
