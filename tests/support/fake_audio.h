// An audio output for tests: no sound, a spectrum the test sets, and an end the test decides.
#pragma once

#include <array>

#include "sound/audio_output.h"

class FakeAudioOutput final : public AudioOutput {
public:
    int init(int) override { return 1; }
    int createStream(const unsigned char*, std::size_t) override { return 1; }
    int start() override { return 1; }
    void play() override {}
    int isActive() override { return active ? 1 : 0; }
    int spectrum(float* out) override {
        if (spectrumFails) return -1;
        for (int k = 0; k < kSpectrumBins; ++k) out[k] = bins[std::size_t(k)];
        return 0;
    }
    void release() override { ++releases; }
    void followClock(bool) override {}

    bool active = true;
    bool spectrumFails = false;
    std::array<float, kSpectrumBins> bins{};
    int releases = 0;
};
