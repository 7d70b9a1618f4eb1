// Checks that the committed pictures and music have the formats the demo relies on: image sizes,
// colour types and gamma, and an MP3 stream of constant-rate MPEG-1 Layer III frames between an
// ID3v2.3 and an ID3v1 tag.
#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readAsset(const std::string& name) {
    std::ifstream in(std::string(VELDRIN_ASSET_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::uint32_t be32(const Bytes& b, std::size_t at) {
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

struct ExpectedImage {
    const char* key;
    std::uint32_t width, height;
    std::uint8_t colourType;  // 2 = RGB, 6 = RGBA
    std::uint32_t gamma;      // gAMA value times 100000
};

constexpr ExpectedImage kImages[] = {
    {"bg01", 512, 512, 2, 45000},        {"cloud", 512, 512, 2, 45000},   {"laser", 128, 128, 6, 45454},
    {"korrimeet", 300, 80, 2, 45000},    {"tavopresents", 300, 80, 2, 45000}, {"veldrin", 300, 80, 2, 45000},
    {"code", 300, 80, 2, 45000},         {"music", 340, 80, 2, 45000},    {"greeting", 300, 80, 2, 45000},
    {"fendrak", 300, 80, 2, 45000},      {"yonveck", 300, 80, 2, 45000},  {"drassel", 300, 80, 2, 45000},
    {"keltu", 300, 80, 2, 45000},        {"movrin", 200, 50, 2, 45000},   {"pashtek", 200, 50, 2, 45000},
    {"zelimor", 300, 80, 2, 45000},      {"quorvan", 300, 80, 2, 45000},  {"icon32", 32, 32, 6, 45000},
    {"icon16", 16, 16, 6, 45000},
};

// The header comes first; gAMA must come before the image data, or it is ignored.
void expectImage(const ExpectedImage& want) {
    SCOPED_TRACE(want.key);
    const Bytes f = readAsset(std::string(want.key) + ".png");
    ASSERT_GT(f.size(), 33u);
    ASSERT_EQ(std::string_view(reinterpret_cast<const char*>(&f[12]), 4), "IHDR");
    EXPECT_EQ(be32(f, 16), want.width);
    EXPECT_EQ(be32(f, 20), want.height);
    EXPECT_EQ(f[24], 8) << "bit depth";
    EXPECT_EQ(f[25], want.colourType);
    const std::string_view text(reinterpret_cast<const char*>(f.data()), f.size());
    const std::size_t gamma = text.find("gAMA"), data = text.find("IDAT");
    ASSERT_LT(gamma, data);
    EXPECT_EQ(be32(f, gamma + 4), want.gamma);
    EXPECT_EQ(text.substr(f.size() - 8, 4), "IEND");
}

TEST(ImageAssets, HeadersAndGammaBeforeTheData) {
    for (const ExpectedImage& want : kImages) expectImage(want);
}

TEST(MusicAsset, TaggedConstantRateLayerThreeOf187Seconds) {
    const Bytes f = readAsset("music.mp3");
    ASSERT_GT(f.size(), 100000u) << "music.mp3 missing or truncated";
    ASSERT_EQ(std::string_view(reinterpret_cast<const char*>(f.data()), 4), "ID3\x03");
    const std::size_t end = f.size() - 128;  // the ID3v1 tag
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(&f[end]), 10), "TAGveldrin");
    // ID3v2 header plus its syncsafe size.
    std::size_t at = 10 + ((std::size_t(f[6]) << 21) | (std::size_t(f[7]) << 14) | (std::size_t(f[8]) << 7) | f[9]);
    int frames = 0;
    for (; at + 4 <= end; ++frames) {
        const std::uint32_t h = be32(f, at);
        // Sync, MPEG-1, Layer III, 160 kbit/s, 44.1 kHz.
        ASSERT_EQ(h & 0xFFFEFC00u, 0xFFFAA000u) << "frame " << frames;
        ASSERT_NE((h >> 6) & 3u, 3u) << "two channels";
        at += 144 * 160000 / 44100 + ((h >> 9) & 1u);
    }
    EXPECT_EQ(at, end) << "frames must end exactly where the ID3v1 tag starts";
    EXPECT_NEAR(frames * 1152.0 / 44100.0, 187.06, 0.1);
}

}  // namespace
