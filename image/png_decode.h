// PNG images from memory, decoded through libpng as textures want them: sides that are not
// powers of two scaled up by nearest sample, gamma corrected. RGB images stay RGB, RGBA images
// RGBA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct PngImage {
    int width = 0;                       // after scaling to powers of two
    int height = 0;
    int channels = 0;                    // 3 or 4
    std::vector<std::uint8_t> pixels;    // rows top to bottom, gamma-corrected
};

// Images wider or taller than this are refused before anything is allocated for them.
constexpr int kPngMaxSide = 8192;

// The gamma the images are assumed to carry when they have no gAMA chunk.
constexpr double kPngDefaultFileGamma = 0.45455;

// The screen gamma: 2.2, or 2.2 divided by the environment's VIEWING_GAMMA when that holds a
// positive finite number between 0.1 and 10. Anything else is ignored with one line on stderr
// (once per process). Read anew on every call.
double screenGamma();

// Decodes and prepares an image as it will be uploaded. maxSize bounds each side (the GL's
// GL_MAX_TEXTURE_SIZE). False when the bytes are not a PNG this can read; a read past the
// end of the buffer is such a failure, never a read out of bounds.
bool decodePngForTexture(const unsigned char* data, std::size_t size, double screenGamma,
                         int maxSize, PngImage& out);

// Decodes at the image's own size without gamma correction (the window icon): 8-bit RGB, or
// RGBA when the image has alpha.
bool decodePng(const unsigned char* data, std::size_t size, PngImage& out);
