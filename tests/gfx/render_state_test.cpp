// The y-down 800 x 600 overlay and one screen card added onto the picture by its alpha.
#include <gtest/gtest.h>

#include <algorithm>

#include "gfx/quad.h"
#include "gfx/render_state.h"
#include "platform/gl.h"
#include "tests/support/gl_context.h"

namespace {

bool isColour(const Rgb& c, int r, int g, int b) { return c.r == r && c.g == g && c.b == b; }

class RenderStateTest : public GlTest {
protected:
    bool wantTextures() const override { return true; }

    std::vector<Rgb> drawCardOver(float grey, float alpha) {
        glClearColor(grey, grey, grey, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        Quad q;
        q.place(Vec3(400, 300, 0.0f), 200.0f, 60.0f);
        q.setTexCoords(0, 0, 1, 0, 1, 1, 0, 1);
        q.setColor(1, 1, 1, alpha);
        drawScreenCard(q, "code");
        return pixels();
    }
};

}  // namespace

TEST_F(RenderStateTest, OverlayOriginIsTopLeftAndFarCornerBottomRight) {
    glDisable(GL_DEPTH_TEST);
    Overlay2D::push();
    glColor3f(1, 0, 0);
    glRectf(0, 0, 1, 1);
    glColor3f(0, 1, 0);
    glRectf(799, 599, 800, 600);
    Overlay2D::pop();
    const std::vector<Rgb> p = pixels();
    EXPECT_TRUE(isColour(pixel(p, 0, 0), 255, 0, 0));
    EXPECT_TRUE(isColour(pixel(p, 1, 1), 0, 0, 0));
    EXPECT_TRUE(isColour(pixel(p, 799, 599), 0, 255, 0));
    EXPECT_TRUE(isColour(pixel(p, 798, 598), 0, 0, 0));
}

TEST_F(RenderStateTest, TransparentCardDrawsNothingOpaqueCardIsAdded) {
    const std::vector<Rgb> clear = drawCardOver(0.5f, 0.0f);
    for (const Rgb& c : clear) ASSERT_TRUE(isColour(c, clear[0].r, clear[0].g, clear[0].b));
    const std::vector<Rgb> overBlack = drawCardOver(0.0f, 1.0f);
    const std::vector<Rgb> overGrey = drawCardOver(0.25f, 1.0f);
    const int grey = overGrey[0].r;  // the clear colour as stored
    int lit = 0;
    for (int y = 0; y < 600; ++y) {
        for (int x = 0; x < 800; ++x) {
            const Rgb card = pixel(overBlack, x, y);
            const Rgb sum = pixel(overGrey, x, y);
            if (x < 400 || x >= 600 || y < 300 || y >= 360) {
                ASSERT_TRUE(isColour(card, 0, 0, 0)) << x << "," << y;
                continue;
            }
            lit += card.r + card.g + card.b > 0;
            ASSERT_NEAR(sum.r, std::min(255, grey + card.r), 1) << x << "," << y;
            ASSERT_NEAR(sum.g, std::min(255, grey + card.g), 1) << x << "," << y;
        }
    }
    EXPECT_GT(lit, 200);  // the card's text is there, not an empty square
}
