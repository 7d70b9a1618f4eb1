// The whole 187 seconds at frame rates from 1 to 1000 per second and through long stalls, with a
// spectrum that keeps crossing every scene's thresholds and sometimes fails to read. After every
// update nothing that the scenes hand to GL may be NaN or infinite; reads out of range are left
// to the sanitizer build, which runs these tests as well.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <memory>
#include <string>

#include "app/offscreen.h"
#include "app/shell.h"
#include "assets/embedded.h"
#include "gfx/random.h"
#include "platform/audio.h"
#include "tests/support/demo_harness.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

namespace {

// Visits every number the active scenes draw from this frame (the others did not change).
// Scan only adds (v - v), which stays 0 for finite numbers and turns NaN for any other, so the
// check after each of 187,000 updates stays cheap; Locate names the first bad one.
template <typename See>
void visitActiveScenes(const Demo& d, See& see) {
    auto vec = [&](const Vec3& v, const char* what) {
        see(v.x, what);
        see(v.y, what);
        see(v.z, what);
    };
    auto colour = [&](const Colour4& c, const char* what) {
        see(c.r, what);
        see(c.g, what);
        see(c.b, what);
        see(c.a, what);
    };
    auto quad = [&](const Quad& q, const char* what) {
        for (const Vec3& corner : q.corners) vec(corner, what);
        for (const TexCoord& t : q.texCoords) {
            see(t.u, what);
            see(t.v, what);
        }
        colour(q.color, what);
    };
    auto mesh = [&](const Mesh& m, const char* what) {
        vec(m.centre, what);
        for (const Vec3& v : m.vertices) vec(v, what);
        for (const Vec3& n : m.normals) vec(n, what);
        for (float c : m.colour) see(c, what);
    };
    auto box = [&](const BoxMesh& b, const char* what) {
        vec(b.base, what);
        for (const Vec3& v : b.vertices) vec(v, what);
        for (const Vec3& n : b.normals) vec(n, what);
        colour(b.colour, what);
    };
    auto emitters = [&](const std::vector<LaserEmitter>& list, const char* what) {
        for (const LaserEmitter& emitter : list) {
            for (const LaserRay& ray : emitter.rays) {
                for (const RaySegment& segment : ray.segments) {
                    for (const Vec3& corner : segment.corners) vec(corner, what);
                    colour(segment.colour, what);
                }
            }
        }
    };

    see(d.musicTime, "music time");
    see(d.dt, "frame step");
    if (d.background.active != 0) quad(d.background.sprite.quad, "background quad");
    if (d.cards.active != 0) {
        for (const Card& card : d.cards.cards) {
            quad(card.quad, "card quad");
            colour(card.colour, "card colour");
        }
    }
    if (d.cloud.active != 0) {
        for (const CloudEmitter& emitter : d.cloud.emitters) {
            for (const CloudParticle& particle : emitter.particles) {
                quad(particle.live.quad, "cloud sprite quad");
                colour(particle.live.colour, "cloud sprite colour");
            }
        }
    }
    if (d.knot.active != 0) {
        for (const TrackBox& b : d.knot.inner) box(b.mesh, "inner knot box");
        for (const TrackBox& b : d.knot.outer) box(b.mesh, "outer knot box");
    }
    if (d.laser.active != 0) {
        emitters(d.laser.emitters0, "laser ray segment (curve 0)");
        emitters(d.laser.emitters1, "laser ray segment (curve 1)");
        emitters(d.laser.emitters2, "laser ray segment (curve 2)");
    }
    if (d.dodeca.active != 0) {
        for (const PulsingDodecahedron& solid : d.dodeca.solids) mesh(solid, "dodecahedron");
        for (const PulsingDodecahedron& shell : d.dodeca.shells) mesh(shell, "dodecahedron shell");
    }
}

struct Scan {
    float sum = 0.0f;
    void operator()(float v, const char*) { sum += v - v; }
};

struct Locate {
    std::string where;
    void operator()(float v, const char* what) {
        if (where.empty() && !std::isfinite(v)) where = what;
    }
};

// Empty when everything the active scenes draw from is finite; otherwise what is not.
std::string nonFinite(const Demo& d) {
    Scan scan;
    visitActiveScenes(d, scan);
    if (scan.sum == 0.0f) return {};
    Locate locate;
    visitActiveScenes(d, locate);
    return locate.where;
}

// The stall lengths' own sequence: the scenes' random sequence must stay theirs alone.
class StallDice {
public:
    std::uint32_t next() {
        state_ ^= state_ << 13;
        state_ ^= state_ >> 17;
        state_ ^= state_ << 5;
        return state_;
    }

private:
    std::uint32_t state_ = 0x9e3779b9u;
};

// A level for frame n: silence, both sides of every scene's threshold (0.01 laser, 0.1 knot and
// shells), loud, and now and then a failed read. Mostly quiet holds the bolts still (quiet) in
// seven of every eight stretches: a crackling bolt is rebuilt every frame, which at a thousand
// frames a second would cost more than everything else together.
void setSpectrum(FakeAudioOutput& audio, std::uint64_t n, bool mostlyQuiet) {
    static const float kLevels[] = {0.0f, 0.005f, 0.01f, 0.0101f, 0.1f, 0.1001f, 0.5f, 2.0f, 0.05f, 0.3f, 0.02f};
    std::uint64_t phase = n / 5;
    if (mostlyQuiet) {
        if (phase % 8 != 0) {
            audio.spectrumFails = false;
            audio.fill(0.005f);
            return;
        }
        phase /= 8;
    }
    audio.spectrumFails = phase % 13 == 12;
    audio.fill(kLevels[phase % (sizeof kLevels / sizeof kLevels[0])]);
}

struct ShowRun {
    std::uint32_t fps = 60;
    std::uint32_t renderEvery = 1;  // draw every nth frame (all frames are updated)
    bool stalls = false;            // now and then a frame that took up to ten seconds
    bool mostlyQuiet = false;       // see setSpectrum
};

class WholeShow : public GlTest {
protected:
    bool wantTextures() const override { return true; }

