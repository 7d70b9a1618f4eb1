// The clouds through both windows at very different frame rates and with stalls of seconds:
// every drawn value stays a number and every life stays within its cycle.
#include <cmath>

#include <gtest/gtest.h>

#include "tests/scenes/scene_test_support.h"

namespace {

::testing::AssertionResult cloudsSane() {
    for (const CloudEmitter& e : demo.cloud.emitters) {
        for (const CloudParticle& p : e.particles) {
            const Quad& q = p.live.quad;
            float sum = q.color.r + q.color.g + q.color.b + q.color.a;
            for (const Vec3& c : q.corners) sum += c.x + c.y + c.z;
            if (!std::isfinite(sum) || p.live.life < 0 || p.live.life > p.spawn.life) {
                return ::testing::AssertionFailure() << "at " << demo.musicTime << " life " << p.live.life;
            }
        }
    }
    return ::testing::AssertionSuccess();
}

// Steps from `from` (or from where the clock is, when negative) to `to` seconds; every
// stallEvery seconds the clock skips stallSeconds.
void run(DemoHarness& h, std::uint32_t fps, double from, double to, double stallEvery, double stallSeconds) {
    if (from >= 0.0) skipTo(h, fps, from);
    double nextStall = double(demo.musicTime) + stallEvery;
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
    DemoHarness h(GetParam());
    h.init();
    run(h, GetParam(), 15.0, 95.6, 0.0, 0.0);
    run(h, GetParam(), 159.9, 187.1, 0.0, 0.0);
    EXPECT_EQ(demo.cloud.active, 0);
}

INSTANTIATE_TEST_SUITE_P(FramesPerSecond, CloudRates, testing::Values(1u, 10u, 60u, 1000u));

TEST(CloudStalls, StallsOfSecondsStaySane) {
    DemoHarness h(60);
    h.init();
    run(h, 60, 15.0, 95.6, 3.0, 4.0);
    // 65 s without a frame: the second window opens on one huge step.
    h.clock.setFrame(h.clock.frame() + 65 * 60);
    run(h, 60, -1.0, 187.1, 2.0, 7.0);
}

}  // namespace
