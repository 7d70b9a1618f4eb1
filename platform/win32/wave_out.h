// The arithmetic of feeding waveOut, apart from the device so that it can be checked without one:
// the float frames the shared output fills become 16-bit samples, and what is still queued is
// told from the device's sample counter.
#pragma once

#include <cstdint>

// A float sample in [-1, 1] as a 16-bit one, rounded to nearest; louder values are clipped
// rather than wrapped round to the opposite sign.
inline std::int16_t pcm16FromFloat(float sample) {
    const float scaled = sample * 32767.0f;
    if (!(scaled > -32768.0f)) return scaled < 0.0f ? -32768 : 0;  // below range, or NaN
    if (scaled >= 32767.0f) return 32767;
    return std::int16_t(scaled < 0.0f ? scaled - 0.5f : scaled + 0.5f);
}

// Frames handed to the device minus the frames it has played, both counted modulo 2^32 (the
// device's own counter is 32 bits wide). The device never plays what it was not handed and never
// holds more than its buffers; a count beyond them (a reading across a reset of the device) is
// taken as full buffers, so the position heard lags a little rather than jumping.
inline std::uint32_t waveQueuedFrames(std::uint32_t handed, std::uint32_t played, std::uint32_t capacity) {
    const std::uint32_t queued = handed - played;
    return queued <= capacity ? queued : capacity;
}
