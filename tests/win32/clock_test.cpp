// Windows' steady clock: the music clock follows timeGetTime and the frame step GetTickCount,
// each from the moment the clock was made, across the 32-bit wrap; the nanosecond clock that
// paces frames runs in nanoseconds.
#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/clock.h"

namespace {

struct Reading {
    std::uint32_t lowest = 0;   // the source's advance since the clock was made, at least ...
    std::uint32_t highest = 0;  // ... and at most
};

// Reads the clock between two readings of the source it should follow; `made` brackets the
// clock's construction the same way.
template <typename Source, typename Read>
Reading bracket(Source source, Read read, std::uint32_t& value, const Reading& made) {
    const std::uint32_t before = source();
    value = read();
    const std::uint32_t after = source();
    return {before - made.highest, after - made.lowest};
}

TEST(SteadyClock, TicksFollowTheMultimediaTimerAndStepsTheTickCountFromTheirOrigins) {
    // Near the wrap, so the clock's own sum wraps while the test runs.
    const std::uint32_t base = 0xFFFFFFFFu - 40;
    const Reading timerMade{timeGetTime(), 0}, tickMade{GetTickCount(), 0};
    SteadyClock clock(base);
    const Reading timerAt{timerMade.lowest, timeGetTime()}, tickAt{tickMade.lowest, GetTickCount()};
    const std::int64_t startNs = steadyNowNs();
    const std::uint32_t timerStart = timeGetTime();
    // The two sources step differently (the tick count by the system's period, 10 to 16 ms):
    // over a few hundred readings a clock on the wrong one falls outside the bracket.
    for (int i = 0; i < 300; ++i) {
        std::uint32_t ticks = 0, steps = 0;
        const Reading music = bracket(timeGetTime, [&] { return clock.ticks(); }, ticks, timerAt);
        const Reading step = bracket(GetTickCount, [&] { return clock.stepTicks(); }, steps, tickAt);
        ASSERT_LE(music.lowest, std::uint32_t(ticks - base)) << "reading " << i;
        ASSERT_LE(std::uint32_t(ticks - base), music.highest) << "reading " << i;
        ASSERT_LE(step.lowest, std::uint32_t(steps - base)) << "reading " << i;
        ASSERT_LE(std::uint32_t(steps - base), step.highest) << "reading " << i;
        Sleep(1);
    }
    EXPECT_LT(clock.ticks(), base) << "the sum wrapped";
    // Nanoseconds, not 100 ns units or counter ticks: both clocks agree within a few ms.
    const double timerMs = double(timeGetTime() - timerStart);
    const double steadyMs = double(steadyNowNs() - startNs) / 1e6;
    EXPECT_NEAR(steadyMs, timerMs, 5.0);
    EXPECT_GT(timerMs, 250.0);
}

}  // namespace
