// The cloud scene through both of its windows at very different frame rates and with stalled
// frames: nothing may turn into NaN or infinity, and the particles keep their life cycle.
#include <cmath>

#include <gtest/gtest.h>

#include "gfx/random.h"
#include "tests/support/demo_harness.h"
#include "timeline/demo.h"

namespace {

bool finite(const Vec3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Every drawn value of every particle is a number; lives stay within their cycle.
::testing::AssertionResult cloudsSane() {
    for (const CloudEmitter& e : demo.cloud.emitters) {
        for (const CloudParticle& p : e.particles) {
            const CloudParticleState& s = p.live;
            for (const Vec3& c : s.quad.corners) {
                if (!finite(c)) return ::testing::AssertionFailure() << "corner not finite at " << demo.musicTime;
            }
            if (!std::isfinite(s.quad.color.r + s.quad.color.g + s.quad.color.b + s.quad.color.a)) {
                return ::testing::AssertionFailure() << "colour not finite at " << demo.musicTime;
            }
            if (s.life < 0 || s.life > p.spawn.life) {
                return ::testing::AssertionFailure() << "life " << s.life << " at " << demo.musicTime;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Runs the demo at the given rate from `from` to `to` seconds of music, jumping the clock over
// the stretches in between; every stallEvery seconds the clock skips stallSeconds (one huge dt).
void runWindow(DemoHarness& h, std::uint32_t fps, double from, double to, double stallEvery = 0.0,
               double stallSeconds = 0.0) {
    h.clock.setFrame(std::uint64_t(from * fps));
    double nextStall = from + stallEvery;
    while (demo.musicTime < to) {
        if (stallEvery > 0.0 && demo.musicTime > nextStall) {
            h.clock.setFrame(h.clock.frame() + std::uint64_t(stallSeconds * fps));
            nextStall = double(demo.musicTime) + stallSeconds + stallEvery;
        }
        ASSERT_EQ(h.step(), 1);
        ASSERT_TRUE(cloudsSane());
    }
}

class CloudRates : public testing::TestWithParam<std::uint32_t> {};

TEST_P(CloudRates, BothWindowsStaySane) {
    const std::uint32_t fps = GetParam();
    lcgState = 1;
    DemoHarness h(fps);
    h.init();
    ASSERT_EQ(h.step(), 1);  // playback, and with it the music clock, starts here
    runWindow(h, fps, 15.0, 95.6);
    EXPECT_EQ(demo.cloud.active, 0);
    runWindow(h, fps, 159.9, 187.1);
    EXPECT_EQ(demo.cloud.active, 0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, CloudRates, testing::Values(1u, 10u, 60u, 1000u));

TEST(CloudStalls, StalledFramesOfSecondsStaySane) {
    lcgState = 1;
    DemoHarness h(60);
    h.init();
    ASSERT_EQ(h.step(), 1);  // playback, and with it the music clock, starts here
    // A stall of 4 s every 3 s of music, then one of 70 s that lands in the second window.
    runWindow(h, 60, 15.0, 90.0, 3.0, 4.0);
    runWindow(h, 60, 160.5, 187.1, 2.0, 7.0);
}

}  // namespace
