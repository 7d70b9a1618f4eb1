// Render-state helpers: overlay, blending, light, screen card.
#include "gfx/render_state.h"

#include "gfx/quad.h"
#include "gfx/screen_space.h"
#include "timeline/demo.h"

void Overlay2D::push() {
    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, windowWidth, 0.0, windowHeight, -100.0, 100.0);
    glScalef(1.0f, -1.0f, 1.0f);
    glTranslatef(0.0f, -windowHeight, 0.0f);
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
}

void Overlay2D::pop() {
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);
}

void enableBlending(GLenum src, GLenum dst) {
    glDepthMask(GL_FALSE);
    glEnable(GL_BLEND);
    glBlendFunc(src, dst);
}

void disableBlending() {
    glDisable(GL_BLEND);
    glDepthMask(GL_TRUE);
}

namespace {
void set4(float* out, float a, float b, float c, float d) {
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
}
}  // namespace

void Light::setSpecular(float r, float g, float b, float a) { set4(specular, r, g, b, a); }
void Light::setDiffuse(float r, float g, float b, float a) { set4(diffuse, r, g, b, a); }
void Light::setAmbient(float r, float g, float b, float a) { set4(ambient, r, g, b, a); }
void Light::setPosition(float x, float y, float z, float w) { set4(position, x, y, z, w); }
void Light::setId(GLenum lightId) { id = lightId; }

void Light::enable() const {
    glEnable(GL_LIGHTING);
    glEnable(id);
    glEnable(GL_NORMALIZE);
    glEnable(GL_COLOR_MATERIAL);
    glLightfv(id, GL_SPECULAR, specular);
    glLightfv(id, GL_DIFFUSE, diffuse);
    glLightfv(id, GL_AMBIENT, ambient);
    glLightfv(id, GL_POSITION, position);
}

void Light::disable() const {
    glDisable(GL_COLOR_MATERIAL);
    glDisable(GL_LIGHTING);
    glDisable(id);
    glDisable(GL_NORMALIZE);
}

void drawScreenCard(const Quad& quad, const char* textureKey) {
    glPushMatrix();
    glDisable(GL_LIGHTING);
    enableBlending(GL_SRC_ALPHA, GL_DST_ALPHA);
    Overlay2D::push();
    demo.textures.bind(textureKey);
    quad.draw();
    demo.textures.unbind();
    Overlay2D::pop();
    disableBlending();
    glEnable(GL_LIGHTING);
    glPopMatrix();
}
