// The alignment of what was heard against the track (KissFFT), and the stamps of both sides read
// back as instants.
#include "tools/measure/heard_and_shown.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <kiss_fftr.h>

namespace {

constexpr std::int64_t kNeighbourhoodNs = 250'000'000;
constexpr double kNsPerFrame = 1e9 / kTrackRate;

// The smallest even size of at least n with no prime factor above 5, which KissFFT transforms
// fastest: for the search's 6.5 s that is 288,000 against 524,288 as a power of two.
std::size_t fastSize(std::size_t n) {
    for (std::size_t size = n + (n & 1);; size += 2) {
        std::size_t rest = size;
        for (std::size_t f : {2, 3, 5}) {
            while (rest % f == 0) rest /= f;
        }
        if (rest == 1) return size;
    }
}

}  // namespace

std::optional<std::int64_t> heardAtNs(const Recording& recording, std::uint64_t frame) {
    // The marks of the tenth of a second that follows the frame: between them and the frame no
    // sound can have gone missing unnoticed, as it can across a longer span (the monitor loses
    // what its sink rewinds when a stream that ran dry starts again, a tenth of a second here).
    // Earlier marks are the fallback at the recording's end.
    const auto span = std::uint64_t(kTrackRate / 10);
    const auto from = [&](std::uint64_t f) {
        return std::lower_bound(recording.marks.begin(), recording.marks.end(), f,
                                [](const Recording::Mark& m, std::uint64_t x) { return m.frames < x; });
    };
    std::optional<std::int64_t> best;
    const auto consider = [&](const Recording::Mark& m) {
        const double framesAfter = double(m.frames) - double(frame);
        const auto at = m.ns - std::int64_t(std::llround(framesAfter * kNsPerFrame));
        if (!best || at < *best) best = at;
    };
    for (auto it = from(frame); it != recording.marks.end() && it->frames <= frame + span; ++it) consider(*it);
    if (!best) {
        for (auto it = from(frame > span ? frame - span : 0); it != recording.marks.end() && it->frames < frame; ++it) {
            consider(*it);
        }
    }
    return best;
}

std::optional<std::uint64_t> frameHeardAt(const Recording& recording, std::int64_t ns) {
    const Recording::Mark* nearest = nullptr;
    for (const Recording::Mark& m : recording.marks) {
        if (nearest == nullptr || std::llabs(m.ns - ns) < std::llabs(nearest->ns - ns)) nearest = &m;
    }
    if (nearest == nullptr || std::llabs(nearest->ns - ns) > kNeighbourhoodNs) return std::nullopt;
    double frame = double(nearest->frames) + double(ns - nearest->ns) / kNsPerFrame;
    // The nearest mark may be a late one: once more from the best estimate around that frame.
    if (frame >= 0.0) {
        if (const auto at = heardAtNs(recording, std::uint64_t(std::llround(frame)))) {
            frame = std::round(frame) + double(ns - *at) / kNsPerFrame;
        }
    }
    if (frame < 0.0 || frame > double(recording.frames())) return std::nullopt;
    return std::uint64_t(std::llround(frame));
}

std::optional<double> shownAt(const std::vector<ShownFrame>& frames, std::int64_t ns) {
    // Each line says the picture's clock read musicTime no later than its arrival; the least
    // delayed line says it most closely. A picture drawn slowly (a page in software on a busy
    // machine) has few lines in a quarter second: then half a second either way.
    for (const std::int64_t span : {kNeighbourhoodNs, 2 * kNeighbourhoodNs}) {
        double earliest = std::numeric_limits<double>::infinity();
        int lines = 0;
        for (const ShownFrame& f : frames) {
            if (std::llabs(f.ns - ns) > span) continue;
            earliest = std::min(earliest, double(f.ns) * 1e-9 - f.musicTime);
            ++lines;
        }
        if (lines >= 5 || (lines >= 3 && span > kNeighbourhoodNs)) return double(ns) * 1e-9 - earliest;
    }
    return std::nullopt;
}

TrackLocator::TrackLocator(const std::vector<float>& stereoTrack) : track_(stereoTrack.size() / 2) {
    for (std::size_t i = 0; i < track_.size(); ++i) track_[i] = 0.5f * (stereoTrack[2 * i] + stereoTrack[2 * i + 1]);
}

TrackLocator::~TrackLocator() { freePlans(); }

void TrackLocator::freePlans() const {
    kiss_fftr_free(static_cast<kiss_fftr_cfg>(forward_));
    kiss_fftr_free(static_cast<kiss_fftr_cfg>(inverse_));
    forward_ = inverse_ = nullptr;
    plansSize_ = 0;
}

