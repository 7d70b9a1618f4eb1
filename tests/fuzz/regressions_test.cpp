// Replays the fuzzing's seed corpus and every input that once made a fuzz target fail through
// the very code the targets run (fuzz/fuzz_drivers.h), so the ordinary suite catches a
// regression without the fuzzer.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz/fuzz_drivers.h"
#include "sound/mp3_decoder.h"
#include "image/png_decode.h"
#include "tests/app/run_program.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

Bytes bytesOf(const fs::path& path) {
    const std::string text = readFile(path);
    return Bytes(text.begin(), text.end());
}

// Every file under fuzz/<folder>/<kind>, sorted so a failure names the same file every run.
std::vector<fs::path> filesUnder(const std::string& folder, const std::string& kind) {
    std::vector<fs::path> files;
    std::error_code missing;
    const fs::path root = fs::path(VELDRIN_SOURCE_DIR) / "fuzz" / folder / kind;
    for (const auto& entry : fs::recursive_directory_iterator(root, missing)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Inputs that once failed had libpng allocate (and clear) what a chunk length claimed, gigabytes
// from a few hundred bytes: they run first, while the peak memory is still low. The seeds hold
// every colour type and depth; each must decode, and is replayed under every screen gamma and
// texture limit a byte after the end chunk can pick, as in the fuzzer.
TEST(FuzzRegressions, PngInputsThatOnceFailedAndSeedsUnderEverySetting) {
    const std::vector<fs::path> seeds = filesUnder("corpus", "png"), inputs = filesUnder("regressions", "png");
    ASSERT_GE(seeds.size(), 20u);
    ASSERT_FALSE(inputs.empty());
    for (const fs::path& path : inputs) {
        const Bytes input = bytesOf(path);
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        const char* problem = fuzzdrive::decodePngBothWays(input.data(), input.size());
        EXPECT_EQ(problem, nullptr) << path << ": " << problem;
        getrusage(RUSAGE_SELF, &after);
        EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 256 * 1024) << path;  // kB
    }
    for (const fs::path& path : seeds) {
        Bytes input = bytesOf(path);
        PngImage image;
        EXPECT_TRUE(decodePng(input.data(), input.size(), image)) << path;
        input.push_back(0);
        for (int control = 0; control < 64; ++control) {
            input.back() = static_cast<unsigned char>(control);
            const char* problem = fuzzdrive::decodePngBothWays(input.data(), input.size());
            EXPECT_EQ(problem, nullptr) << path << " setting " << control << ": " << problem;
        }
    }
}

// The seeds are real tracks (one cut short) and all open; they and the inputs that once failed
// replay through the stream and the direct decoder.
TEST(FuzzRegressions, Mp3SeedsAndInputsThatOnceFailedPlayAndDecode) {
    const std::vector<fs::path> seeds = filesUnder("corpus", "mp3"), inputs = filesUnder("regressions", "mp3");
    ASSERT_GE(seeds.size(), 5u);
    ASSERT_FALSE(inputs.empty());
    for (const auto* list : {&seeds, &inputs}) {
        for (const fs::path& path : *list) {
            const Bytes input = bytesOf(path);
            Mp3Decoder decoder;
            EXPECT_TRUE(list != &seeds || decoder.open(input.data(), input.size())) << path << ": " << decoder.error();
            const char* problem = fuzzdrive::playMp3Stream(input.data(), input.size());
            if (problem == nullptr) problem = fuzzdrive::decodeMp3Directly(input.data(), input.size());
            EXPECT_EQ(problem, nullptr) << path << ": " << problem;
        }
    }
}

}  // namespace
