// The y-down 800 x 600 overlay, paired blending and depth writes, and one screen card added
// onto the picture by its alpha.
#include <gtest/gtest.h>

#include <algorithm>

#include "gfx/gl.h"
#include "gfx/quad.h"
#include "gfx/render_state.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

bool isColour(const Rgb& c, int r, int g, int b) { return c.r == r && c.g == g && c.b == b; }

void fillRect(float x0, float y0, float x1, float y1) {
    glBegin(GL_QUADS);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

// A card quad laid out the way the card layer lays out its cards.
Quad cardQuad(float x, float y, float alpha) {
    Quad q;
    q.place(Vec3(x, y, 0.0f), 200.0f, 60.0f);
    q.setTexCoords(0, 0, 1, 0, 1, 1, 0, 1);
    q.setColor(1, 1, 1, alpha);
    return q;
}

class CardDrawTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }

    std::vector<Rgb> drawCardOver(float grey, float alpha) {
        glClearColor(grey, grey, grey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        drawScreenCard(cardQuad(400, 300, alpha), "code");
        return pixels();
    }
};

}  // namespace

using OverlayTest = GlTest;

TEST_F(OverlayTest, OriginIsTopLeftAndFarCornerBottomRight) {
    glDisable(GL_DEPTH_TEST);
    glPushMatrix();
    Overlay2D::push();
    glColor3f(1, 0, 0);
    fillRect(0, 0, 2, 2);
    glColor3f(0, 1, 0);
    fillRect(798, 598, 800, 600);
    glColor3f(0, 0, 1);
    fillRect(400, 0, 401, 1);  // one pixel on the top row, half way across
    Overlay2D::pop();
    glPopMatrix();
    const std::vector<Rgb> p = pixels();
    EXPECT_TRUE(isColour(pixel(p, 0, 0), 255, 0, 0));
    EXPECT_TRUE(isColour(pixel(p, 1, 1), 255, 0, 0));
    EXPECT_TRUE(isColour(pixel(p, 2, 2), 0, 0, 0));
    EXPECT_TRUE(isColour(pixel(p, 0, 599), 0, 0, 0));
    EXPECT_TRUE(isColour(pixel(p, 799, 599), 0, 255, 0));
    EXPECT_TRUE(isColour(pixel(p, 798, 598), 0, 255, 0));
    EXPECT_TRUE(isColour(pixel(p, 799, 0), 0, 0, 0));
    EXPECT_TRUE(isColour(pixel(p, 400, 0), 0, 0, 255));
    EXPECT_TRUE(isColour(pixel(p, 400, 1), 0, 0, 0));
}

TEST_F(OverlayTest, PopRestoresProjectionAndLeavesModelViewIdentity) {
    double before[16];
    glGetDoublev(GL_PROJECTION_MATRIX, before);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glTranslatef(1, 2, 3);
    Overlay2D::push();
    Overlay2D::pop();
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    double after[16];
    double modelView[16];
    glGetDoublev(GL_PROJECTION_MATRIX, after);
    glGetDoublev(GL_MODELVIEW_MATRIX, modelView);
    for (int i = 0; i < 16; ++i) {
        EXPECT_DOUBLE_EQ(after[i], before[i]);
        EXPECT_DOUBLE_EQ(modelView[i], i % 5 == 0 ? 1.0 : 0.0);
    }
}

TEST_F(CardDrawTest, TransparentCardDrawsNothing) {
    const std::vector<Rgb> p = drawCardOver(0.5f, 0.0f);
    const Rgb grey = p[0];
    for (const Rgb& c : p) ASSERT_TRUE(isColour(c, grey.r, grey.g, grey.b));
}

TEST_F(CardDrawTest, OpaqueCardIsAddedOntoThePicture) {
    const std::vector<Rgb> overBlack = drawCardOver(0.0f, 1.0f);
    const std::vector<Rgb> overGrey = drawCardOver(0.25f, 1.0f);
    const std::vector<Rgb> halfOverGrey = drawCardOver(0.25f, 0.5f);
    const int grey = overGrey[0].r;  // the clear colour as stored
    int lit = 0;
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const Rgb card = pixel(overBlack, x, y);
            const Rgb sum = pixel(overGrey, x, y);
            const Rgb half = pixel(halfOverGrey, x, y);
            const bool inside = x >= 400 && x < 600 && y >= 300 && y < 360;
            if (!inside) {
                ASSERT_TRUE(isColour(card, 0, 0, 0)) << x << "," << y;
                continue;
            }
            if (card.r + card.g + card.b > 0) ++lit;
            ASSERT_NEAR(sum.r, std::min(255, grey + card.r), 1) << x << "," << y;
            ASSERT_NEAR(sum.g, std::min(255, grey + card.g), 1) << x << "," << y;
            ASSERT_NEAR(sum.b, std::min(255, grey + card.b), 1) << x << "," << y;
            ASSERT_NEAR(half.g, std::min(255, grey + card.g / 2), 2) << x << "," << y;
        }
    }
    EXPECT_GT(lit, 200);  // the card's text is there, not an empty square
}

TEST_F(CardDrawTest, LeavesTheStateTheFrameExpects) {
    glDisable(GL_LIGHTING);
    glEnable(GL_DEPTH_TEST);
    drawScreenCard(cardQuad(10, 10, 1), "code");
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));  // never switched by the card
    EXPECT_FALSE(glIsEnabled(GL_BLEND));
    EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(mask, GL_TRUE);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
}
