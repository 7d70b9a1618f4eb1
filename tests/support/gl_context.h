// The tests that draw: a hidden 800 × 600 GL context (SDL's offscreen driver when there is no
// display) with the shell's fixed GL state, and pixel read-back.
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

// Skipped (not failed) only when no GL context can be had at all.
class GlTest : public testing::Test {
protected:
    // The context, the shell's GL state and viewport; the 17 textures only when asked (decoding
    // them all takes a moment).
    void SetUp() override;
    void TearDown() override;
    virtual bool wantTextures() const { return false; }
    // The colour buffer, rows top to bottom (unlike glReadPixels).
    std::vector<Rgb> pixels() const;

    int width_ = 0;
    int height_ = 0;

private:
    bool open_ = false;
};

// Draws the whole demo with its textures into a small framebuffer (200 × 150): the software
// rasteriser stays fast and the view keeps its 45 degrees.
class SmallFrameTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }
    void SetUp() override;

    OffscreenTarget target_;
};
