// The plain reference scene: the load of the busiest stretch drawn without the demo, in the
// benchmark's own hidden context or live in a window of its own, as the demo plays.
#include <cstdio>
#include <cstdint>
#include <vector>

#include "app/shell_state.h"
#include "app/show_run.h"
#include "bench/bench.h"
#include "gfx/random.h"
#include "platform/clock.h"
#include "platform/gl.h"
#include "platform/window.h"
#include "timeline/demo.h"

bool ReferenceScene::place() {
    const int bg = demo.textures.indexOf("bg01");
    const int laser = demo.textures.indexOf("laser");
    if (bg < 0 || laser < 0) return false;
    background = demo.textures.ids[std::size_t(bg)];
    sprite = demo.textures.ids[std::size_t(laser)];
    // Placed with the demo's own random sequence, so every run draws the same picture.
    boxes.clear();
    for (int i = 0; i < 40; ++i) {
        boxes.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
        boxes.push_back(float(lcgRand() % 400) / 100.0f - 2.0f);
        boxes.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
        boxes.push_back(0.15f + float(lcgRand() % 10) / 100.0f);
    }
    sprites.clear();
    for (int i = 0; i < 1800; ++i) {
        sprites.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
        sprites.push_back(float(lcgRand() % 400) / 100.0f - 2.0f);
        sprites.push_back(float(lcgRand() % 600) / 100.0f - 3.0f);
    }
    return true;
}

// A full-screen textured quad, 40 lit boxes of 12 triangles and 1800 small blended textured
// quads, in immediate mode like the demo.
void ReferenceScene::draw() const {
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    glLoadIdentity();
    gluLookAt(15.09, 1.3, 4.28, 0.0, 0.0, 0.0, 0.0, 1.0, 0.0);

    glMatrixMode(GL_PROJECTION);
    glPushMatrix();
    glLoadIdentity();
    glOrtho(0.0, 800.0, 600.0, 0.0, -100.0, 100.0);
    glMatrixMode(GL_MODELVIEW);
    glPushMatrix();
    glLoadIdentity();
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, background);
    glColor4f(1.0f, 1.0f, 1.0f, 1.0f);
    glBegin(GL_TRIANGLES);
    const float corner[6][4] = {{0, 1, 0, 0}, {0, 0, 0, 600}, {1, 0, 800, 600},
                                {1, 0, 800, 600}, {1, 1, 800, 0}, {0, 1, 0, 0}};
    for (const auto& c : corner) {
        glTexCoord2f(c[0], c[1]);
        glVertex3f(c[2], c[3], 0.0f);
    }
    glEnd();
    glDisable(GL_TEXTURE_2D);
    glEnable(GL_DEPTH_TEST);
    glPopMatrix();
    glMatrixMode(GL_PROJECTION);
    glPopMatrix();
    glMatrixMode(GL_MODELVIEW);

    const float light[4] = {1.0f, 1.0f, 1.0f, 0.0f};
    glLightfv(GL_LIGHT0, GL_POSITION, light);
    glEnable(GL_LIGHTING);
    glEnable(GL_LIGHT0);
    glEnable(GL_COLOR_MATERIAL);
    glEnable(GL_NORMALIZE);
    glColor4f(1.0f, 0.5f, 0.1f, 1.0f);
    glBegin(GL_TRIANGLES);
    static const int kFaces[6][4][3] = {
        {{-1, -1, 1}, {1, -1, 1}, {1, 1, 1}, {-1, 1, 1}},     {{1, -1, -1}, {-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}},
        {{-1, 1, 1}, {1, 1, 1}, {1, 1, -1}, {-1, 1, -1}},     {{-1, -1, -1}, {1, -1, -1}, {1, -1, 1}, {-1, -1, 1}},
        {{1, -1, 1}, {1, -1, -1}, {1, 1, -1}, {1, 1, 1}},     {{-1, -1, -1}, {-1, -1, 1}, {-1, 1, 1}, {-1, 1, -1}}};
    static const float kNormals[6][3] = {{0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}, {1, 0, 0}, {-1, 0, 0}};
    static const int kOrder[6] = {0, 1, 2, 2, 3, 0};
    for (std::size_t b = 0; b + 3 < boxes.size(); b += 4) {
        const float s = boxes[b + 3];
        for (int f = 0; f < 6; ++f) {
            glNormal3fv(kNormals[f]);
            for (const int k : kOrder) {
                glVertex3f(boxes[b] + s * float(kFaces[f][k][0]), boxes[b + 1] + s * float(kFaces[f][k][1]),
                           boxes[b + 2] + s * float(kFaces[f][k][2]));
            }
        }
    }
    glEnd();
    glDisable(GL_LIGHTING);

    glEnable(GL_TEXTURE_2D);
    glBindTexture(GL_TEXTURE_2D, sprite);
    glEnable(GL_BLEND);
    glDepthMask(GL_FALSE);
    glBlendFunc(GL_SRC_ALPHA, GL_DST_ALPHA);
    glColor4f(1.0f, 0.4f, 0.0f, 0.3f);
    glBegin(GL_TRIANGLES);
    static const float kSprite[6][4] = {{0, 0, 0, 0}, {0, 1, 0, 1}, {1, 1, 1, 1},
                                        {1, 1, 1, 1}, {1, 0, 1, 0}, {0, 0, 0, 0}};
    for (std::size_t q = 0; q + 2 < sprites.size(); q += 3) {
        for (const auto& c : kSprite) {
            glTexCoord2f(c[0], c[1]);
            glVertex3f(sprites[q], sprites[q + 1] + 0.1f * c[3], sprites[q + 2] + 0.2f * c[2]);
        }
    }
    glEnd();
    glDepthMask(GL_TRUE);
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}

int runLiveReference(double seconds) {
    fullscreen = 0;
    // The demo's textures and scenes, without its music: the renderer's own share of a live run.
    ShowRunDesc desc;
    desc.timing = RunTiming::Steady;
    desc.music = false;
    ShowRun run;
    if (!run.start(desc)) return 1;
    Clock& clock = run.clock();
    ReferenceScene scene;
    if (!scene.place()) return 1;

    // Paced as the shell paces the demo at 60 frames a second, and each frame's time printed as
    // --debug prints the music time, so the benchmark reads both programs alike.
    const bool vsync = windowTrySwapInterval60();
    const std::int64_t frameNs = 1000000000 / 60;
    const std::uint32_t start = clock.ticks();
    std::int64_t deadline = steadyNowNs();
    for (;;) {
        WindowEvents events;
        windowPumpEvents(keys, events);
        const double t = double(clock.ticks() - start) * 0.001;
        if (events.quit || t >= seconds) break;
        std::fprintf(stderr, "%08.4f\n", t);
        scene.draw();
        glFlush();
        windowSwap();
        if (!vsync) {
            deadline += frameNs;
            sleepUntilNs(deadline);
        }
    }
    return 0;
}