    // A small framebuffer keeps the software rasteriser fast; the view keeps its 45 degrees.
    void SetUp() override {
        GlTest::SetUp();
        if (IsSkipped()) return;
        std::string error;
        ASSERT_TRUE(target_.create(200, 150, error)) << error;
        setViewport(200, 150);
    }

    void play(const ShowRun& run) {
        DemoHarness harness(run.fps);
        harness.init();
        StallDice dice;
        std::uint64_t frames = 0;
        std::uint64_t stalled = 0;
        while (double(demo.musicTime) < kShowEnd) {
            if (run.stalls && dice.next() % 97 == 0) {
                // Up to ten seconds in one frame.
                harness.clock.setFrame(harness.clock.frame() + dice.next() % (10 * run.fps));
                ++stalled;
            }
            setSpectrum(harness.audio, frames, run.mostlyQuiet);
            ASSERT_EQ(harness.step(frames % run.renderEvery == 0), 1);
            const std::string bad = nonFinite(demo);
            ASSERT_TRUE(bad.empty()) << bad << " is not finite at " << demo.musicTime << " s (dt " << demo.dt << ")";
            ++frames;
        }
        if (run.stalls) {
            EXPECT_GT(stalled, 10u) << "the run must really stall";
        }
        EXPECT_GE(frames, std::uint64_t(186.0 * run.fps / (run.stalls ? 10.0 : 1.0)));
        EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    }

    // Just past the last scene window; the fake output would play on forever.
    static constexpr double kShowEnd = 187.02;
    OffscreenTarget target_;
};

// Every frame is updated and checked; the slow rates draw every frame or most, the fast ones a
// sample (drawing in the software rasteriser costs far more than an update).
TEST_F(WholeShow, OneFramePerSecond) { play({1, 1, false}); }
TEST_F(WholeShow, SevenFramesPerSecond) { play({7, 1, false}); }
TEST_F(WholeShow, ThirtyFramesPerSecond) { play({30, 3, false}); }
TEST_F(WholeShow, SixtyFramesPerSecond) { play({60, 6, false}); }
TEST_F(WholeShow, SixtyFramesPerSecondWithStallsOfUpToTenSeconds) { play({60, 2, true}); }
TEST_F(WholeShow, OneHundredFortyFourFramesPerSecond) { play({144, 24, false}); }
TEST_F(WholeShow, OneThousandFramesPerSecond) { play({1000, 500, false, true}); }

// The real track through the offline output: the spectrum the show was made for, the music's
// own end, and the decoder thread running beside the frames.
TEST_F(WholeShow, RealTrackToItsEnd) {
    DemoHarness harness(30);
    harness.init();
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    ASSERT_NE(track, nullptr);
    std::unique_ptr<AudioOutput> output = createAudioOutput(AudioMode::Offline, harness.clock);
    demo.attach(&harness.clock, output.get(), track->data, track->size);
    lcgState = 1;  // the same layouts as a run that started with this output
    demo.init();
    std::uint64_t frames = 0;
    while (harness.step(frames % 6 == 0) == 1) {
        const std::string bad = nonFinite(demo);
        ASSERT_TRUE(bad.empty()) << bad << " is not finite at " << demo.musicTime << " s";
        ++frames;
        ASSERT_LT(frames, 200u * 30u) << "the music never ended";
    }
    EXPECT_GT(demo.musicTime, 187.0f) << "the show ends with its music";
    demo.music.free();
}

}  // namespace
