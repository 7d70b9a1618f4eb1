// The capture's framebuffer: colour (RGB, no alpha, so the blending reads destination alpha as
// 1 as on screen), depth and stencil, at any size the GL allows.
#pragma once

#include <cstdint>
#include <string>

class OffscreenTarget {
public:
    OffscreenTarget() = default;
    ~OffscreenTarget() { destroy(); }
    OffscreenTarget(const OffscreenTarget&) = delete;
    OffscreenTarget& operator=(const OffscreenTarget&) = delete;

    // Creates and binds it for drawing. False, with the reason, when the GL cannot have it.
    bool create(int width, int height, std::string& error);
    void destroy();
    // Reads the frame as packed RGB rows, bottom row first (as the GL stores them).
    void read(std::uint8_t* rgb) const;

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t frameBytes() const { return std::size_t(width_) * std::size_t(height_) * 3; }

private:
    unsigned int framebuffer_ = 0;
    unsigned int colour_ = 0;
    unsigned int depth_ = 0;
    int width_ = 0;
    int height_ = 0;
};
