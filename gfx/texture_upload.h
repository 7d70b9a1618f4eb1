// A PNG image in memory as an OpenGL texture (needs a current GL context): decoded, then
// uploaded to level 0 with clamped wrapping and nearest filtering.
#pragma once

#include <cstddef>

#include "image/png_decode.h"

// Creates, binds and fills one texture (needs a current GL context). Returns its name, or 0
// when decoding failed (then no texture is created); the new texture stays bound to
// GL_TEXTURE_2D.
unsigned int loadPngTexture(const unsigned char* data, std::size_t size);

// The same for an image decoded earlier (on another thread, before the context existed) with
// maxSize kPngMaxSide: uploaded as it is when that gives what loadPngTexture would have made
// (no side reached the bound and every side fits the GL), otherwise decoded again from the
// bytes here. An image that did not decode (decoded false) is tried once more the same way.
unsigned int loadDecodedPngTexture(const PngImage& image, bool decoded, const unsigned char* data, std::size_t size);
