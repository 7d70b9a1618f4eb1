// The laser scene.
#include "scenes/laser/laser_scene.h"

#include "gfx/random.h"
#include "gfx/render_state.h"
#include "platform/gl.h"
#include "timeline/demo.h"

namespace {
constexpr std::size_t kPerTrack = 10;
// Compared in single precision: a level of exactly 0.01f is quiet.
constexpr float kQuietLevel = 0.01f;

// Moves one position along its path. A position that has reached the last point it may read
// (index pathSteps - 1) starts over; so does one that a stalled frame carried past it.
void advance(float& pos, float dt, int pathSteps) {
    if (pathIndex(pos) < pathSteps - 1) {
        pos += dt * 0.01f;
    } else {
        pos = 0.0f;
    }
    if (pathIndex(pos) > pathSteps - 1) pos = 0.0f;
}

Vec3 pointAt(const KnotPath& path, float pos) {
    const std::size_t i = std::size_t(pathIndex(pos));
    return i < path.points.size() ? path.points[i] : Vec3();
}
}  // namespace

void LaserScene::init() {
    pathSteps = 800;
    emitters0.resize(kPerTrack);
    pathPos0.resize(kPerTrack, 0.0f);
    emitters1.resize(kPerTrack);
    pathPos1.resize(kPerTrack, 0.0f);
    emitters2.resize(kPerTrack);
    pathPos2.resize(kPerTrack, 0.0f);

    const Vec3 origin{0.0f, 0.0f, 0.0f};
    for (std::size_t i = 0; i < emitters0.size(); ++i) {
        emitters0[i].init(3, 20, origin, 0.2f, 0.1f, {1.0f, 0.5f, 0.0f, 0.3f});
        emitters1[i].init(3, 20, origin, 0.2f, 0.1f, {1.0f, 0.4f, 0.0f, 0.3f});
        emitters2[i].init(3, 20, origin, 0.2f, 0.1f, {1.0f, 0.3f, 0.0f, 0.3f});
    }

    for (std::size_t j = 0; j < pathPos0.size(); ++j) {
        pathPos0[j] = float(lcgRand() * pathSteps / 32767);
        pathPos1[j] = float(lcgRand() * pathSteps / 32767);
        pathPos2[j] = float(lcgRand() * pathSteps / 32767);
    }

    path0.init(1.0f, pathSteps, 0);
    path1.init(1.0f, pathSteps, 1);
    path2.init(1.0f, pathSteps, 2);

    quiet = 0;
}

void LaserScene::update(float dt) {
    bandLevel = demo.music.band(1300);
    // A failed read (-1) is quiet too.
    quiet = bandLevel > kQuietLevel ? 0 : 1;

    const std::size_t count = emitters0.size();
    for (std::size_t i = 0; i < count; ++i) {
        if (i >= emitters1.size() || i >= emitters2.size() || i >= pathPos0.size() || i >= pathPos1.size() ||
            i >= pathPos2.size()) {
            break;
        }
        advance(pathPos0[i], dt, pathSteps);
        advance(pathPos1[i], dt, pathSteps);
        advance(pathPos2[i], dt, pathSteps);

        // The random numbers in the order of three updates one after the other; the corners,
        // which draw nothing, for the three bolts together.
        emitters0[i].drawKinks();
        emitters1[i].drawKinks();
        emitters2[i].drawKinks();
        LaserEmitter* const group[3] = {&emitters0[i], &emitters1[i], &emitters2[i]};
        const Vec3 targets[3] = {pointAt(path0, pathPos0[i]), pointAt(path1, pathPos1[i]), pointAt(path2, pathPos2[i])};
        LaserEmitter::buildTogether(group, targets, 3);

        // Written after the update: a change of level shows from the next frame on.
        emitters0[i].frozen = quiet;
        emitters1[i].frozen = quiet;
        emitters2[i].frozen = quiet;
    }
}

void LaserScene::render() {
    glDisable(GL_LIGHTING);
    // The bolts' centre follows the eye, with x and z exchanged and halved.
    const Vec3 e = demo.camera.eye;
    glTranslatef(e.z * 0.5f, e.y, e.x * 0.5f);
    demo.textures.bind("laser");
    enableBlending(GL_SRC_ALPHA, GL_DST_ALPHA);
    for (std::size_t i = 0; i < emitters0.size() && i < emitters1.size() && i < emitters2.size(); ++i) {
        emitters0[i].render();
        emitters1[i].render();
        emitters2[i].render();
    }
    disableBlending();
    demo.textures.unbind();
    glTranslatef(-e.z * 0.5f, -e.y, -e.x * 0.5f);
}
