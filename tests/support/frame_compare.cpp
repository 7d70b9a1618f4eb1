// Frame comparison and the reference pictures.
#include "tests/support/frame_compare.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "image/png_decode.h"
#include "tests/support/files.h"

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

std::vector<std::uint8_t> readPngRgb(const std::string& path, int& width, int& height) {
    const std::string bytes = readFile(path);
    PngImage image;
    std::vector<std::uint8_t> rgb;
    if (!decodePng(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), image) || image.channels < 3)
        return rgb;
    width = image.width;
    height = image.height;
    for (std::size_t i = 0; i < image.pixels.size(); i += std::size_t(image.channels))
        rgb.insert(rgb.end(), &image.pixels[i], &image.pixels[i] + 3);
    return rgb;
}

std::vector<std::uint8_t> readReferenceFrame(int second, int& width, int& height) {
    return readPngRgb(referenceFramePath(second), width, height);
}
