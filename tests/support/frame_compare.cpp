// Frame comparison and the reference pictures.
#include "tests/support/frame_compare.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "image/png_decode.h"

FrameDifference compareFrames(const std::vector<std::uint8_t>& frame, const std::vector<std::uint8_t>& reference,
                              FrameTolerance tolerance) {
    FrameDifference result;
    result.tolerance = tolerance;
    result.channels = std::min(frame.size(), reference.size());
    result.picture.resize(result.channels);
    for (std::size_t i = 0; i < result.channels; ++i) {
        const int d = std::abs(int(frame[i]) - int(reference[i]));
        result.beyond += d > tolerance.levels ? 1 : 0;
        result.largest = std::max(result.largest, d);
        result.picture[i] = std::uint8_t(std::min(255, d * 8));
    }
    // Frames of different sizes never match.
    if (frame.size() != reference.size()) result.beyond = result.channels + 1;
    return result;
}

std::string referenceFramePath(int second, const char* suffix) {
    char name[64];
    std::snprintf(name, sizeof name, "/tests/reference/frame-%03d%s.png", second, suffix);
    return std::string(VELDRIN_SOURCE_DIR) + name;
}

std::vector<std::uint8_t> readReferenceFrame(int second, int& width, int& height) {
    std::ifstream file(referenceFramePath(second), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    PngImage image;
    if (!decodePng(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), image) || image.channels != 3)
        return {};
    width = image.width;
    height = image.height;
    return image.pixels;
}
