// The fixed-step clock; the steady one and the sleep come from steady_clock.cpp (or the
// browser's own).
#include "platform/clock.h"

FixedStepClock::FixedStepClock(std::uint32_t fpsNum, std::uint32_t fpsDen, std::uint32_t base)
    : num_(fpsNum == 0 ? 1 : fpsNum), den_(fpsDen == 0 ? 1 : fpsDen), base_(base) {}

std::uint32_t FixedStepClock::ticksAt(std::uint64_t frame) const {
    // frame × 1000 × den fits 64 bits for any frame count a run can reach.
    const std::uint64_t ms = frame * 1000u * den_ / num_;
    return base_ + std::uint32_t(ms);
}
