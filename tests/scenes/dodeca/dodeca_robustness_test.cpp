// The cluster through its whole window at very different frame rates and with stalls: the
// pulse is counted in frames, so it must stay bounded around the rest shape whatever the rate.
#include <cmath>

#include <gtest/gtest.h>

#include "tests/scenes/scene_test_support.h"

namespace {

float dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

::testing::AssertionResult clusterSane() {
    for (const auto* meshes : {&demo.dodeca.solids, &demo.dodeca.shells}) {
        for (const PulsingDodecahedron& m : *meshes) {
            for (std::size_t i = 0; i < m.vertices.size(); ++i) {
                const Vec3 d = Vec3::subtract(m.vertices[i], m.centre);
                const Vec3 r = Vec3::subtract(m.restVertices[i], m.centre);
                const float ratio = std::sqrt(dot(d, d) / dot(r, r));
                const int counter = m.counters[i];
                if (!std::isfinite(ratio) || ratio < 0.2f || ratio > 2.0f || counter < 0 || counter > 138) {
                    return ::testing::AssertionFailure() << "vertex " << i << " at " << ratio << " of its rest offset, "
                                                         << "counter " << counter << ", t " << demo.musicTime;
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// From 140 s to the end; every stallEvery seconds the clock skips stallSeconds.
void run(std::uint32_t fps, double stallEvery, double stallSeconds) {
    DemoHarness h(fps);
    h.init();
    skipTo(h, fps, 140.0);
    double nextStall = 140.0 + stallEvery;
    int frames = 0;
    while (demo.musicTime < 187.1f) {
        if (stallEvery > 0.0 && demo.musicTime > nextStall) {
            h.clock.setFrame(h.clock.frame() + std::uint64_t(stallSeconds * fps));
            nextStall = double(demo.musicTime) + stallSeconds + stallEvery;
        }
        ASSERT_EQ(h.step(), 1);
        // Checking 800 vertices every frame at 1000 fps costs more than the run itself.
        if (++frames % 7 == 1) {
            ASSERT_TRUE(clusterSane());
        }
    }
    EXPECT_EQ(demo.dodeca.active, 0);
    EXPECT_TRUE(clusterSane());
}

class DodecaRates : public testing::TestWithParam<std::uint32_t> {};

TEST_P(DodecaRates, WholeWindowStaysBounded) { run(GetParam(), 0.0, 0.0); }

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, DodecaRates, testing::Values(1u, 10u, 60u, 1000u));

TEST(DodecaStalls, StallsOfSecondsStayBounded) { run(60, 2.5, 5.0); }

}  // namespace
