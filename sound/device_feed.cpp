// The feed's decisions, one request at a time; the arithmetic of the three ways of coming back
// in step (crossfade, wait, drift) is all here.
#include "sound/device_feed.h"

#include <algorithm>
#include <cmath>

#include "sound/track_ring.h"

namespace {

void silence(float* out, std::uint64_t frames) { std::fill(out, out + 2 * frames, 0.0f); }

// A linear ramp over `frames`, never quite reaching 0 or 1 at its ends, so that a fade of one
// frame still changes something.
float ramp(std::uint64_t i, std::uint64_t frames) { return float(i + 1) / float(frames + 1); }

}  // namespace

void DeviceFeed::restartAt(std::uint64_t frame) {
    sounding_ = false;
    jumpTo(frame);
}

void DeviceFeed::jumpTo(std::uint64_t due) {
    next_ = due;
    phase_ = 0.0;
    off_ = 0.0;
    rate_ = 1.0;
}

std::uint64_t DeviceFeed::fill(TrackRing& ring, int reader, std::uint64_t due, float* out, std::uint64_t count) {
    std::uint64_t missing = 0;
    while (count > 0) {
        const std::uint64_t n = std::min(count, kMaxFrames);
        missing += fillPiece(ring, reader, due, out, n);
        if (due != kDueUnknown) due += n;
        out += 2 * n;
        count -= n;
    }
    return missing;
}

std::uint64_t DeviceFeed::fillPiece(TrackRing& ring, int reader, std::uint64_t due, float* out,
                                    std::uint64_t count) {
    const std::uint64_t fade = std::min(kFadeFrames, count);
    if (due == kDueUnknown) {
        if (sounding_) return play(ring, reader, out, count);
        silence(out, count);
        return 0;
    }
    if (!sounding_) {
        // Where it stopped, or where the track is due if that is later (the first request, which
        // starts a device's latency into the track, or a cut that came during a wait).
        const std::uint64_t wait = next_ > due ? next_ - due : 0;
        if (wait >= count) {
            silence(out, count);
            return 0;
        }
        silence(out, wait);
        jumpTo(std::max(next_, due));
        sounding_ = true;
        const std::uint64_t frames = count - wait;
        float* sound = out + 2 * wait;
        const std::uint64_t missing = play(ring, reader, sound, frames);
        const std::uint64_t in = std::min(kFadeFrames, frames);
        for (std::uint64_t i = 0; i < in; ++i) {
            sound[2 * i] *= ramp(i, in);
            sound[2 * i + 1] *= ramp(i, in);
        }
        return missing;
    }

    const std::int64_t off = std::int64_t(next_) - std::int64_t(due);
    off_ += (double(off) - off_) * std::min(1.0, double(count) / kSmoothFrames);
    const bool far = off > kJumpFrames || off < -kJumpFrames;
    if ((far && off < 0) || off_ < -kCutFrames) {
        // Behind: what it would have played fades out as what is due fades in.
        const std::uint64_t lost = ring.copy(reader, next_, fade, scratch_);
        jumpTo(due);
        const std::uint64_t missing = play(ring, reader, out, count);
        for (std::uint64_t i = 0; i < fade; ++i) {
            const float w = ramp(i, fade);
            out[2 * i] = scratch_[2 * i] * (1.0f - w) + out[2 * i] * w;
            out[2 * i + 1] = scratch_[2 * i + 1] * (1.0f - w) + out[2 * i + 1] * w;
        }
        return lost + missing;
    }
    if ((far && off > 0) || off_ > kCutFrames) {
        // Ahead: fade out, then silence until the track is due where it stopped.
        const std::uint64_t missing = play(ring, reader, out, fade);
        for (std::uint64_t i = 0; i < fade; ++i) {
            out[2 * i] *= 1.0f - ramp(i, fade);
            out[2 * i + 1] *= 1.0f - ramp(i, fade);
        }
        silence(out + 2 * fade, count - fade);
        sounding_ = false;
        return missing;
    }

    // Drifting back starts a little off step and ends once in step, so that what is left of the
    // device's noise does not keep it going.
    const bool drifting = rate_ != 1.0;
    if (off_ > (drifting ? kInStepFrames : kDriftFrames) || off_ < -(drifting ? kInStepFrames : kDriftFrames)) {
        rate_ = 1.0 - std::clamp(off_ / kDriftBackFrames, -kMaxDrift, kMaxDrift);
    } else if (drifting) {
        rate_ = 1.0;
        // Back on whole frames: the track as it is again, frame for frame.
        if (phase_ >= 0.5) ++next_;
        phase_ = 0.0;
    }
    return play(ring, reader, out, count);
}

std::uint64_t DeviceFeed::play(TrackRing& ring, int reader, float* out, std::uint64_t count) {
    if (count == 0) return 0;
    if (rate_ == 1.0 && phase_ == 0.0) {
        const std::uint64_t missing = ring.copy(reader, next_, count, out);
        next_ += count;
        return missing;
    }
    // Ahead, the track is read slower; behind, faster.
    const double rate = rate_;
    const double last = phase_ + double(count - 1) * rate;
    const std::uint64_t frames = std::uint64_t(last) + 2;
    const std::uint64_t missing = ring.copy(reader, next_, frames, scratch_);
    for (std::uint64_t i = 0; i < count; ++i) {
        const double at = phase_ + double(i) * rate;
        const std::uint64_t k = std::uint64_t(at);
        const float f = float(at - double(k));
        const float* s = scratch_ + 2 * k;
        out[2 * i] = s[0] + (s[2] - s[0]) * f;
        out[2 * i + 1] = s[1] + (s[3] - s[1]) * f;
    }
    const double end = phase_ + double(count) * rate;
    const double whole = std::floor(end);
    next_ += std::uint64_t(whole);
    phase_ = end - whole;
    return missing;
}
