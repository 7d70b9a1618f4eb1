// GlTest over the platform's window layer, hidden.
#include "tests/support/gl_context.h"
#include "tests/support/require.h"

#include <algorithm>

#include "app/shell.h"
#include "app/shell_state.h"
#include "gfx/sine_table.h"
#include "platform/gl.h"
#include "platform/window.h"

void GlTest::SetUp() {
    windowWidth = 800.0f;
    windowHeight = 600.0f;
    WindowDesc desc;
    desc.title = "veldrin tests";
    desc.hidden = true;
    const WindowResult result = windowCreate(desc);
    REQUIRE_OR_SKIP(result.created, "no OpenGL context available");
    open_ = true;
    width_ = result.drawableWidth;
    height_ = result.drawableHeight;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    setViewport(width_, height_);
    buildSineTable();
    if (wantTextures()) registerTextures();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void GlTest::TearDown() {
    if (open_) windowDestroy();
    open_ = false;
}

std::vector<Rgb> GlTest::pixels() const {
    std::vector<Rgb> bottomUp(std::size_t(width_) * std::size_t(height_));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<Rgb> topDown(bottomUp.size());
    for (std::size_t y = 0; y < std::size_t(height_); ++y) {
        const auto row = bottomUp.begin() + std::ptrdiff_t((std::size_t(height_) - 1 - y) * std::size_t(width_));
        std::copy_n(row, width_, topDown.begin() + std::ptrdiff_t(y * std::size_t(width_)));
    }
    return topDown;
}

void SmallFrameTest::SetUp() {
    GlTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(target_.create(200, 150, error)) << error;
    setViewport(200, 150);
}
