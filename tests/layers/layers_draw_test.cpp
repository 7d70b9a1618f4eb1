// The background and the cards as they land in the framebuffer.
#include <gtest/gtest.h>

#include <cmath>

#include "app/shell_state.h"
#include "gfx/gl.h"
#include "layers/background_layer.h"
#include "layers/card_layer.h"
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
        glBindTexture(GL_TEXTURE_2D, 0);
        demo.textures.names.emplace_back("bg01");
        demo.textures.ids.push_back(id);
        demo.background.init();
        // A frame's state: perspective projection, the demo's camera applied.
        demo.camera.placeLookingAtOrigin(Vec3(15.09f, 1.3f, 4.28f));
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        demo.camera.apply();
    }
};

class CardDrawLayerTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        demo.cards.init();
    }
    void frameAt(float t) {
        demo.musicTime = t;
        demo.cards.update(0.0f);
    }
    // Count of non-black pixels inside and outside a rectangle.
    static void countLit(const std::vector<Rgb>& p, int x0, int y0, int x1, int y1, int& inside, int& outside) {
        inside = outside = 0;
        for (int y = 0; y < 600; ++y) {
            for (int x = 0; x < 800; ++x) {
                const Rgb& c = p[std::size_t(y) * 800 + std::size_t(x)];
                if (c.r + c.g + c.b == 0) continue;
                ((x >= x0 && x < x1 && y >= y0 && y < y1) ? inside : outside)++;
            }
        }
    }
};

}  // namespace

TEST_F(BackgroundTest, CoversTheWholeWindowTheRightWayUp) {
    demo.background.render();
    const std::vector<Rgb> p = pixels();
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const Rgb c = pixel(p, x, y);
            const bool left = x < 400;
            const bool top = y < 300;
            const bool ok = top ? (left ? isColour(c, 255, 0, 0) : isColour(c, 0, 255, 0))
                                : (left ? isColour(c, 0, 0, 255) : isColour(c, 255, 255, 255));
            ASSERT_TRUE(ok) << x << "," << y << " = " << int(c.r) << " " << int(c.g) << " " << int(c.b);
        }
    }
}

TEST_F(BackgroundTest, WritesNoDepthSoLaterDrawsAreNotHidden) {
    glEnable(GL_DEPTH_TEST);
    glDepthMask(GL_TRUE);
    demo.background.render();
    std::vector<float> depth(800 * 600);
    glReadPixels(0, 0, 800, 600, GL_DEPTH_COMPONENT, GL_FLOAT, depth.data());
    for (float d : depth) ASSERT_EQ(d, 1.0f);

    // Something far behind the picture's depth is still drawn over it.
    glDisable(GL_LIGHTING);
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glColor3f(1, 1, 0);
    glBegin(GL_QUADS);
    glVertex3f(-0.5f, -0.5f, 0.99f);
    glVertex3f(0.5f, -0.5f, 0.99f);
    glVertex3f(0.5f, 0.5f, 0.99f);
    glVertex3f(-0.5f, 0.5f, 0.99f);
    glEnd();
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
    EXPECT_TRUE(isColour(pixel(pixels(), 400, 300), 255, 255, 0));
}

TEST_F(BackgroundTest, LeavesLightingAndDepthOnAndTexturingOff) {
    glDisable(GL_LIGHTING);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    double before[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, before);
    demo.background.render();
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    double after[16];
    glGetDoublev(GL_MODELVIEW_MATRIX, after);
    for (int i = 0; i < 16; ++i) EXPECT_DOUBLE_EQ(after[i], before[i]);
}

TEST_F(CardDrawLayerTest, ShownButNotStartedCardsAreInvisible) {
    frameAt(3.5f);  // cards 13 and 0 shown on this first frame, not yet faded
    ASSERT_EQ(demo.cards.cards[13].visible, 1);
    demo.cards.render();
    int inside = 0;
    int outside = 0;
    countLit(pixels(), 0, 0, 800, 600, inside, outside);
    EXPECT_EQ(inside, 0);
}

TEST_F(CardDrawLayerTest, CardsLandWhereTheTablePutsThem) {
    for (int n = 1; n <= 600; ++n) frameAt(3.0f + float(n) / 60.0f);  // 13 s: both cards opaque
    demo.cards.render();
    const std::vector<Rgb> p = pixels();
    int inside = 0;
    int outside = 0;
    // Card 13 at (300, 270) and card 0 at (450, 400), both 200 x 60.
    countLit(p, 300, 270, 500, 330, inside, outside);
    EXPECT_GT(inside, 300);
    int inside0 = 0;
    int outside0 = 0;
    countLit(p, 450, 400, 650, 460, inside0, outside0);
    EXPECT_GT(inside0, 300);
    EXPECT_EQ(outside, inside0);  // nothing lit beyond the two cards
}
