// Writes the PNG seed corpus: small images of every colour type and bit depth the decoder
// handles, palette with and without transparency, interlaced, with and without gAMA. Sides are
// mostly not powers of two, so the scaling to texture sizes is reached from the start.
//   make_png_corpus DIR
#include <cstdio>
#include <string>
#include <vector>

#include "image/png_write.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// Samples that vary along both axes; `limit` keeps palette indices and low bit depths valid.
Bytes samples(int width, int height, int channels, int bytesPerSample, int limit) {
    Bytes out(std::size_t(width * height * channels * bytesPerSample));
    for (std::size_t i = 0; i < out.size(); ++i) out[i] = std::uint8_t((i * 37 + i / 7) % std::size_t(limit));
    return out;
}

bool write(const std::string& dir, const std::string& name, int width, int height, int channels,
           const PngWriteOptions& options) {
    const int bytesPerSample = options.bitDepth == 16 ? 2 : 1;
    const int limit = options.palette != nullptr ? options.paletteSize
                      : options.bitDepth < 8     ? 1 << options.bitDepth
                                                 : 256;
    const Bytes pixels = samples(width, height, channels, bytesPerSample, limit);
    Bytes png;
    if (!encodePng(width, height, channels, pixels.data(), png, options)) {
        std::fprintf(stderr, "make_png_corpus: cannot encode %s\n", name.c_str());
        return false;
    }
    std::FILE* file = std::fopen((dir + "/" + name + ".png").c_str(), "wb");
    if (file == nullptr) return false;
    const bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_png_corpus DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    std::uint8_t palette[256 * 3];
    std::uint8_t alpha[256];
    for (int i = 0; i < 256; ++i) {
        palette[3 * i] = std::uint8_t(i);
        palette[3 * i + 1] = std::uint8_t(255 - i);
        palette[3 * i + 2] = std::uint8_t(i * 5);
        alpha[i] = std::uint8_t(i * 3);
    }
    bool ok = true;
    for (const int depth : {1, 2, 4, 8, 16}) {
        PngWriteOptions options;
        options.bitDepth = depth;
        ok &= write(dir, "gray" + std::to_string(depth), 7, 5, 1, options);
    }
    for (const int depth : {8, 16}) {
        PngWriteOptions options;
        options.bitDepth = depth;
        ok &= write(dir, "gray_alpha" + std::to_string(depth), 5, 3, 2, options);
        ok &= write(dir, "rgb" + std::to_string(depth), 6, 5, 3, options);
        ok &= write(dir, "rgba" + std::to_string(depth), 5, 6, 4, options);
    }
    for (const int depth : {1, 2, 4, 8}) {
        PngWriteOptions options;
        options.bitDepth = depth;
        options.palette = palette;
        options.paletteSize = 1 << depth < 16 ? 1 << depth : 13;
        ok &= write(dir, "palette" + std::to_string(depth), 9, 3, 1, options);
        options.paletteAlpha = alpha;
        options.paletteAlphaSize = depth == 1 ? 1 : options.paletteSize;
        ok &= write(dir, "palette_trns" + std::to_string(depth), 3, 9, 1, options);
    }
    {
        PngWriteOptions options;
        options.interlaced = true;
        ok &= write(dir, "rgb_interlaced", 11, 10, 3, options);
        options.bitDepth = 2;
        options.palette = palette;
        options.paletteSize = 4;
        ok &= write(dir, "palette_interlaced", 10, 9, 1, options);
    }
    for (const double gamma : {0.45455, 1.0, 0.3}) {
        PngWriteOptions options;
        options.gamma = gamma;
        ok &= write(dir, "rgba_gamma" + std::to_string(int(gamma * 100000)), 4, 4, 4, options);
    }
    {
        PngWriteOptions options;
        ok &= write(dir, "rgb_1x1", 1, 1, 3, options);
        ok &= write(dir, "rgb_wide", 33, 2, 3, options);
    }
    return ok ? 0 : 1;
}
