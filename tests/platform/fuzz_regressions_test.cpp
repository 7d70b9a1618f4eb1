// Replays the fuzzing's seed corpus and every input that once made a fuzz target fail through
// the very code the targets run (fuzz/fuzz_drivers.h), so the ordinary suite catches a
// regression without the fuzzer.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_drivers.h"
#include "platform/mp3_decoder.h"
#include "platform/png_texture.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Every file under fuzz/<folder>/<kind>, sorted so a failure names the same file every run.
std::vector<fs::path> filesUnder(const std::string& folder, const std::string& kind) {
    std::vector<fs::path> files;
    const fs::path root = fs::path(VELDRIN_SOURCE_DIR) / "fuzz" / folder / kind;
    if (!fs::is_directory(root)) return files;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(FuzzRegressions, PngSeedsDecodeUnderEverySetting) {
    const std::vector<fs::path> seeds = filesUnder("corpus", "png");
    ASSERT_GE(seeds.size(), 20u);
    for (const fs::path& path : seeds) {
        const Bytes file = readFile(path);
        PngImage image;
        EXPECT_TRUE(decodePng(file.data(), file.size(), image)) << path;
        // A byte after the end chunk picks the screen gamma and the texture limit, as in the
        // fuzzer; every one of the settings it can pick is replayed.
        Bytes input = file;
        input.push_back(0);
        for (int control = 0; control < 64; ++control) {
            input.back() = static_cast<unsigned char>(control);
            const char* problem = fuzzdrive::decodePngBothWays(input.data(), input.size());
            EXPECT_EQ(problem, nullptr) << path << " setting " << control << ": " << problem;
        }
    }
}

// The peak resident memory of this process so far, in MB.
long peakMegabytes() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

TEST(FuzzRegressions, PngInputsThatOnceFailedNowPass) {
    const std::vector<fs::path> inputs = filesUnder("regressions", "png");
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& path : inputs) {
        const Bytes input = readFile(path);
        const long before = peakMegabytes();
        const char* problem = fuzzdrive::decodePngBothWays(input.data(), input.size());
        EXPECT_EQ(problem, nullptr) << path << ": " << problem;
        // Files of a few hundred bytes once had libpng allocate (and clear) what a chunk length
        // claimed: gigabytes.
        EXPECT_LT(peakMegabytes() - before, 256) << path;
    }
}

TEST(FuzzRegressions, Mp3SeedsPlayAndDecode) {
    const std::vector<fs::path> seeds = filesUnder("corpus", "mp3");
    ASSERT_GE(seeds.size(), 5u);
    for (const fs::path& path : seeds) {
        const Bytes input = readFile(path);
        // The seeds are real tracks (one cut short): every one of them opens.
        Mp3Decoder decoder;
        EXPECT_TRUE(decoder.open(input.data(), input.size())) << path << ": " << decoder.error();
        decoder.close();
        const char* problem = fuzzdrive::playMp3Stream(input.data(), input.size());
        if (problem == nullptr) problem = fuzzdrive::decodeMp3Directly(input.data(), input.size());
        EXPECT_EQ(problem, nullptr) << path << ": " << problem;
    }
}

TEST(FuzzRegressions, Mp3InputsThatOnceFailedNowPass) {
    const std::vector<fs::path> inputs = filesUnder("regressions", "mp3");
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& path : inputs) {
        const Bytes input = readFile(path);
        const char* problem = fuzzdrive::playMp3Stream(input.data(), input.size());
        if (problem == nullptr) problem = fuzzdrive::decodeMp3Directly(input.data(), input.size());
        EXPECT_EQ(problem, nullptr) << path << ": " << problem;
    }
}

}  // namespace
