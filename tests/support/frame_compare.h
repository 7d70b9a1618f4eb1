// The one comparison of a drawn frame with a committed reference picture, at the tolerance of
// the renderer that drew it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// How far a renderer's frames may stray from the references: by more than `levels` on at most
// `share` of the channels. Each one is set from what that renderer was measured to differ by,
// so that a small real fault (a texture sampled differently, a part turning the wrong way, a
// colour a few levels off) still shows.
struct FrameTolerance {
    int levels = 0;
    double share = 0.0;
};
// The desktop's llvmpipe, through any of its paths (SDL's offscreen EGL, GLX under Xvfb): the
// references come from it, and both paths draw all nine moments to the bit.
constexpr FrameTolerance kLlvmpipe{0, 0.0};
// Chromium's SwiftShader drawing the page rasterises the 3D geometry's edges apart from
// llvmpipe: measured over eight of the moments (all but the wire-frame one at 155 s), at most
// 0.103 % of the channels differ by more than 2 levels (0.40 % by more than 1), though a few
// by up to 251.
constexpr FrameTolerance kSwiftShader{2, 0.0015};
// Firefox and WebKit draw the page's WebGL on Mesa's llvmpipe too, each through its own GL
// layer: measured over the same eight moments, at most 0.0133 % of the channels differ by
// more than 2 levels (a few edge pixels at 65 s, in both), and Firefox draws five to the bit.
constexpr FrameTolerance kMesaWebGL{2, 0.0002};

struct FrameDifference {
    std::size_t channels = 0;  // compared
    std::size_t beyond = 0;    // differing by more than the tolerance's levels
    int largest = 0;           // the largest difference, in levels
    std::vector<std::uint8_t> picture;  // |difference| × 8 per channel, to look at
    FrameTolerance tolerance;
    bool within() const { return double(beyond) <= double(channels) * tolerance.share; }
};

// Packed RGB rows of the same size, top row first.
FrameDifference compareFrames(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& reference,
                              FrameTolerance tolerance);

// A PNG file as packed RGB rows, top row first, and its size; empty when it cannot be read.
std::vector<std::uint8_t> readPngRgb(const std::string& path, int& width, int& height);
// The committed reference picture of that second of the show (tests/reference/frame-SSS.png),
// as packed RGB rows; empty when it cannot be read.
std::vector<std::uint8_t> readReferenceFrame(int second, int& width, int& height);
std::string referenceFramePath(int second, const char* suffix = "");
