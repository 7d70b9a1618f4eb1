// An audio output for tests: no sound, a spectrum the test sets, and an end the test decides.
#pragma once

#include <array>

#include "sound/audio_output.h"

class FakeAudioOutput final : public AudioOutput {
public:
    int init(int) override { return initOk ? 1 : 0; }
    int createStream(const unsigned char*, std::size_t) override { return streamOk ? 1 : 0; }
    int start() override { return 1; }
    void play() override { ++plays; }
    int isActive() override { return active ? 1 : 0; }
    int spectrum(float* out) override {
        ++spectrumReads;
        if (spectrumFails) return -1;
        for (int k = 0; k < kSpectrumBins; ++k) out[k] = bins[std::size_t(k)];
        return 0;
    }
    void release() override { ++releases; }
    void followClock(bool on) override { followingClock = on; }

    // Sets every bin to the same level.
    void fill(float level) { bins.fill(level); }

    bool initOk = true;
    bool streamOk = true;
    bool active = true;
    bool spectrumFails = false;
    std::array<float, kSpectrumBins> bins{};
    int plays = 0;
    int spectrumReads = 0;
    int releases = 0;
    bool followingClock = false;
};
