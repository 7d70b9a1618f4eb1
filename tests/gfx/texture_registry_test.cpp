// The texture registry over the 17 embedded images: positions, exact keys, failed decodes,
// the power-of-two sizes and what bind and unbind do to the GL state.
#include <gtest/gtest.h>

#include "assets/embedded.h"
#include "gfx/gl.h"
#include "gfx/texture_registry.h"
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

TEST_F(RegistryTest, KeysKeepTheirRegistrationOrder) {
    const TextureRegistry& r = demo.textures;
    ASSERT_EQ(r.names.size(), 17u);
    ASSERT_EQ(r.ids.size(), 17u);
    EXPECT_EQ(r.indexOf("bg01"), 0);
    EXPECT_EQ(r.indexOf("laser"), 2);
    EXPECT_EQ(r.indexOf("quorvan"), 16);
    for (unsigned int id : r.ids) EXPECT_NE(id, 0u);
}

TEST_F(RegistryTest, OnlyExactCaseSensitiveKeysMatch) {
    const TextureRegistry& r = demo.textures;
    EXPECT_EQ(r.indexOf("bg0"), -1);
    EXPECT_EQ(r.indexOf("bg01x"), -1);
    EXPECT_EQ(r.indexOf("BG01"), -1);
    EXPECT_EQ(r.indexOf(""), -1);
    EXPECT_EQ(r.indexOf("music"), 7);  // not confused with the longer "musicx" or a prefix
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
    EXPECT_EQ(r.indexOf("garbage"), 1);
    EXPECT_EQ(r.indexOf("truncated"), 2);
    EXPECT_EQ(r.indexOf("last"), 3);
    EXPECT_NE(r.ids[0], 0u);
    EXPECT_EQ(r.ids[1], 0u);
    EXPECT_EQ(r.ids[2], 0u);
    EXPECT_NE(r.ids[3], 0u);
    r.bind("garbage");
    EXPECT_EQ(boundTexture(), 0);
}

TEST_F(RegistryTest, SidesAreScaledUpToPowersOfTwo) {
    struct Expected {
        const char* key;
        GLint width;
        GLint height;
    };
    // 300 x 80, 340 x 80, 200 x 50 and 512 x 512 images.
    for (const Expected& e : {Expected{"code", 512, 128}, Expected{"music", 512, 128}, Expected{"movrin", 256, 64},
                              Expected{"bg01", 512, 512}}) {
        demo.textures.bind(e.key);
        GLint w = 0;
        GLint h = 0;
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        EXPECT_EQ(w, e.width) << e.key;
        EXPECT_EQ(h, e.height) << e.key;
    }
}

TEST_F(RegistryTest, BindEnablesTexturingAndAnUnknownKeyBindsZero) {
    glDisable(GL_TEXTURE_2D);
    demo.textures.bind("cloud");
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(boundTexture(), GLint(demo.textures.ids[1]));
    demo.textures.bind("no such key");
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(boundTexture(), 0);
}

TEST_F(RegistryTest, UnbindKeepsTheBindingButLaterDrawsAreUntextured) {
    demo.textures.bind("bg01");
    demo.textures.unbind();
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_EQ(boundTexture(), GLint(demo.textures.ids[0]));

    // A plain white triangle pair over the whole view stays white: no texture is applied.
    glDisable(GL_DEPTH_TEST);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glClear(GL_COLOR_BUFFER_BIT);
    glColor4f(1, 1, 1, 1);
    glBegin(GL_QUADS);
    glTexCoord2f(0, 0);
    glVertex2f(-1, -1);
    glTexCoord2f(1, 0);
    glVertex2f(1, -1);
    glTexCoord2f(1, 1);
    glVertex2f(1, 1);
    glTexCoord2f(0, 1);
    glVertex2f(-1, 1);
    glEnd();
    const std::vector<Rgb> p = pixels();
    for (int y = 0; y < 600; y += 37) {
        for (int x = 0; x < 800; x += 41) {
            const Rgb c = pixel(p, x, y);
            ASSERT_TRUE(c.r == 255 && c.g == 255 && c.b == 255) << x << "," << y;
        }
    }
}
