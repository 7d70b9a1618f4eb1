// The texture registry over the 17 embedded images: positions, exact keys, failed decodes,
// the power-of-two sizes and what bind and unbind do to the GL state.
#include <gtest/gtest.h>

#include "assets/embedded.h"
#include "gfx/texture_registry.h"
#include "platform/gl.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

class RegistryTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }

    static GLint boundTexture() {
        GLint id = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &id);
        return id;
    }
};

}  // namespace

TEST_F(RegistryTest, PositionsExactKeysAndBinding) {
    const TextureRegistry& r = demo.textures;
    ASSERT_EQ(r.ids.size(), 17u);
    EXPECT_EQ(r.indexOf("bg01"), 0);
    EXPECT_EQ(r.indexOf("music"), 7);  // not confused with a longer key or a prefix
    EXPECT_EQ(r.indexOf("quorvan"), 16);
    for (const char* key : {"bg0", "bg01x", "BG01", ""}) EXPECT_EQ(r.indexOf(key), -1) << key;
    for (unsigned int id : r.ids) EXPECT_NE(id, 0u);
    demo.textures.bind("cloud");
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(boundTexture(), GLint(r.ids[1]));
    demo.textures.bind("no such key");
    EXPECT_EQ(boundTexture(), 0);
    demo.textures.unbind();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
}

TEST_F(RegistryTest, FailedDecodeKeepsItsPositionWithTextureZero) {
    TextureRegistry r;
    const EmbeddedAsset* bg = findEmbeddedAsset("bg01.png");
    ASSERT_NE(bg, nullptr);
    static const unsigned char kGarbage[16] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    r.add(bg->data, bg->size, "first");
    r.add(kGarbage, sizeof kGarbage, "garbage");
    r.add(bg->data, 200, "truncated");  // the reader must stop at the end, not read past it
    r.add(bg->data, bg->size, "last");
    EXPECT_EQ(r.indexOf("truncated"), 2);
    EXPECT_EQ(r.indexOf("last"), 3);
    EXPECT_NE(r.ids[0], 0u);
    EXPECT_EQ(r.ids[1], 0u);
    EXPECT_EQ(r.ids[2], 0u);
    EXPECT_NE(r.ids[3], 0u);
}

TEST_F(RegistryTest, SidesAreScaledUpToPowersOfTwo) {
    const struct {
        const char* key;
        GLint width, height;
    } cases[] = {{"code", 512, 128}, {"music", 512, 128}, {"movrin", 256, 64}, {"bg01", 512, 512}};
    for (const auto& e : cases) {  // from 300 x 80, 340 x 80, 200 x 50 and 512 x 512
        demo.textures.bind(e.key);
        GLint w = 0;
        GLint h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        EXPECT_EQ(w, e.width) << e.key;
        EXPECT_EQ(h, e.height) << e.key;
    }
}
