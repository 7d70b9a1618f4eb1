// Textures from PNG images in memory: decoded (image/png_decode.h), then uploaded to level 0
// with clamped wrapping and nearest filtering, as every texture of the show is drawn.
#include "gfx/texture_upload.h"

#include "platform/gl.h"

namespace {
unsigned int upload(const PngImage& image) {
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
    // Rows are tightly packed (an RGB row of a small texture need not be a multiple of 4).
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexImage2D(GL_TEXTURE_2D, 0, GLint(format), image.width, image.height, 0, format, GL_UNSIGNED_BYTE,
                 image.pixels.data());
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    return name;
}
}  // namespace

unsigned int loadPngTexture(const unsigned char* data, std::size_t size) {
    if (data == nullptr || size == 0) return 0;
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    PngImage image;
    if (!decodePngForTexture(data, size, screenGamma(), maxSize, image)) return 0;
    return upload(image);
}

unsigned int loadDecodedPngTexture(const PngImage& image, bool decoded, const unsigned char* data, std::size_t size) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    // Sides below the bound it was decoded with are the images' own powers of two; the GL's
    // bound would have given the same ones as long as they fit it.
    const bool asIf = decoded && image.width < kPngMaxSide && image.height < kPngMaxSide && image.width <= maxSize &&
                      image.height <= maxSize;
    return asIf ? upload(image) : loadPngTexture(data, size);
}
