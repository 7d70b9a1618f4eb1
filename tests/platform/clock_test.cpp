// The millisecond clocks: fixed-step frame times and the 32-bit wrap.
#include "platform/clock.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

std::uint32_t ticksAt(FixedStepClock& clock, std::uint64_t frame) {
    clock.setFrame(frame);
    return clock.ticks();
}

TEST(FixedStepClock, FrameTimesAreFlooredMilliseconds) {
    FixedStepClock at60(60);
    EXPECT_EQ(ticksAt(at60, 0), 0u);
    EXPECT_EQ(ticksAt(at60, 1), 16u);
    EXPECT_EQ(ticksAt(at60, 2), 33u);
    EXPECT_EQ(ticksAt(at60, 3), 50u);
    EXPECT_EQ(ticksAt(at60, 59), 983u);
    EXPECT_EQ(ticksAt(at60, 60), 1000u);
    EXPECT_EQ(ticksAt(at60, 11220), 187000u);

    FixedStepClock at50(50);
    EXPECT_EQ(ticksAt(at50, 1), 20u);
    EXPECT_EQ(ticksAt(at50, 9350), 187000u);

    FixedStepClock at30(30);
    EXPECT_EQ(ticksAt(at30, 1), 33u);
    EXPECT_EQ(ticksAt(at30, 2), 66u);
    EXPECT_EQ(ticksAt(at30, 3), 100u);

    // NTSC rate: 16.683..., 33.366..., 50.05 ms; 60000 frames take exactly 1001 s.
    FixedStepClock ntsc(60000, 1001);
    EXPECT_EQ(ticksAt(ntsc, 1), 16u);
    EXPECT_EQ(ticksAt(ntsc, 2), 33u);
    EXPECT_EQ(ticksAt(ntsc, 3), 50u);
    EXPECT_EQ(ticksAt(ntsc, 1000), 16683u);
    EXPECT_EQ(ticksAt(ntsc, 60000), 1001000u);
}

TEST(FixedStepClock, DifferencesSurviveTheWrap) {
    const std::uint32_t base = 0xFFFFFFFFu - 20;  // wraps within the second frame
    FixedStepClock clock(60, 1, base);
    const std::uint32_t start = ticksAt(clock, 0);
    EXPECT_EQ(start, base);
    EXPECT_LT(ticksAt(clock, 2), start);  // the counter itself has wrapped ...
    for (std::uint64_t frame : {1u, 2u, 3u, 60u, 11220u}) {
        FixedStepClock plain(60);
        // ... yet every unsigned difference is the frame's time from the start.
        EXPECT_EQ(std::uint32_t(ticksAt(clock, frame) - start), ticksAt(plain, frame)) << frame;
    }
}

TEST(FixedStepClock, LongRunsDoNotOverflow) {
    // A billion frames at the NTSC rate: 16,683,333,333 ms, taken mod 2^32.
    FixedStepClock clock(60000, 1001);
    EXPECT_EQ(ticksAt(clock, 1000000000u), std::uint32_t(16683333333ull % 4294967296ull));
}

TEST(SteadyClock, StartsAtItsBaseAndNeverGoesBack) {
    const std::uint32_t base = 0xFFFFFFFFu - 1;
    SteadyClock clock(base);
    const std::uint32_t first = clock.ticks();
    EXPECT_LT(std::uint32_t(first - base), 1000u);
    std::uint32_t previous = 0;
    for (int i = 0; i < 1000; ++i) {
        const std::uint32_t elapsed = clock.ticks() - first;
        EXPECT_GE(elapsed, previous);
        previous = elapsed;
    }
    const std::int64_t now = steadyNowNs();
    sleepUntilNs(now + 2000000);
    EXPECT_GE(steadyNowNs(), now + 2000000);
}

}  // namespace
