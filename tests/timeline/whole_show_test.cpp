// The whole 187 seconds at frame rates from 1 to 1000 per second and through long stalls, with a
// spectrum that keeps crossing every scene's thresholds and sometimes fails to read. After every
// update nothing that the scenes hand to GL may be NaN or infinite and every position along a
// path must name one of its points; reads out of range are left to the sanitizer build, which
// runs these tests as well.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "assets/embedded.h"
#include "gfx/random.h"
#include "sound/audio_output.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

// Notes the first fault among the numbers the active scenes draw from this frame (the others
// did not change).
struct FirstFault {
    const char* where = nullptr;
    void see(float v, const char* what) {
        if (where == nullptr && !std::isfinite(v)) where = what;
    }
    void see(const Vec3& v, const char* what) { for (float f : {v.x, v.y, v.z}) see(f, what); }
    void see(const Colour4& c, const char* what) { for (float f : {c.r, c.g, c.b, c.a}) see(f, what); }
    void see(const TexCoord& t, const char* what) { for (float f : {t.u, t.v}) see(f, what); }
    template <typename List> void all(const List& list, const char* what) { for (const auto& x : list) see(x, what); }
    void see(const Quad& q, const char* what) { all(q.corners, what), all(q.texCoords, what), see(q.color, what); }
    void see(const Mesh& m, const char* what) {
        see(m.centre, what), all(m.vertices, what), all(m.normals, what), all(m.colour, what);
    }
    void see(const BoxMesh& b, const char* what) {
        see(b.base, what), all(b.vertices, what), all(b.normals, what), see(b.colour, what);
    }
    void see(const LaserEmitter& emitter, const char* what) {
        for (const LaserRay& ray : emitter.rays) {
            for (const RaySegment& segment : ray.segments) all(segment.corners, what), see(segment.colour, what);
        }
    }
    void onPath(float position, std::size_t points, const char* what) {
        if (where == nullptr && std::size_t(pathIndex(position)) >= points) where = what;
    }
};

const char* firstFault(const Demo& d) {
    FirstFault bad;
    bad.see(d.musicTime, "music time");
    bad.see(d.dt, "frame step");
    if (d.background.active != 0) bad.see(d.background.sprite.quad, "background quad");
    if (d.cards.active != 0) {
        for (const Card& card : d.cards.cards) bad.see(card.quad, "card quad"), bad.see(card.colour, "card colour");
    }
    if (d.cloud.active != 0) {
        for (const CloudEmitter& emitter : d.cloud.emitters) {
            for (const CloudParticle& p : emitter.particles) bad.see(p.live.quad, "cloud"), bad.see(p.live.colour, "");
        }
    }
    if (d.knot.active != 0) {
        for (const TrackBox& b : d.knot.inner) bad.see(b.mesh, "inner knot box");
        for (const TrackBox& b : d.knot.outer) bad.see(b.mesh, "outer knot box");
        for (float pos : d.knot.trackPos) bad.onPath(pos, d.knot.track.points.size(), "knot box off its track");
    }
    if (d.laser.active != 0) {
        for (const auto* list : {&d.laser.emitters0, &d.laser.emitters1, &d.laser.emitters2}) bad.all(*list, "laser");
        for (const auto* list : {&d.laser.pathPos0, &d.laser.pathPos1, &d.laser.pathPos2}) {
            for (float pos : *list) bad.onPath(pos, std::size_t(d.laser.pathSteps), "bolt off its path");
        }
    }
    if (d.dodeca.active != 0) bad.all(d.dodeca.solids, "dodecahedron"), bad.all(d.dodeca.shells, "dodecahedron shell");
    return bad.where;
}

struct ShowRun {
    std::uint32_t fps = 60;
    std::uint32_t renderEvery = 1;  // draw every nth frame (all frames are updated)
    bool stalls = false;            // now and then a frame that took up to ten seconds
    bool mostlyQuiet = false;       // see DemoHarness::varySpectrum
    // The real track through the offline output: the spectrum the show was made for, the music's
    // own end, and the decoder thread running beside the frames. Otherwise the fake output's
    // varied spectrum, ended just past the last scene window.
    bool realTrack = false;
};

class WholeShow : public SmallFrameTest, public testing::WithParamInterface<ShowRun> {};

TEST_P(WholeShow, EveryUpdateStaysFiniteAndOnItsPathsAndTheShowEndsWithItsMusic) {
    const ShowRun run = GetParam();
    DemoHarness harness(run.fps);
    harness.init();
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    ASSERT_NE(track, nullptr);
    std::unique_ptr<AudioOutput> output = createAudioOutput(AudioMode::Offline, harness.clock);
    if (run.realTrack) {
        demo.attach(&harness.clock, output.get(), track->data, track->size);
        lcgState = 1;  // the same layouts as a run that started with this output
        demo.init();
    }
    std::minstd_rand dice(7);  // its own sequence: the scenes' random sequence stays theirs alone
    std::uint64_t frames = 0;
    std::uint64_t stalled = 0;
    float lastTime = 0.0f;
    for (;; ++frames) {
        if (run.stalls && dice() % 97 == 0) {
            harness.clock.setFrame(harness.clock.frame() + dice() % (10 * run.fps));
            ++stalled;
        }
        harness.varySpectrum(frames, run.mostlyQuiet);
        harness.audio.active = demo.musicTime < 187.02f;
        if (harness.step(frames % run.renderEvery == 0) == 0) break;
        lastTime = demo.musicTime;
        const char* bad = firstFault(demo);
        ASSERT_EQ(bad, nullptr) << bad << " at " << demo.musicTime << " s (dt " << demo.dt << ")";
        // Between the last window and the end of the music nothing is on: black frames.
        if (lastTime >= 187.0f) {
            EXPECT_EQ(demo.cards.active + demo.background.active + demo.cloud.active + demo.dodeca.active, 0);
        }
        ASSERT_LT(frames, 200u * run.fps) << "the music never ended";
    }
    EXPECT_GT(demo.musicTime, 187.0f) << "the show ends with its music";
    EXPECT_TRUE(!run.realTrack || lastTime < 187.1f) << lastTime;
    EXPECT_TRUE(!run.stalls || stalled > 10u) << "the run must really stall";
    EXPECT_GE(frames, std::uint64_t(186.0 * run.fps / (run.stalls ? 10.0 : 1.0)));
    EXPECT_EQ(restorePending, 0) << "the knot boxes are restored once, after 75 s";
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    demo.music.free();
}

// Every frame is updated and checked; the slow rates draw every frame or most, the fast ones a
// sample (drawing in the software rasteriser costs far more than an update).
INSTANTIATE_TEST_SUITE_P(Rates, WholeShow,
                         testing::Values(ShowRun{1, 1}, ShowRun{7, 1}, ShowRun{60, 2, true}, ShowRun{144, 24},
                                         ShowRun{1000, 500, false, true}, ShowRun{30, 6, false, false, true}),
                         [](const testing::TestParamInfo<ShowRun>& p) {
                             return std::to_string(p.param.fps) +
                                    (p.param.stalls ? "FpsWithStalls" : p.param.realTrack ? "FpsRealTrack" : "Fps");
                         });

}  // namespace
