// Starting the show part-way: the state at a music time is reached by running every frame
// before it through Demo::update (without drawing), on a fixed-step clock at the frame rate in
// use, so that the scenes, the random sequence and everything that accumulates look exactly as
// in a full run. Then the clock carries on in real time from where the steps left off.
#pragma once

#include <cstdint>

#include "app/options.h"
#include "platform/clock.h"

class CatchUpClock final : public Clock {
public:
    explicit CatchUpClock(FrameRate rate);
    std::uint32_t ticks() override;
    std::uint32_t stepTicks() override;

    FixedStepClock& steps() { return steps_; }
    // From now on the ticks run in real time, continuing from the current step's tick.
    void goLive();
    bool live() const { return live_; }

private:
    FixedStepClock steps_;
    SteadyClock steady_;
    bool live_ = false;
    std::uint32_t liveBase_ = 0;
    std::uint32_t steadyAtSwitch_ = 0;
    std::uint32_t stepAtSwitch_ = 0;
};

// The music time of frame n of a fixed-step run whose first update was frame 0, in seconds.
double frameSeconds(const FixedStepClock& clock, std::uint64_t frame);

// Runs the clock's frames, from the one it is on, through Demo::update while their music time
// is before `seconds`, and leaves the clock on the first frame that is not. The demo must be
// initialised with the clock on frame 0. Returns false when the music ended first, or when a
// quit was requested meanwhile (a late start takes thousands of frames; Ctrl-C must not wait).
bool catchUp(double seconds, FixedStepClock& clock);
