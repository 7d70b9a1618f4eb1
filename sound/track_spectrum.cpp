// The spectrum over the ring's frames.
#include "sound/track_spectrum.h"

#include <algorithm>

#include "sound/track_ring.h"

std::uint64_t TrackSpectrum::analyse(TrackRing& ring, int reader, std::uint64_t at, bool wait, float* out) {
    // The 512 frames before the position; those before the track's start are silence.
    const std::uint64_t lead = at < kSpectrumSize ? kSpectrumSize - at : 0;
    const std::uint64_t from = at + lead - kSpectrumSize;
    if (wait) ring.waitFor(from, at);
    std::fill(window_, window_ + 2 * lead, 0.0f);
    const std::uint64_t missing = ring.copy(reader, from, kSpectrumSize - lead, window_ + 2 * lead);
    analyser_.analyse(window_, kSpectrumSize, kSpectrumSize, out);
    return missing;
}
