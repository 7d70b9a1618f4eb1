// The spectrum analyser against signals whose spectrum is known in closed form.
#include "platform/fft_magnitudes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr int kBins = kSpectrumSize / 2;

// Interleaved stereo frames: left = a sin(bin k), right = b sin(bin k), bin-centred.
std::vector<float> stereoSine(int frames, int bin, float left, float right) {
    std::vector<float> out(std::size_t(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        const double s = std::sin(2.0 * std::numbers::pi * bin * i / kSpectrumSize);
        out[std::size_t(2 * i)] = float(left * s);
        out[std::size_t(2 * i + 1)] = float(right * s);
    }
    return out;
}

std::vector<float> analyse(SpectrumAnalyser& analyser, const std::vector<float>& stereo, std::uint64_t available,
                           std::uint64_t position) {
    std::vector<float> out(kBins, -1.0f);
    EXPECT_TRUE(analyser.analyse(stereo.data(), available, position, out.data()));
    return out;
}

float largestOutside(const std::vector<float>& bins, int from, int to) {
    float largest = 0.0f;
    for (int k = 0; k < kBins; ++k) {
        if (k < from || k > to) largest = std::max(largest, bins[std::size_t(k)]);
    }
    return largest;
}

TEST(Spectrum, ScaleAndBinsOfKnownSignalsMixedToMono) {
    SpectrumAnalyser analyser;
    // Hann: a full-scale bin-centred sine keeps half its amplitude, each neighbour a quarter.
    auto bins = analyse(analyser, stereoSine(2048, 20, 1.0f, 1.0f), 2048, 1024);
    EXPECT_NEAR(bins[20], 0.5f, 1e-4f);
    EXPECT_NEAR(bins[19], 0.25f, 1e-4f);
    EXPECT_NEAR(bins[21], 0.25f, 1e-4f);
    EXPECT_LT(largestOutside(bins, 19, 21), 1e-4f);
    // The periodic Hann window sums to 256 exactly: DC 256 × 2/512 = 1, bin 1 half that.
    bins = analyse(analyser, std::vector<float>(2 * 600, 1.0f), 600, 600);
    EXPECT_NEAR(bins[0], 1.0f, 1e-5f);
    EXPECT_NEAR(bins[1], 0.5f, 1e-5f);
    EXPECT_LT(largestOutside(bins, 0, 1), 1e-5f);
    // Opposite channels cancel, and one channel alone counts half.
    bins = analyse(analyser, stereoSine(1024, 30, 1.0f, -1.0f), 1024, 1024);
    EXPECT_LT(largestOutside(bins, -1, -1), 1e-6f);
    EXPECT_NEAR(analyse(analyser, stereoSine(1024, 30, 0.0f, 1.0f), 1024, 1024)[30], 0.25f, 1e-4f);
}

TEST(Spectrum, AnalysesTheFramesJustBeforeThePositionWithSilenceOutside) {
    SpectrumAnalyser analyser;
    // A tone at bin 8 for 512 frames, then one at bin 50.
    auto signal = stereoSine(512, 8, 1.0f, 1.0f);
    const auto later = stereoSine(512, 50, 1.0f, 1.0f);
    signal.insert(signal.end(), later.begin(), later.end());
    auto bins = analyse(analyser, signal, 1024, 512);
    EXPECT_NEAR(bins[8], 0.5f, 1e-4f);
    EXPECT_LT(bins[50], 1e-4f);
    bins = analyse(analyser, signal, 1024, 1024);
    EXPECT_NEAR(bins[50], 0.5f, 1e-4f);
    EXPECT_LT(bins[8], 1e-4f);

    // Frames before the start and past the end are silence.
    const int length = 700;
    const auto sine = stereoSine(length, 12, 0.8f, 0.3f);
    EXPECT_LT(largestOutside(analyse(analyser, sine, length, 0), -1, -1), 1e-9f);

    // Near the start and the end: the same as the signal between explicit zeros.
    std::vector<float> padded(2 * kSpectrumSize, 0.0f);
    padded.insert(padded.end(), sine.begin(), sine.end());
    padded.resize(padded.size() + 2 * kSpectrumSize, 0.0f);
    for (std::uint64_t at : {200u, 800u}) {
        EXPECT_EQ(analyse(analyser, sine, length, at), analyse(analyser, padded, padded.size() / 2, at + 512)) << at;
    }
    // Where only part has been decoded: followed by explicit zeros.
    std::vector<float> cut(sine.begin(), sine.begin() + 2 * 600);
    cut.resize(sine.size(), 0.0f);
    EXPECT_EQ(analyse(analyser, sine, 600, 650), analyse(analyser, cut, length, 650));

    EXPECT_LT(largestOutside(analyse(analyser, sine, length, length + 512), -1, -1), 1e-9f);
    EXPECT_LT(largestOutside(analyse(analyser, sine, 0, 600), -1, -1), 1e-9f);
}

}  // namespace
