// Steady and fixed-step millisecond clocks, and the sleep that paces frames.
#include "platform/clock.h"

#include <cerrno>
#include <ctime>

std::int64_t steadyNowNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleepUntilNs(std::int64_t deadlineNs) {
    timespec until{};
    until.tv_sec = time_t(deadlineNs / 1000000000);
    until.tv_nsec = long(deadlineNs % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

SteadyClock::SteadyClock(std::uint32_t base) : originNs_(steadyNowNs()), base_(base) {}

std::uint32_t SteadyClock::ticks() {
    const std::int64_t elapsedMs = (steadyNowNs() - originNs_) / 1000000;
    return base_ + std::uint32_t(std::uint64_t(elapsedMs));
}

FixedStepClock::FixedStepClock(std::uint32_t fpsNum, std::uint32_t fpsDen, std::uint32_t base)
    : num_(fpsNum == 0 ? 1 : fpsNum), den_(fpsDen == 0 ? 1 : fpsDen), base_(base) {}

std::uint32_t FixedStepClock::ticksAt(std::uint64_t frame) const {
    // frame × 1000 × den fits 64 bits for any frame count a run can reach.
    const std::uint64_t ms = frame * 1000u * den_ / num_;
    return base_ + std::uint32_t(ms);
}
