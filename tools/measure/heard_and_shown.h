// How far the picture is ahead of the sound, from two stamped observations of a run: what was
// heard (a recording of the sound server's monitor, tied to the monotonic clock) and what was
// shown (the music time of every frame, stamped as its --debug line arrived). A half-second of
// the recording is found in the decoded track by normalised cross-correlation, which gives the
// track time heard at an instant; the frame lines give the music time shown at that instant.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

constexpr int kTrackRate = 44100;

// What was heard: interleaved stereo frames at kTrackRate, and marks that tie the count of frames
// recorded so far to the monotonic instant (ns, CLOCK_MONOTONIC) at which the last of them was
// heard. A mark is never early, only late (its chunk was read late), so the earliest estimate
// among the marks just after a frame is the best.
struct Recording {
    struct Mark {
        std::uint64_t frames;
        std::int64_t ns;
    };
    std::vector<float> samples;
    std::vector<Mark> marks;
    std::uint64_t frames() const { return samples.size() / 2; }
};

// One frame's --debug line: its music time (s) and when the line arrived (ns, CLOCK_MONOTONIC).
// Lines arrive late by any amount (pipes, a relay that polls, a busy machine), never early.
struct ShownFrame {
    double musicTime;
    std::int64_t ns;
};

// When recording frame `frame` was heard, from the marks of the tenth of a second after it (before
// it at the recording's end); nullopt where there are none.
std::optional<std::int64_t> heardAtNs(const Recording& recording, std::uint64_t frame);
// The recording frame heard at instant ns; nullopt outside the recording.
std::optional<std::uint64_t> frameHeardAt(const Recording& recording, std::int64_t ns);

// The music time on screen at instant ns, from the lines that arrived within a quarter of a
// second of it (the picture's clock is steady over that span), or at least three within half a
// second where there are fewer than five; nullopt with fewer.
std::optional<double> shownAt(const std::vector<ShownFrame>& frames, std::int64_t ns);

// Where a stretch of sound is in the track. A real match correlates near 1; the show's music
// repeats itself beat by beat closely enough to reach about 0.88 one or two beats away, so a
// match must also stand clear of every other place searched.
struct Match {
    bool found = false;
    double trackTime = 0.0;    // where the stretch starts in the track (s)
    double correlation = 0.0;  // normalised, at that place
    double runnerUp = 0.0;     // the best elsewhere (more than 50 ms away)
};

// One thread at a time: it keeps the transforms of the last size it used.
class TrackLocator {
public:
    // The track as decodeWholeTrack gives it: interleaved stereo at kTrackRate.
    explicit TrackLocator(const std::vector<float>& stereoTrack);
    ~TrackLocator();
    TrackLocator(const TrackLocator&) = delete;
    TrackLocator& operator=(const TrackLocator&) = delete;
    // `mono` searched for around `guess` seconds, `search` seconds either way.
    Match locate(const std::vector<float>& mono, double guess, double search) const;
    double seconds() const { return double(track_.size()) / kTrackRate; }
    const std::vector<float>& mono() const { return track_; }

    static constexpr double kLeast = 0.95;   // the correlation a match needs
    static constexpr double kClear = 0.05;   // and its lead over the runner-up

private:
    void freePlans() const;

    std::vector<float> track_;  // mono
    mutable void* forward_ = nullptr;  // KissFFT's plans
    mutable void* inverse_ = nullptr;
    mutable std::size_t plansSize_ = 0;
};

// One measurement: the picture ahead of the sound (ms; negative when the sound leads) over the
// half-second heard from instant ns.
struct Offset {
    std::int64_t ns;
    double aheadMs;
    double correlation;
    double seconds;  // how long the stretch that was found is
};

struct Offsets {
    std::vector<Offset> each;
    int tried = 0;  // windows looked at; those that found no match are left out of `each`
    double bestMiss = -1.0;  // the highest correlation among windows that found no match
    // Over `each`; 0 / NaN-free defaults when empty (check each.empty() first).
    double medianMs() const;
    double lowestCorrelation() const;
};

constexpr double kWindowSeconds = 0.5;
// Where sound was starved a half-second is rarely whole: its halves are tried then. The music
// repeats itself no closer than 0.91 within the search at that length, still clear of kLeast.
constexpr double kShortWindowSeconds = 0.25;
constexpr double kSearchSeconds = 3.0;

// Windows of kWindowSeconds heard from instants fromNs, fromNs + step, ... while they end by toNs;
// where one does not match, the first of its halves that does stands for it.
Offsets pictureAheadOfSound(const Recording& recording, const std::vector<ShownFrame>& frames,
                            const TrackLocator& track, std::int64_t fromNs, std::int64_t toNs,
                            double stepSeconds = 0.25);
