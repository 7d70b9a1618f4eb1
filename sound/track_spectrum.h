// The spectrum of the music as it is heard: the 512 frames before a play position, read through
// the decoding ring and analysed. Every audio output computes its spectrum here, so the browser
// page's values are the desktop's.
#pragma once

#include <cstdint>

#include "sound/spectrum_analyser.h"

class TrackRing;

class TrackSpectrum {
public:
    bool ready() const { return analyser_.ready(); }
    // Fills out[0..255] with the spectrum at frame `at`, copying from the ring as `reader`; with
    // `wait`, once the ring holds those frames. Frames before the track's start, past its end or
    // not in the ring are silence. Returns how many of the track's frames the ring lacked.
    std::uint64_t analyse(TrackRing& ring, int reader, std::uint64_t at, bool wait, float* out);

private:
    SpectrumAnalyser analyser_;
    float window_[2 * kSpectrumSize] = {};  // the frames analysed, interleaved L/R
};
