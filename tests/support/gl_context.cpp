// GlContext over the platform's window layer, hidden.
#include "tests/support/gl_context.h"

#include "app/shell.h"
#include "app/shell_state.h"
#include "gfx/sine_table.h"
#include "platform/gl.h"
#include "platform/window.h"

GlContext::GlContext(bool withTextures) {
    windowWidth = 800.0f;
    windowHeight = 600.0f;
    WindowDesc desc;
    desc.title = "veldrin tests";
    desc.width = 800;
    desc.height = 600;
    desc.hidden = true;
    const WindowResult result = windowCreate(desc);
    if (!result.created) return;
    ok_ = true;
    width_ = result.drawableWidth;
    height_ = result.drawableHeight;
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glDepthFunc(GL_LEQUAL);
    glEnable(GL_DEPTH_TEST);
    glShadeModel(GL_SMOOTH);
    glHint(GL_PERSPECTIVE_CORRECTION_HINT, GL_NICEST);
    setViewport(width_, height_);
    buildSineTable();
    if (withTextures) registerTextures();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

GlContext::~GlContext() {
    if (ok_) windowDestroy();
}

std::vector<Rgb> GlContext::readPixels() const {
    std::vector<Rgb> bottomUp(std::size_t(width_) * std::size_t(height_));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<Rgb> topDown(bottomUp.size());
    for (int y = 0; y < height_; ++y) {
        const std::size_t from = std::size_t(height_ - 1 - y) * std::size_t(width_);
        std::copy_n(bottomUp.begin() + std::ptrdiff_t(from), width_, topDown.begin() + std::ptrdiff_t(std::size_t(y) * std::size_t(width_)));
    }
    return topDown;
}

Rgb GlContext::at(const std::vector<Rgb>& pixels, int width, int x, int y) {
    return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)];
}

void GlTest::SetUp() {
    gl_ = new GlContext(wantTextures());
    if (!gl_->ok()) GTEST_SKIP() << "no OpenGL context available";
}

void GlTest::TearDown() {
    delete gl_;
    gl_ = nullptr;
}

void SmallFrameTest::SetUp() {
    GlTest::SetUp();
    if (IsSkipped()) return;
    std::string error;
    ASSERT_TRUE(target_.create(200, 150, error)) << error;
    setViewport(200, 150);
}
