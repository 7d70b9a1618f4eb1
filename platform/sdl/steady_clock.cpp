// The steady clock and the sleep that paces frames, over CLOCK_MONOTONIC.
#include <cerrno>
#include <ctime>

#include "platform/clock.h"

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

SteadyClock::SteadyClock(std::uint32_t base) : origin_(steadyNowNs()), base_(base) {}

std::uint32_t SteadyClock::ticks() {
    const std::int64_t elapsedMs = (steadyNowNs() - origin_) / 1000000;
    return base_ + std::uint32_t(std::uint64_t(elapsedMs));
}

std::uint32_t SteadyClock::stepTicks() { return ticks(); }
