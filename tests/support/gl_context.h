// A hidden 800 × 600 GL context for the tests that draw (SDL's offscreen driver when there is
// no display), with the shell's fixed GL state, and pixel read-back.
#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "app/offscreen.h"

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
};

class GlContext {
public:
    // Creates the context, sets the shell's GL state and viewport; textures only when asked
    // (decoding all 17 takes a moment).
    explicit GlContext(bool withTextures = false);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    bool ok() const { return ok_; }
    int width() const { return width_; }
    int height() const { return height_; }

    // Reads the colour buffer, rows top to bottom (unlike glReadPixels).
    std::vector<Rgb> readPixels() const;
    // The pixel at (x, y) with y counted from the top.
    static Rgb at(const std::vector<Rgb>& pixels, int width, int x, int y);

private:
    bool ok_ = false;
    int width_ = 0;
    int height_ = 0;
};

// A test that draws: skipped (not failed) only when no GL context can be had at all.
class GlTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    virtual bool wantTextures() const { return false; }
    std::vector<Rgb> pixels() const { return gl_->readPixels(); }
    Rgb pixel(const std::vector<Rgb>& p, int x, int y) const { return GlContext::at(p, gl_->width(), x, y); }

    GlContext* gl_ = nullptr;
};

// A test that draws the whole demo with its textures into a small framebuffer (200 × 150): the
// software rasteriser stays fast and the view keeps its 45 degrees.
class SmallFrameTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }
    void SetUp() override;

    OffscreenTarget target_;
};
