// Spectrum magnitudes over KissFFT's real transform.
#include "sound/spectrum_analyser.h"

#include <cmath>
#include <new>
#include <numbers>

#include <kiss_fftr.h>

struct SpectrumAnalyser::State {
    kiss_fftr_cfg plan = nullptr;
    float window[kSpectrumSize];
    float block[kSpectrumSize];
    kiss_fft_cpx bins[kSpectrumSize / 2 + 1];

    ~State() { kiss_fftr_free(plan); }
};

SpectrumAnalyser::SpectrumAnalyser() {
    std::unique_ptr<State> state(new (std::nothrow) State);
    if (state == nullptr) return;
    state->plan = kiss_fftr_alloc(kSpectrumSize, 0, nullptr, nullptr);
    if (state->plan == nullptr) return;
    for (int i = 0; i < kSpectrumSize; ++i) {
        state->window[i] = float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kSpectrumSize));
    }
    state_ = std::move(state);
}

SpectrumAnalyser::~SpectrumAnalyser() = default;

bool SpectrumAnalyser::analyse(const float* stereo, std::uint64_t available, std::uint64_t position, float* out) {
    if (state_ == nullptr) return false;
    State& s = *state_;
    // Frame n - 512 + i; anything before the start or not (yet) decoded is silence.
    const std::int64_t first = std::int64_t(position) - kSpectrumSize;
    for (int i = 0; i < kSpectrumSize; ++i) {
        const std::int64_t frame = first + i;
        float mono = 0.0f;
        if (stereo != nullptr && frame >= 0 && std::uint64_t(frame) < available) {
            const float* lr = stereo + 2 * frame;
            mono = (lr[0] + lr[1]) * 0.5f;
        }
        s.block[i] = mono * s.window[i];
    }
    kiss_fftr(s.plan, s.block, s.bins);
    constexpr float kScale = 2.0f / kSpectrumSize;
    for (int k = 0; k < kSpectrumSize / 2; ++k) {
        out[k] = std::hypot(s.bins[k].r, s.bins[k].i) * kScale;
    }
    return true;
}
