// Checks that the committed pictures and music have the formats the demo
// relies on: image sizes, colour types and gamma, and an MP3 stream of
// constant-rate MPEG-1 Layer III frames between an ID3v2.3 and an ID3v1 tag.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
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
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) |
           (std::uint32_t(b[at + 2]) << 8) | std::uint32_t(b[at + 3]);
}

std::uint32_t crc32(const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= p[i];
        for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
    }
    return ~c;
}

// ------------------------------------------------------------------ PNG

struct Chunk {
    std::string type;
    std::size_t data;  // offset of the chunk's data
    std::uint32_t length;
};

// Splits a PNG file into chunks; records a failure for a bad signature or CRC.
std::vector<Chunk> pngChunks(const Bytes& file) {
    static constexpr std::array<std::uint8_t, 8> signature{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<Chunk> chunks;
    if (file.size() < 8 || !std::equal(signature.begin(), signature.end(), file.begin())) {
        ADD_FAILURE() << "missing PNG signature";
        return chunks;
    }
    std::size_t at = 8;
    while (at + 12 <= file.size()) {
        const std::uint32_t length = be32(file, at);
        if (at + 12 + length > file.size()) {
            ADD_FAILURE() << "chunk runs past the end of the file";
            break;
        }
        const std::string type(file.begin() + at + 4, file.begin() + at + 8);
        EXPECT_EQ(crc32(&file[at + 4], length + 4), be32(file, at + 8 + length)) << "CRC of " << type;
        chunks.push_back({type, at + 8, length});
        at += 12 + length;
    }
    EXPECT_EQ(at, file.size()) << "bytes after the last chunk";
    return chunks;
}

struct ExpectedImage {
    const char* key;
    std::uint32_t width, height;
    std::uint8_t colourType;  // 2 = RGB, 6 = RGBA
    std::uint32_t gamma;      // gAMA value times 100000
};

std::ostream& operator<<(std::ostream& os, const ExpectedImage& s) { return os << s.key; }

constexpr ExpectedImage kImages[] = {
    {"bg01", 512, 512, 2, 45000},      {"cloud", 512, 512, 2, 45000},
    {"laser", 128, 128, 6, 45454},     {"korrimeet", 300, 80, 2, 45000},
    {"tavopresents", 300, 80, 2, 45000}, {"veldrin", 300, 80, 2, 45000},
    {"code", 300, 80, 2, 45000},       {"music", 340, 80, 2, 45000},
    {"greeting", 300, 80, 2, 45000},   {"fendrak", 300, 80, 2, 45000},
    {"yonveck", 300, 80, 2, 45000},    {"drassel", 300, 80, 2, 45000},
    {"keltu", 300, 80, 2, 45000},      {"movrin", 200, 50, 2, 45000},
    {"pashtek", 200, 50, 2, 45000},    {"zelimor", 300, 80, 2, 45000},
    {"quorvan", 300, 80, 2, 45000},    {"icon32", 32, 32, 6, 45000},
    {"icon16", 16, 16, 6, 45000},
};

class ImageAsset : public ::testing::TestWithParam<ExpectedImage> {};

TEST_P(ImageAsset, HeaderGammaAndChunkOrder) {
    const ExpectedImage& want = GetParam();
    const Bytes file = readAsset(std::string(want.key) + ".png");
    ASSERT_FALSE(file.empty()) << "cannot read " << want.key << ".png";
    const std::vector<Chunk> chunks = pngChunks(file);
    ASSERT_GE(chunks.size(), 3u);

    ASSERT_EQ(chunks.front().type, "IHDR");
    ASSERT_EQ(chunks.front().length, 13u);
    const std::size_t h = chunks.front().data;
    EXPECT_EQ(be32(file, h), want.width);
    EXPECT_EQ(be32(file, h + 4), want.height);
    EXPECT_EQ(file[h + 8], 8) << "bit depth";
    EXPECT_EQ(file[h + 9], want.colourType) << "colour type";
    EXPECT_EQ(file[h + 10], 0) << "compression";
    EXPECT_EQ(file[h + 11], 0) << "filter method";
    EXPECT_EQ(file[h + 12], 0) << "interlace";

    EXPECT_EQ(chunks.back().type, "IEND");
    bool seenData = false, seenGamma = false;
    for (const Chunk& c : chunks) {
        if (c.type == "IDAT") seenData = true;
        if (c.type == "gAMA") {
            EXPECT_FALSE(seenData) << "gAMA must come before the image data";
            ASSERT_EQ(c.length, 4u);
            EXPECT_EQ(be32(file, c.data), want.gamma);
            seenGamma = true;
        }
        EXPECT_NE(c.type, "tIME") << "a time stamp makes the file differ between runs";
    }
    EXPECT_TRUE(seenData);
    EXPECT_TRUE(seenGamma);
}

INSTANTIATE_TEST_SUITE_P(AllImages, ImageAsset, ::testing::ValuesIn(kImages),
                         [](const auto& row) { return std::string(row.param.key); });

// ------------------------------------------------------------------ MP3

constexpr std::size_t kId3v1Size = 128;

std::size_t id3v2Size(const Bytes& f) {
    // header (10 bytes) + syncsafe size
    return 10 + ((std::size_t(f[6]) << 21) | (std::size_t(f[7]) << 14) | (std::size_t(f[8]) << 7) |
                 std::size_t(f[9]));
}

bool contains(const Bytes& f, std::size_t from, std::size_t to, std::string_view text) {
    const auto end = f.begin() + static_cast<std::ptrdiff_t>(to);
    return std::search(f.begin() + static_cast<std::ptrdiff_t>(from), end, text.begin(), text.end()) != end;
}

class MusicAsset : public ::testing::Test {
protected:
    static void SetUpTestSuite() { file = new Bytes(readAsset("music.mp3")); }
    static void TearDownTestSuite() { delete file; }
    static Bytes* file;
};
Bytes* MusicAsset::file = nullptr;

TEST_F(MusicAsset, TagsAtBothEnds) {
    const Bytes& f = *file;
    ASSERT_GT(f.size(), 100000u) << "music.mp3 missing or truncated";
    ASSERT_EQ(std::string_view(reinterpret_cast<const char*>(f.data()), 3), "ID3");
    EXPECT_EQ(f[3], 3) << "ID3v2 major version";
    EXPECT_EQ(f[4], 0) << "ID3v2 revision";
    for (int i = 6; i < 10; ++i) EXPECT_LT(f[i], 0x80) << "size bytes must be syncsafe";
    const std::size_t tag = id3v2Size(f);
    ASSERT_LT(tag, f.size());
    EXPECT_TRUE(contains(f, 10, tag, "TIT2"));
    EXPECT_TRUE(contains(f, 10, tag, "veldrin"));
    EXPECT_TRUE(contains(f, 10, tag, "TPE1"));
    EXPECT_TRUE(contains(f, 10, tag, "TAVO"));

    const std::size_t v1 = f.size() - kId3v1Size;
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(&f[v1]), 3), "TAG");
    EXPECT_EQ(std::string_view(reinterpret_cast<const char*>(&f[v1 + 3]), 7), "veldrin");
}

