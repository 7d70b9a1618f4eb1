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

std::vector<float> analyse(const std::vector<float>& stereo, std::uint64_t available, std::uint64_t position) {
    static SpectrumAnalyser analyser;
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
    // Hann: a full-scale bin-centred sine keeps half its amplitude, each neighbour a quarter.
    auto bins = analyse(stereoSine(2048, 20, 1.0f, 1.0f), 2048, 1024);
    EXPECT_NEAR(bins[20], 0.5f, 1e-4f);
    EXPECT_NEAR(bins[19], 0.25f, 1e-4f);
    EXPECT_LT(largestOutside(bins, 19, 21), 1e-4f);
    // The periodic Hann window sums to 256 exactly: DC 256 × 2/512 = 1, bin 1 half that.
    bins = analyse(std::vector<float>(2 * 600, 1.0f), 600, 600);
    EXPECT_NEAR(bins[0], 1.0f, 1e-5f);
    EXPECT_NEAR(bins[1], 0.5f, 1e-5f);
    // Opposite channels cancel, and one channel alone counts half.
    EXPECT_LT(largestOutside(analyse(stereoSine(1024, 30, 1.0f, -1.0f), 1024, 1024), -1, -1), 1e-6f);
    EXPECT_NEAR(analyse(stereoSine(1024, 30, 0.0f, 1.0f), 1024, 1024)[30], 0.25f, 1e-4f);
}

TEST(Spectrum, AnalysesTheFramesJustBeforeThePositionWithSilenceOutside) {
    // A tone at bin 8 for 512 frames, then one at bin 50.
    auto signal = stereoSine(512, 8, 1.0f, 1.0f);
    const auto later = stereoSine(512, 50, 1.0f, 1.0f);
    signal.insert(signal.end(), later.begin(), later.end());
    auto bins = analyse(signal, 1024, 512);
    EXPECT_NEAR(bins[8], 0.5f, 1e-4f);
    EXPECT_LT(bins[50], 1e-4f);
    bins = analyse(signal, 1024, 1024);
    EXPECT_NEAR(bins[50], 0.5f, 1e-4f);
    EXPECT_LT(bins[8], 1e-4f);

    // Near the start, and where only part has been decoded: the same as explicit zeros there.
    const int length = 700;
    const auto sine = stereoSine(length, 12, 0.8f, 0.3f);
    std::vector<float> padded(2 * kSpectrumSize, 0.0f);
    padded.insert(padded.end(), sine.begin(), sine.end());
    EXPECT_EQ(analyse(sine, length, 200), analyse(padded, padded.size() / 2, 200 + 512));
    std::vector<float> cut(sine.begin(), sine.begin() + 2 * 600);
    cut.resize(sine.size(), 0.0f);
    EXPECT_EQ(analyse(sine, 600, 650), analyse(cut, length, 650));
    EXPECT_LT(largestOutside(analyse(sine, length, 0), -1, -1), 1e-9f);
    EXPECT_LT(largestOutside(analyse(sine, length, length + 512), -1, -1), 1e-9f);
}

}  // namespace
