// Millisecond clocks: the frame step and the music clock both read one of these.
//
// Ticks are 32-bit unsigned milliseconds, like the system tick counters the show is timed with:
// differences are taken as unsigned 32-bit subtractions, so they stay right across
// the counter's wrap. A real clock runs from a steady source; a fixed-step clock gives frame n
// the tick floor(n × 1000 / fps), so that tests and offline capture see exactly the same
// times on every run.
#pragma once

#include <cstdint>

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::uint32_t ticks() = 0;
    // The tick the frame step (dt) is measured with. Where the machine has one clock it is the
    // music clock; on Windows the step reads the coarser system tick count, as the show was
    // timed against, while the music time reads the 1 ms multimedia timer.
    virtual std::uint32_t stepTicks() { return ticks(); }
};

// Milliseconds of a steady (monotonic) source; the first reading is 0 + base.
class SteadyClock final : public Clock {
public:
    explicit SteadyClock(std::uint32_t base = 0);
    std::uint32_t ticks() override;
    std::uint32_t stepTicks() override;

private:
    // Where the port's sources stood when the clock was made, in their own units: nanoseconds of
    // the monotonic clock where one source serves both; on Windows the multimedia timer's
    // milliseconds (ticks) and the system tick count's (stepTicks).
    std::int64_t origin_;
    [[maybe_unused]] std::uint32_t stepOrigin_ = 0;  // read only by the Windows port
    std::uint32_t base_;
};

// Frame n reads base + floor(n × 1000 × den / num) (mod 2^32) for a rate of num/den frames
// per second; 60000/1001 works as well as 60/1.
class FixedStepClock final : public Clock {
public:
    FixedStepClock(std::uint32_t fpsNum, std::uint32_t fpsDen = 1, std::uint32_t base = 0);
    std::uint32_t ticks() override { return ticksAt(frame_); }
    std::uint32_t ticksAt(std::uint64_t frame) const;

    void setFrame(std::uint64_t frame) { frame_ = frame; }
    void advance() { ++frame_; }
    std::uint64_t frame() const { return frame_; }

private:
    std::uint32_t num_;
    std::uint32_t den_;
    std::uint32_t base_;
    std::uint64_t frame_ = 0;
};

// Sleeps the calling thread until the steady source reaches the given number of
// nanoseconds since the steady origin; frame pacing uses it.
std::int64_t steadyNowNs();
void sleepUntilNs(std::int64_t deadlineNs);
