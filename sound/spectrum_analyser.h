// The spectrum the scenes pulse with: magnitudes of a 512-sample real FFT over the mono mix of
// the 512 sample frames just before a position, Hann-windowed. The asset tooling analyses the
// track with the very same definition, so the numbers here must not drift from it:
//   mono[i] = (L + R) / 2 of frame n - 512 + i (zero before frame 0 and from `available` on),
//   w[i]    = 0.5 - 0.5 cos(2 pi i / 512)            (periodic Hann),
//   out[k]  = |X_k| * 2 / 512, k = 0 .. 255          (a full-scale bin-centred sine reads 0.5).
#pragma once

#include <cstdint>
#include <memory>

constexpr int kSpectrumSize = 512;

class SpectrumAnalyser {
public:
    // The FFT plan and all buffers are made here, once; analyse never allocates.
    SpectrumAnalyser();
    ~SpectrumAnalyser();
    SpectrumAnalyser(const SpectrumAnalyser&) = delete;
    SpectrumAnalyser& operator=(const SpectrumAnalyser&) = delete;

    // False only if the FFT plan could not be made (out of memory).
    bool ready() const { return state_ != nullptr; }

    // stereo: interleaved L/R frames, of which only [0, available) are read. position: the
    // frame just after the analysed block. Fills out[0..255]; false (out untouched) when not
    // ready.
    bool analyse(const float* stereo, std::uint64_t available, std::uint64_t position, float* out);

private:
    struct State;  // the FFT plan and its buffers; KissFFT stays out of every header
    std::unique_ptr<State> state_;
};
