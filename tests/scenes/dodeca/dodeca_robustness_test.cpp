// The cluster through its whole window at very different frame rates and with stalled frames:
// the pulse is counted in frames, so it must stay bounded and finite whatever the rate.
#include <cmath>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "tests/support/demo_harness.h"
#include "timeline/demo.h"

namespace {

::testing::AssertionResult clusterSane() {
    const std::vector<PulsingDodecahedron>* arrays[2] = {&demo.dodeca.solids, &demo.dodeca.shells};
    for (const std::vector<PulsingDodecahedron>* meshes : arrays) {
        for (const PulsingDodecahedron& m : *meshes) {
            for (std::size_t i = 0; i < m.vertices.size(); ++i) {
                const Vec3 d = Vec3::subtract(m.vertices[i], m.centre);
                const Vec3 r = Vec3::subtract(m.restVertices[i], m.centre);
                const float ratio = std::sqrt((d.x * d.x + d.y * d.y + d.z * d.z) / (r.x * r.x + r.y * r.y + r.z * r.z));
                if (!std::isfinite(ratio) || ratio < 0.2f || ratio > 2.0f) {
                    return ::testing::AssertionFailure() << "vertex " << i << " at " << ratio << " of its rest offset, t "
                                                         << demo.musicTime;
                }
                if (m.counters[i] < 0 || m.counters[i] > 138) {
                    return ::testing::AssertionFailure() << "counter " << m.counters[i];
                }
            }
        }
    }
    return ::testing::AssertionSuccess();
}

void runWindow(DemoHarness& h, std::uint32_t fps, double stallEvery, double stallSeconds) {
    ASSERT_EQ(h.step(), 1);  // playback starts
    h.clock.setFrame(std::uint64_t(140.0 * fps));
    double nextStall = 140.0 + stallEvery;
    int frames = 0;
    while (demo.musicTime < 187.1f) {
        if (stallEvery > 0.0 && demo.musicTime > nextStall) {
            h.clock.setFrame(h.clock.frame() + std::uint64_t(stallSeconds * fps));
            nextStall = double(demo.musicTime) + stallSeconds + stallEvery;
        }
        ASSERT_EQ(h.step(), 1);
        frames += demo.dodeca.active;
        // Checking every frame at 1000 fps costs more than the run; every 7th frame will do.
        if (frames % 7 == 1) {
            ASSERT_TRUE(clusterSane());
        }
    }
    EXPECT_EQ(demo.dodeca.active, 0);
    ASSERT_TRUE(clusterSane());
}

class DodecaRates : public testing::TestWithParam<std::uint32_t> {};

TEST_P(DodecaRates, WholeWindowStaysBounded) {
    lcgState = 1;
    DemoHarness h(GetParam());
    h.init();
    runWindow(h, GetParam(), 0.0, 0.0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, DodecaRates, testing::Values(1u, 10u, 60u, 1000u));

TEST(DodecaStalls, StalledFramesOfSecondsChangeNothingButTime) {
    lcgState = 1;
    DemoHarness h(60);
    h.init();
    runWindow(h, 60, 2.5, 5.0);
}

}  // namespace
