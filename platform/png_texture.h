// PNG to OpenGL texture, from memory: decode through libpng, scale sides that are not powers
// of two up by nearest sample, correct gamma, upload level 0 with clamped wrapping and
// nearest filtering. RGB images become RGB textures, RGBA images RGBA textures.
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

// Creates, binds and fills one texture (needs a current GL context). Returns its name, or 0
// when decoding failed (then no texture is created); the new texture stays bound to
// GL_TEXTURE_2D.
unsigned int loadPngTexture(const unsigned char* data, std::size_t size);

// The same for an image decoded earlier (on another thread, before the context existed) with
// maxSize kPngMaxSide: uploaded as it is when that gives what loadPngTexture would have made
// (no side reached the bound and every side fits the GL), otherwise decoded again from the
// bytes here. An image that did not decode (decoded false) is tried once more the same way.
unsigned int loadDecodedPngTexture(const PngImage& image, bool decoded, const unsigned char* data, std::size_t size);
