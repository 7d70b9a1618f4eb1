// loadPngTexture in a hidden GL context: what the texture registry relies on.
#include <gtest/gtest.h>

#include "platform/gl.h"
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

// Reads one GL integer through whichever getter fits: glGetIntegerv, glGetTexParameteriv or
// glGetTexLevelParameteriv for level 0.
template <typename Getter, typename... Target>
GLint query(Getter getter, Target... target) {
    GLint value = -1;
    getter(target..., &value);
    return value;
}
GLint level0(GLenum what) { return query(glGetTexLevelParameteriv, GLenum(GL_TEXTURE_2D), 0, what); }
GLint texParameter(GLenum what) { return query(glGetTexParameteriv, GLenum(GL_TEXTURE_2D), what); }
GLint integer(GLenum what) { return query(glGetIntegerv, what); }

using PngTextureTest = GlTest;

TEST_F(PngTextureTest, RgbImageBecomesAClampedNearestPowerOfTwoTextureLeftBound) {
    const Bytes png = image(300, 80, 3);
    glEnable(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    const unsigned int name = loadPngTexture(png.data(), png.size());
    ASSERT_NE(name, 0u);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), GLint(name));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));  // neither enabled nor disabled by the load
    EXPECT_EQ(integer(GL_UNPACK_ALIGNMENT), 4);

    EXPECT_EQ(level0(GL_TEXTURE_WIDTH), 512);
    EXPECT_EQ(level0(GL_TEXTURE_HEIGHT), 128);
    EXPECT_EQ(level0(GL_TEXTURE_INTERNAL_FORMAT), GL_RGB);
    for (GLenum what : {GL_TEXTURE_WRAP_S, GL_TEXTURE_WRAP_T}) EXPECT_EQ(texParameter(what), GL_CLAMP);
    for (GLenum what : {GL_TEXTURE_MAG_FILTER, GL_TEXTURE_MIN_FILTER}) EXPECT_EQ(texParameter(what), GL_NEAREST);

    // The texels are the decoded, scaled image, rows in order.
    PngImage decoded;
    ASSERT_TRUE(decodePngForTexture(png.data(), png.size(), screenGamma(), 4096, decoded));
    Bytes texels(decoded.pixels.size());
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    EXPECT_EQ(texels, decoded.pixels);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

TEST_F(PngTextureTest, RgbaImagesBecomeRgbaAndUndecodableOnesNameZeroLeavingTheBindingAlone) {
    const Bytes rgba = image(128, 128, 4);
    glDisable(GL_TEXTURE_2D);
    const unsigned int previous = loadPngTexture(rgba.data(), rgba.size());
    ASSERT_NE(previous, 0u);
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(level0(GL_TEXTURE_WIDTH), 128);
    EXPECT_EQ(level0(GL_TEXTURE_INTERNAL_FORMAT), GL_RGBA);

    const Bytes png = image(300, 80, 3);
    const Bytes cut(png.begin(), png.begin() + std::ptrdiff_t(png.size() / 2));
    EXPECT_EQ(loadPngTexture(cut.data(), cut.size()), 0u);
    EXPECT_EQ(loadPngTexture(nullptr, png.size()), 0u);
    EXPECT_EQ(loadPngTexture(png.data(), 0), 0u);
    EXPECT_EQ(integer(GL_TEXTURE_BINDING_2D), GLint(previous));
}

}  // namespace
