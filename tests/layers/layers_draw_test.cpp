// The background and the cards as they land in the framebuffer.
#include <gtest/gtest.h>

#include "layers/background_layer.h"
#include "layers/card_layer.h"
#include "platform/gl.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

bool isColour(const Rgb& c, int r, int g, int b) { return c.r == r && c.g == g && c.b == b; }

// A 2 x 2 texture registered as "bg01": red, green on the top row; blue, white below.
class BackgroundTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        static const unsigned char kTexels[12] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
        GLuint id = 0;
        glGenTextures(1, &id);
        glBindTexture(GL_TEXTURE_2D, id);
        glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 2, 2, 0, GL_RGB, GL_UNSIGNED_BYTE, kTexels);
        demo.textures.names.emplace_back("bg01");
        demo.textures.ids.push_back(id);
        demo.background.init();
        // A frame's state: the demo's camera applied, depth writes on.
        demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        demo.camera.apply();
        glEnable(GL_DEPTH_TEST);
        glDepthMask(GL_TRUE);
    }
};

class CardDrawLayerTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }
};

}  // namespace

TEST_F(BackgroundTest, CoversTheWholeWindowTheRightWayUpWithoutDepth) {
    demo.background.render();
    const std::vector<Rgb> p = pixels();
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const Rgb c = pixel(p, x, y);
            const bool ok = y < 300 ? (x < 400 ? isColour(c, 255, 0, 0) : isColour(c, 0, 255, 0))
                                    : (x < 400 ? isColour(c, 0, 0, 255) : isColour(c, 255, 255, 255));
            ASSERT_TRUE(ok) << x << "," << y << " = " << int(c.r) << " " << int(c.g) << " " << int(c.b);
        }
    }
    std::vector<float> depth(800 * 600);
    glReadPixels(0, 0, 800, 600, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    for (float d : depth) ASSERT_EQ(d, 1.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(CardDrawLayerTest, CardsLandWhereTheTablePutsThem) {
    auto lit = [](const std::vector<Rgb>& p, int x0, int y0, int x1, int y1) {
        int n = 0;
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                const Rgb& c = p[std::size_t(y) * 800 + std::size_t(x)];
                n += c.r + c.g + c.b > 0;
            }
        }
        return n;
    };
    demo.cards.init();
    for (int n = 1; n <= 600; ++n) {  // to 13 s: cards 13 and 0 opaque
        demo.musicTime = 3.0f + float(n) / 60.0f;
        demo.cards.update(0.0f);
    }
    demo.cards.render();
    const std::vector<Rgb> p = pixels();
    // Card 13 at (300, 270) and card 0 at (450, 400), both 200 x 60, and nothing else lit.
    const int card13 = lit(p, 300, 270, 500, 330);
    const int card0 = lit(p, 450, 400, 650, 460);
    EXPECT_GT(card13, 300);
    EXPECT_GT(card0, 300);
    EXPECT_EQ(lit(p, 0, 0, 800, 600), card13 + card0);
}
