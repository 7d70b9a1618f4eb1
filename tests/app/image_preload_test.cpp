// The images decoded on a thread while the window starts must become the very textures that
// decoding them in place makes: same positions, sizes, formats and texels.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/shell.h"
#include "assets/embedded.h"
#include "platform/gl.h"
#include "platform/png_texture.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

// A texture's size, internal format and texels, all in one list.
std::vector<GLint> read(unsigned int id) {
    std::vector<GLint> t(3);
    glBindTexture(GL_TEXTURE_2D, id);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &t[0]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &t[1]);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &t[2]);
    t.resize(3 + std::size_t(t[0]) * std::size_t(t[1]));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, &t[3]);
    return t;
}

class ImagePreloadTest : public GlTest {};

}  // namespace

TEST_F(ImagePreloadTest, EarlyDecodedImagesBecomeTheSameTexturesAsDecodingInPlace) {
    ASSERT_TRUE(demo.textures.ids.empty());
    startImageDecoding();
    registerTextures();
    ASSERT_EQ(demo.textures.ids.size(), 17u);

    // The same images again, each decoded and uploaded in place the way a plain start does it.
    TextureRegistry inPlace;
    for (const std::string& key : demo.textures.names) {
        const EmbeddedAsset* image = findEmbeddedAsset((key + ".png").c_str());
        ASSERT_NE(image, nullptr) << key;
        inPlace.add(image->data, image->size, key.c_str());
    }
    for (std::size_t i = 0; i < 17; ++i) {
        SCOPED_TRACE(demo.textures.names[i]);
        ASSERT_NE(demo.textures.ids[i], 0u);
        EXPECT_TRUE(read(demo.textures.ids[i]) == read(inPlace.ids[i]));
    }
}

TEST_F(ImagePreloadTest, AnImageThatDidNotDecodeEarlyIsTriedAgainAndFailsToTextureZero) {
    // Bytes that are no PNG, and a missing asset: each keeps its position with texture 0.
    const unsigned char notPng[16] = {1, 2, 3};
    PngImage nothing;
    TextureRegistry registry;
    registry.add(notPng, sizeof notPng, "broken", nothing, false);
    registry.add(nullptr, 0, "missing", nothing, false);
    EXPECT_EQ(registry.ids, (std::vector<unsigned int>{0u, 0u}));
    EXPECT_EQ(registry.indexOf("missing"), 1);
}