Match TrackLocator::locate(const std::vector<float>& mono, double guess, double search) const {
    Match match;
    const std::size_t n = mono.size();
    if (n < 2 || track_.size() < n) return match;
    const auto clampFrame = [&](double seconds) {
        const double f = std::round(seconds * kTrackRate);
        return std::size_t(std::clamp(f, 0.0, double(track_.size() - n)));
    };
    const std::size_t lo = clampFrame(guess - search);
    const std::size_t hi = clampFrame(guess + search);
    if (hi <= lo) return match;
    const std::size_t segment = hi - lo + n;
    const std::size_t size = fastSize(segment);  // circular correlation without wrap-around for lags 0..hi-lo

    double stretchEnergy = 0.0;
    for (float v : mono) stretchEnergy += double(v) * double(v);
    if (stretchEnergy < 1e-6) return match;  // silence matches nothing

    if (plansSize_ != size) {
        freePlans();
        forward_ = kiss_fftr_alloc(int(size), 0, nullptr, nullptr);
        inverse_ = kiss_fftr_alloc(int(size), 1, nullptr, nullptr);
        plansSize_ = size;
    }
    auto* forward = static_cast<kiss_fftr_cfg>(forward_);
    auto* inverse = static_cast<kiss_fftr_cfg>(inverse_);
    std::vector<float> time(size, 0.0f);
    std::vector<kiss_fft_cpx> trackBins(size / 2 + 1);
    std::vector<kiss_fft_cpx> stretchBins(size / 2 + 1);
    std::copy(track_.begin() + std::ptrdiff_t(lo), track_.begin() + std::ptrdiff_t(lo + segment), time.begin());
    kiss_fftr(forward, time.data(), trackBins.data());
    std::fill(time.begin(), time.end(), 0.0f);
    std::copy(mono.begin(), mono.end(), time.begin());
    kiss_fftr(forward, time.data(), stretchBins.data());
    for (std::size_t k = 0; k < trackBins.size(); ++k) {
        const kiss_fft_cpx a = trackBins[k];
        const kiss_fft_cpx b = stretchBins[k];
        trackBins[k].r = a.r * b.r + a.i * b.i;  // a times the conjugate of b
        trackBins[k].i = a.i * b.r - a.r * b.i;
    }
    kiss_fftri(inverse, trackBins.data(), time.data());

    // Each lag normalised by the energy of the track under the stretch there (a running sum).
    const std::size_t lags = hi - lo + 1;
    std::vector<double> normalised(lags, 0.0);
    double energy = 0.0;
    for (std::size_t i = 0; i < n; ++i) energy += double(track_[lo + i]) * double(track_[lo + i]);
    for (std::size_t lag = 0; lag < lags; ++lag) {
        if (lag > 0) {
            const double out = track_[lo + lag - 1];
            const double in = track_[lo + lag + n - 1];
            energy = std::max(0.0, energy - out * out + in * in);
        }
        if (energy > 1e-9) normalised[lag] = double(time[lag]) / double(size) / std::sqrt(energy * stretchEnergy);
    }
    const std::size_t best = std::size_t(std::max_element(normalised.begin(), normalised.end()) - normalised.begin());
    const std::size_t apart = std::size_t(0.05 * kTrackRate);
    double runnerUp = -1.0;
    for (std::size_t lag = 0; lag < lags; ++lag) {
        if (lag + apart < best || lag > best + apart) runnerUp = std::max(runnerUp, normalised[lag]);
    }
    match.trackTime = double(lo + best) / kTrackRate;
    match.correlation = normalised[best];
    match.runnerUp = runnerUp;
    match.found = match.correlation >= kLeast && match.correlation - runnerUp >= kClear;
    return match;
}

double Offsets::medianMs() const {
    if (each.empty()) return 0.0;
    std::vector<double> v;
    for (const Offset& o : each) v.push_back(o.aheadMs);
    std::sort(v.begin(), v.end());
    const std::size_t mid = v.size() / 2;
    return v.size() % 2 == 1 ? v[mid] : 0.5 * (v[mid - 1] + v[mid]);
}

double Offsets::lowestCorrelation() const {
    double lowest = 1.0;
    for (const Offset& o : each) lowest = std::min(lowest, o.correlation);
    return lowest;
}

namespace {

// The offset over `seconds` heard from instant `from`, if that stretch is found in the track.
std::optional<Offset> offsetAt(const Recording& recording, const std::vector<ShownFrame>& frames,
                               const TrackLocator& track, std::int64_t from, double seconds, double& bestMiss) {
    const auto window = std::size_t(seconds * kTrackRate);
    const auto frame = frameHeardAt(recording, from);
    if (!frame || *frame + window > recording.frames()) return std::nullopt;
    const auto at = heardAtNs(recording, *frame);
    const auto shown = at ? shownAt(frames, *at) : std::nullopt;
    if (!shown) return std::nullopt;
    std::vector<float> mono(window);
    for (std::size_t i = 0; i < window; ++i) {
        const std::size_t s = 2 * (*frame + i);
        mono[i] = 0.5f * (recording.samples[s] + recording.samples[s + 1]);
    }
    const Match match = track.locate(mono, *shown, kSearchSeconds);
    if (!match.found) {
        bestMiss = std::max(bestMiss, match.correlation);
        return std::nullopt;
    }
    return Offset{*at, (*shown - match.trackTime) * 1e3, match.correlation, seconds};
}

}  // namespace

Offsets pictureAheadOfSound(const Recording& recording, const std::vector<ShownFrame>& frames,
                            const TrackLocator& track, std::int64_t fromNs, std::int64_t toNs, double stepSeconds) {
    Offsets offsets;
    const auto windowNs = std::int64_t(kWindowSeconds * 1e9);
    const auto shortNs = std::int64_t(kShortWindowSeconds * 1e9);
    const auto stepNs = std::max<std::int64_t>(1, std::int64_t(stepSeconds * 1e9));
    for (std::int64_t from = fromNs; from + windowNs <= toNs; from += stepNs) {
        ++offsets.tried;
        double miss = -1.0;
        std::optional<Offset> offset = offsetAt(recording, frames, track, from, kWindowSeconds, miss);
        for (std::int64_t part = from; !offset && part + shortNs <= from + windowNs; part += shortNs) {
            offset = offsetAt(recording, frames, track, part, kShortWindowSeconds, miss);
        }
        if (offset) offsets.each.push_back(*offset);
        else offsets.bestMiss = std::max(offsets.bestMiss, miss);
    }
    return offsets;
}
