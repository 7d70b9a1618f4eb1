// loadPngTexture in a hidden GL context: what the texture registry relies on.
#include <gtest/gtest.h>

#include "gfx/gl.h"
#include "platform/png_texture.h"
#include "platform/png_write.h"
#include "tests/support/gl_context.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes image(int width, int height, int channels) {
    Bytes pixels(std::size_t(width * height * channels));
    for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint8_t(i * 7 % 251);
    Bytes png;
    EXPECT_TRUE(encodePng(width, height, channels, pixels.data(), png, 0.45));
    return png;
}

GLint level0(GLenum what) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &value);
    return value;
}

GLint texParameter(GLenum what) {
    GLint value = -1;
    glGetTexParameteriv(GL_TEXTURE_2D, what, &value);
    return value;
}

using PngTextureTest = GlTest;

TEST_F(PngTextureTest, RgbImageBecomesAClampedNearestPowerOfTwoTextureLeftBound) {
    const Bytes png = image(300, 80, 3);
    glEnable(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    const unsigned int name = loadPngTexture(png.data(), png.size());
    ASSERT_NE(name, 0u);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), name);
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));  // neither enabled nor disabled by the load
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 4);

    EXPECT_EQ(level0(GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(level0(GL_TEXTURE_HEIGHT), 128);
    EXPECT_EQ(level0(GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_S), GL_CLAMP);
    EXPECT_EQ(texParameter(GL_TEXTURE_WRAP_T), GL_CLAMP);
    EXPECT_EQ(texParameter(GL_TEXTURE_MAG_FILTER), GL_NEAREST);
    EXPECT_EQ(texParameter(GL_TEXTURE_MIN_FILTER), GL_NEAREST);
    GLint levelOneWidth = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_WIDTH, &levelOneWidth);
    EXPECT_EQ(levelOneWidth, 0);  // no mipmaps

    // The texels are the decoded, scaled image, rows in order.
    PngImage decoded;
    ASSERT_TRUE(decodePngForTexture(png.data(), png.size(), screenGamma(), 4096, decoded));
    Bytes texels(decoded.pixels.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels, decoded.pixels);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(PngTextureTest, RgbaImageBecomesAnRgbaTexture) {
    const Bytes png = image(128, 128, 4);
    glDisable(GL_TEXTURE_2D);
    const unsigned int name = loadPngTexture(png.data(), png.size());
    ASSERT_NE(name, 0u);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(level0(GL_TEXTURE_WIDTH), 128);
    EXPECT_EQ(level0(GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA);
    EXPECT_NE(loadPngTexture(png.data(), png.size()), name);  // every load makes a texture of its own
}

TEST_F(PngTextureTest, UndecodableImagesGiveNameZeroAndLeaveTheBindingAlone) {
    const Bytes png = image(300, 80, 3);
    GLuint previous = 0;
    glGenTextures(1, &previous);
    glBindTexture(GL_TEXTURE_2D, previous);

    const Bytes cut(png.begin(), png.begin() + std::ptrdiff_t(png.size() / 2));
    EXPECT_EQ(loadPngTexture(cut.data(), cut.size()), 0u);
    EXPECT_EQ(loadPngTexture(nullptr, png.size()), 0u);
    EXPECT_EQ(loadPngTexture(png.data(), 0), 0u);
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(GLuint(bound), previous);
}

}  // namespace
