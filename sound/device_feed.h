// What a sound device is handed of the track, kept in step with the music clock.
//
// The picture's time is a steady clock, and what is heard must be the track at that time. A
// device only ever asks for the next frames; with each request it says how far ahead of what is
// heard now they go (its buffers, its queue, the server's latency). The caller turns that into
// `due`: the track frame the clock will have reached when the first of the frames is heard. The
// feed compares it with the frame it would hand next. Devices report their latency with some
// noise (a thread that wakes late, a position counted in whole buffers), so the feed goes by the
// difference smoothed over half a second, except where it is far too large to be noise:
//   - in step (within a few milliseconds): the track as it is, frame for frame;
//   - drifting (a device whose clock runs a little fast or slow): played up to 0.5 % slower or
//     faster, by interpolation, in proportion to how far off it is, which no one hears;
//   - behind (a stall, an underrun, a server that paused the stream): it goes on from `due` at
//     once, crossfaded over a few milliseconds so that the cut does not click;
//   - ahead (a device whose latency grew): it fades out and waits in silence until the track is
//     due there.
// Nothing is handed twice: the track only ever moves forwards. Frames the ring lacks are
// silence, and counted.
#pragma once

#include <cstdint>

class TrackRing;

class DeviceFeed {
public:
    // The longest single request fill() takes at once; longer ones are split.
    static constexpr std::uint64_t kMaxFrames = 2048;
    static constexpr std::uint64_t kDueUnknown = ~std::uint64_t(0);
    static constexpr std::uint64_t kFadeFrames = 220;     // 5 ms: a crossfade, a fade in or out
    static constexpr double kSmoothFrames = 22050.0;      // the difference is smoothed over 0.5 s
    static constexpr std::int64_t kJumpFrames = 4410;     // 100 ms off at once: no noise is that large
    static constexpr double kCutFrames = 882.0;           // 20 ms off, smoothed: cut or wait
    static constexpr double kDriftFrames = 88.0;          // 2 ms off, smoothed: start drifting back
    static constexpr double kInStepFrames = 22.0;         // 0.5 ms: in step again
    // Drifting back, the track is read faster or slower by the difference over two seconds'
    // worth of frames (so back in step within a few seconds), by 0.5 % at most.
    static constexpr double kDriftBackFrames = 88200.0;
    static constexpr double kMaxDrift = 0.005;

    // Silent until the track is due at `frame` or later; it then fades in where it is due.
    void restartAt(std::uint64_t frame);
    // Writes `count` stereo frames to `out` (interleaved L/R), read from the ring as `reader`;
    // the first of them will be heard when the track is due at `due`, or at a time the device
    // cannot tell for now (kDueUnknown): then it carries on as it was, or stays silent. Returns
    // how many frames of the track the ring did not hold.
    std::uint64_t fill(TrackRing& ring, int reader, std::uint64_t due, float* out, std::uint64_t count);

    // The track frame the next request starts from (with a fraction while drifting back).
    std::uint64_t next() const { return next_; }

private:
    std::uint64_t fillPiece(TrackRing& ring, int reader, std::uint64_t due, float* out, std::uint64_t count);
    // The track from next_ at the current rate, `count` frames into out; next_ moves on.
    std::uint64_t play(TrackRing& ring, int reader, float* out, std::uint64_t count);

    // Starts over from `due`: a cut, a fade in.
    void jumpTo(std::uint64_t due);

    std::uint64_t next_ = 0;
    double phase_ = 0.0;     // the fraction of a frame past next_ while drifting back
    bool sounding_ = false;
    double off_ = 0.0;       // next_ - due, smoothed: positive ahead, negative behind
    double rate_ = 1.0;      // track frames a frame handed: 1 in step
    float scratch_[2 * (kMaxFrames + kMaxFrames / 64 + 4)] = {};
};
