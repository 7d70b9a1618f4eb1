// BackgroundLayer: layout once at init, one textured quad per frame.
#include "layers/background_layer.h"

#include "gfx/render_state.h"
#include "gfx/screen_space.h"
#include "platform/gl.h"
#include "timeline/demo.h"

void BackgroundLayer::init() {
    Quad& quad = sprite.quad;
    quad.setTexCoords(0.0f, 0.0f, 1.0f, 0.0f, 1.0f, 1.0f, 0.0f, 1.0f);
    // Anchor mode 0 with the default axes: corner 0 is the top-left of the y-down overlay.
    // Depth -90 sits inside the overlay's -100..100 range.
    quad.place(Vec3(0.0f, 0.0f, -90.0f), windowWidth, windowHeight);
    quad.setColor(1.0f, 1.0f, 1.0f, 1.0f);
}

void BackgroundLayer::update(float) {}

void BackgroundLayer::render() {
    glPushMatrix();
    glDisable(GL_LIGHTING);
    // With depth testing off nothing is tested or written, so the scenes drawn after it are
    // never hidden behind the picture.
    glDisable(GL_DEPTH_TEST);
    Overlay2D::push();
    demo.textures.bind("bg01");
    sprite.quad.draw();
    demo.textures.unbind();
    Overlay2D::pop();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_LIGHTING);
    glPopMatrix();
}
