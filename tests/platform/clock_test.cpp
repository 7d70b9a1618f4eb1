// The fixed-step clock: frame times are floored milliseconds at any rate, and differences
// survive the 32-bit wrap. (The steady clock is timed in the live-run test of the program.)
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uint32_t ticksAt(FixedStepClock& clock, std::uint64_t frame) {
    clock.setFrame(frame);
    return clock.ticks();
}

TEST(FixedStepClock, FrameTimesAreFlooredMillisecondsAndDifferencesSurviveTheWrap) {
    const struct {
        std::uint32_t rate, per;
        std::uint64_t frame;
        std::uint32_t ms;
    } cases[] = {{60, 1, 1, 16},        {60, 1, 2, 33},          {60, 1, 11220, 187000}, {30, 1, 2, 66},
                 {60000, 1001, 3, 50},  {60000, 1001, 60000, 1001000},
                 // A billion NTSC frames: 16,683,333,333 ms, taken mod 2^32.
                 {60000, 1001, 1000000000u, std::uint32_t(16683333333ull % 4294967296ull)}};
    for (const auto& c : cases) {
        FixedStepClock clock(c.rate, c.per);
        EXPECT_EQ(ticksAt(clock, c.frame), c.ms) << c.rate << "/" << c.per << " frame " << c.frame;
    }
    const std::uint32_t base = 0xFFFFFFFFu - 20;  // wraps within the second frame
    FixedStepClock clock(60, 1, base);
    FixedStepClock plain(60);
    EXPECT_LT(ticksAt(clock, 2), base);  // the counter itself has wrapped ...
    for (std::uint64_t frame : {1u, 2u, 11220u}) {
        // ... yet every unsigned difference is the frame's time from the start.
        EXPECT_EQ(std::uint32_t(ticksAt(clock, frame) - base), ticksAt(plain, frame)) << frame;
    }
}

}  // namespace