TEST_F(MusicAsset, EveryFrameIsConstantRateLayerThree) {
    const Bytes& f = *file;
    ASSERT_GT(f.size(), 100000u);
    const std::size_t end = f.size() - kId3v1Size;
    std::size_t at = id3v2Size(f);
    int frames = 0;
    while (at + 4 <= end) {
        const std::uint32_t h = be32(f, at);
        SCOPED_TRACE("frame " + std::to_string(frames) + " at byte " + std::to_string(at));
        ASSERT_EQ(h >> 21, 0x7FFu) << "frame sync";
        ASSERT_EQ((h >> 19) & 3u, 3u) << "MPEG-1";
        ASSERT_EQ((h >> 17) & 3u, 1u) << "Layer III";
        ASSERT_EQ((h >> 12) & 15u, 10u) << "160 kbit/s";
        ASSERT_EQ((h >> 10) & 3u, 0u) << "44,100 Hz";
        ASSERT_NE((h >> 6) & 3u, 3u) << "two channels (stereo or joint stereo)";
        const std::size_t padding = (h >> 9) & 1u;
        at += 144 * 160000 / 44100 + padding;  // 522 or 523 bytes
        ++frames;
    }
    EXPECT_EQ(at, end) << "frames must end exactly where the ID3v1 tag starts";
    EXPECT_GE(frames, 7160);
    EXPECT_LE(frames, 7165);
    const double seconds = frames * 1152.0 / 44100.0;
    EXPECT_GE(seconds, 187.0);
    EXPECT_LE(seconds, 187.2);
}

}  // namespace
