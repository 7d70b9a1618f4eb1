// DodecaScene: the cluster's layout, its pulse and its drawing.
#include "scenes/dodeca/dodeca_scene.h"

#include "gfx/random.h"
#include "platform/gl.h"
#include "timeline/demo.h"

namespace {
constexpr float kSolidEdge = 0.5f;
constexpr float kShellEdge = 0.55f;
constexpr float kSpread = 2.5f;
// The scene's spectrum argument: entry 4 of the magnitudes.
constexpr int kBand = 170;

std::int32_t drawPeriod() { return lcgRand() * 25 / 32767 + 100; }
}  // namespace

void DodecaScene::init() {
    solids.resize(kElements);
    shells.resize(kElements);
    for (std::size_t j = 0; j < kElements; ++j) {
        solids[j].init();
        shells[j].init();
    }

    // Element j > 0 sits on vertex j - 1 of the central mesh of its own array, which is built in
    // the first round; vertex 19 carries nothing. The central shell is built larger, so every
    // shell's centre lies 1.1 times as far out as its solid's.
    std::size_t k = 0;
    for (std::size_t j = 0; j < kElements; ++j) {
        if (j == 0) {
            solids[0].centre = Vec3();
            shells[0].centre = Vec3();
        } else if (k < solids[j].vertices.size()) {
            solids[j].centre = Vec3::scale(solids[0].vertices[k], kSpread);
            shells[j].centre = Vec3::scale(shells[0].vertices[k], kSpread);
            ++k;
        }
        solids[j].build(kSolidEdge);
        solids[j].colour[0] = 0.65f;
        solids[j].colour[1] = 1.0f;
        solids[j].colour[2] = 0.65f;
        solids[j].colour[3] = 1.0f;
        shells[j].build(kShellEdge);
        for (float& c : shells[j].colour) c = 1.0f;
    }

    light.setSpecular(0.85f, 0.85f, 0.85f, 1.0f);
    light.setDiffuse(0.75f, 0.75f, 0.75f, 1.0f);
    light.setAmbient(0.2f, 0.2f, 0.2f, 1.0f);
    light.setPosition(5.0f, 5.0f, 5.0f, 1.0f);
    light.setId(GL_LIGHT0);
    wireOnly = 0;
}

void DodecaScene::update(float) {
    // Each period is drawn just before its own pulse: the solid's, then its shell's.
    for (std::size_t j = 0; j < solids.size() && j < shells.size(); ++j) {
        solids[j].pulse(drawPeriod());
        shells[j].pulse(drawPeriod());
    }
}

void DodecaScene::render() {
    const float level = demo.music.band(kBand);
    // No push: the translation is undone by its opposite at the end.
    glTranslatef(8.0f, -2.0f, -1.0f);
    light.enable();
    for (std::size_t j = 0; j < solids.size() && j < shells.size(); ++j) {
        // Compared in double: a float level of 0.1f is just above 0.1 and counts as loud. The
        // red may pass 1; colour-material hands it to the lighting, which clamps the result.
        PulsingDodecahedron& shell = shells[j];
        if (double(level) > 0.1) {
            shell.colour[0] = level + 0.5f;
            shell.colour[1] = 0.0f;
            shell.colour[2] = 0.0f;
            shell.colour[3] = 1.0f;
        } else {
            for (float& c : shell.colour) c = 1.0f;
        }
        float lineWidth = 1.0f;
        if (wireOnly == 0) {
            solids[j].drawSolid();
        } else {
            lineWidth = 1.25f;
        }
        shell.drawWire(lineWidth);
    }
    light.disable();
    glTranslatef(-8.0f, 2.0f, 1.0f);
}
