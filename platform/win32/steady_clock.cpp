// Windows' clocks: the music clock reads the multimedia timer (timeGetTime, 1 ms steps once the
// timer period is 1 ms), the frame step reads the system tick count (GetTickCount), as the show
// was timed against; frame pacing reads the performance counter and sleeps on a waitable timer.
#include <windows.h>
#include <mmsystem.h>

#include "platform/clock.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

// The system's timer period is 15.6 ms unless a program asks for less: timeGetTime would step by
// that much and Sleep would oversleep by up to a frame. The period is held from the first clock
// or sleep to the end of the process, when the system is given its own back.
class TimerPeriod {
public:
    TimerPeriod() : held_(timeBeginPeriod(1) == TIMERR_NOERROR) {}
    ~TimerPeriod() {
        if (held_) timeEndPeriod(1);
    }
    TimerPeriod(const TimerPeriod&) = delete;
    TimerPeriod& operator=(const TimerPeriod&) = delete;

private:
    bool held_;
};

void holdTimerPeriod() { static const TimerPeriod period; }

std::int64_t counterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}

}  // namespace

std::int64_t steadyNowNs() {
    static const std::int64_t frequency = counterFrequency();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    // Split so that count × 10^9 cannot overflow however long the machine has been up.
    const std::int64_t count = now.QuadPart;
    return count / frequency * 1000000000 + count % frequency * 1000000000 / frequency;
}

void sleepUntilNs(std::int64_t deadlineNs) {
    holdTimerPeriod();
    std::int64_t left = deadlineNs - steadyNowNs();
    if (left <= 0) return;
    // A high-resolution timer (Windows 10 1803 and later) wakes within a fraction of a
    // millisecond; an ordinary one, or Sleep, at the next 1 ms period. Those are asked to wake a
    // period early and the rest is given up in yields, so a frame is neither late nor spun for.
    HANDLE timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    const bool precise = timer != nullptr;
    if (timer == nullptr) timer = CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS);
    const std::int64_t early = precise ? 0 : 1500000;
    if (left > early) {
        LARGE_INTEGER due;
        due.QuadPart = -(left - early) / 100;  // relative, in 100 ns units
        if (timer != nullptr && SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(timer, INFINITE);
        } else {
            Sleep(DWORD((left - early) / 1000000));
        }
    }
    if (timer != nullptr) CloseHandle(timer);
    while (steadyNowNs() < deadlineNs) SwitchToThread();
}

SteadyClock::SteadyClock(std::uint32_t base) : origin_(0), base_(base) {
    holdTimerPeriod();
    origin_ = timeGetTime();
    stepOrigin_ = GetTickCount();
}

// Both counters wrap after 49.7 days; the unsigned differences do not notice.
std::uint32_t SteadyClock::ticks() { return base_ + (timeGetTime() - std::uint32_t(origin_)); }

std::uint32_t SteadyClock::stepTicks() { return base_ + (GetTickCount() - stepOrigin_); }
