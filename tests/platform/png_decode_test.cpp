// Decoding PNG images for textures: the fixtures are made here with the platform's own PNG
// writer, so every colour type, size and flaw is at hand without files.
#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/png_texture.h"
#include "platform/png_write.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr double kScreen = 2.2;

// A test pattern whose every pixel tells where it came from: x in R (low) and B (high), y in G.
Bytes pattern(int width, int height, int channels) {
    Bytes pixels(std::size_t(width * height * channels));
    for (std::size_t i = 0; i < pixels.size(); i += std::size_t(channels)) {
        const int x = int(i / std::size_t(channels)) % width, y = int(i / std::size_t(channels)) / width;
        pixels[i] = std::uint8_t(x & 255);
        pixels[i + 1] = std::uint8_t(y);
        pixels[i + 2] = std::uint8_t(x >> 8);
        if (channels == 4) pixels[i + 3] = std::uint8_t(255 - y);
    }
    return pixels;
}

Bytes encoded(int width, int height, int channels, const Bytes& pixels, const PngWriteOptions& options = {}) {
    Bytes png;
    EXPECT_TRUE(encodePng(width, height, channels, pixels.data(), png, options));
    return png;
}

bool decode(const Bytes& png, PngImage& out, double screen = kScreen, int maxSize = 4096) {
    return decodePngForTexture(png.data(), png.size(), screen, maxSize, out);
}

// Every pixel of a scaled pattern is the source pixel nearest to its own centre.
void expectNearestSamples(const PngImage& image, int srcWidth, int srcHeight) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = &image.pixels[std::size_t((y * image.width + x) * image.channels)];
            const int srcX = p[0] + 256 * p[2], srcY = p[1];
            ASSERT_LE(std::fabs(srcX - ((x + 0.5) * srcWidth / image.width - 0.5)), 0.5 + 1e-9) << x << "," << y;
            ASSERT_LE(std::fabs(srcY - ((y + 0.5) * srcHeight / image.height - 0.5)), 0.5 + 1e-9) << x << "," << y;
        }
    }
}

TEST(PngDecode, SidesScaleToPowersOfTwoByNearestSampleWithinTheGlLimit) {
    const struct {
        int w, h, limit, wantW, wantH;
        bool interlaced;
    } sizes[] = {{300, 80, 4096, 512, 128, false}, {340, 80, 4096, 512, 128, true}, {200, 50, 4096, 256, 64, false},
                 {1, 3, 4096, 1, 4, false},        {300, 80, 256, 256, 128, false}};
    for (const auto& s : sizes) {
        PngImage image;
        ASSERT_TRUE(decode(encoded(s.w, s.h, 3, pattern(s.w, s.h, 3), {.gamma = 0.45, .interlaced = s.interlaced}),
                           image, kScreen, s.limit));
        EXPECT_EQ(image.width, s.wantW);
        EXPECT_EQ(image.height, s.wantH);
        expectNearestSamples(image, s.w, s.h);
    }
}

TEST(PngDecode, EveryColourTypeBecomesEightBitRgbOrRgba) {
    const std::uint8_t palette[] = {255, 0, 0, 0, 255, 0, 0, 0, 255}, paletteAlpha[] = {0, 128};
    const Bytes indices = {0, 1, 2, 1}, rgba = pattern(4, 2, 4);
    const struct {
        int w, h, channels;
        Bytes in;
        PngWriteOptions options;
        int wantChannels;
        Bytes want;
    } cases[] = {
        {4, 2, 4, rgba, {.gamma = 0.45454}, 4, rgba},
        {2, 2, 1, {0, 100, 200, 255}, {}, 3, {0, 0, 0, 100, 100, 100, 200, 200, 200, 255, 255, 255}},
        {2, 1, 2, {10, 0, 20, 128}, {}, 4, {10, 10, 10, 0, 20, 20, 20, 128}},
        {2, 2, 1, indices, {.bitDepth = 2, .palette = palette, .paletteSize = 3}, 3,
         {255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 255, 0}},
        {2, 2, 1, indices, {.palette = palette, .paletteSize = 3, .paletteAlpha = paletteAlpha, .paletteAlphaSize = 2},
         4, {255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255, 0, 255, 0, 128}},
        {2, 1, 1, {1, 0}, {.bitDepth = 1}, 3, {255, 255, 255, 0, 0, 0}},
        {1, 1, 3, {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00}, {.bitDepth = 16}, 3, {255, 128, 0}},
    };
    for (const auto& c : cases) {
        PngImage image;
        ASSERT_TRUE(decode(encoded(c.w, c.h, c.channels, c.in, c.options), image)) << c.channels;
        EXPECT_EQ(image.channels, c.wantChannels);
        EXPECT_EQ(image.pixels, c.want);
    }
}

TEST(PngDecode, TruncatedOversizedAndDamagedInputsFailCleanly) {
    const Bytes png = encoded(64, 64, 3, pattern(64, 64, 3), {.gamma = 0.45, .compressionLevel = 0});
    PngImage image;
    ASSERT_TRUE(decode(png, image));
    // Cut inside the signature, the header, the image data and the end chunk. Each copy is
    // exactly as long as the cut, so a read beyond it would be a read out of bounds.
    for (std::size_t cut : {std::size_t(0), std::size_t(5), std::size_t(20), png.size() / 2, png.size() - 12,
                            png.size() - 1}) {
        const Bytes truncated(png.begin(), png.begin() + std::ptrdiff_t(cut));
        EXPECT_FALSE(decodePngForTexture(cut == 0 ? nullptr : truncated.data(), cut, kScreen, 4096, image)) << cut;
        EXPECT_TRUE(image.pixels.empty());
    }
    // Flipped bits in the image data: the zlib or chunk checksum catches them.
    Bytes damaged = png;
    for (std::size_t i = 60; i < damaged.size() - 20; i += 97) damaged[i] ^= 0x5A;
    EXPECT_FALSE(decode(damaged, image));

    // A header that claims 100000 × 100000 with a valid checksum is refused before allocating.
    Bytes huge = encoded(1, 1, 3, {1, 2, 3});
    huge[17] = huge[21] = 0x01;
    huge[18] = huge[22] = 0x86;
    huge[19] = huge[23] = 0xA0;
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 12; i < 29; ++i) {
        crc ^= huge[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    for (int i = 0; i < 4; ++i) huge[29 + std::size_t(i)] = std::uint8_t(~crc >> (24 - 8 * i));
    EXPECT_FALSE(decode(huge, image));
}

// A 4 × 4 mid-grey image decoded at the screen gamma the environment asks for.
int decodedGrey(double fileGamma) {
    PngImage image;
    EXPECT_TRUE(decode(encoded(4, 4, 1, Bytes(16, 128), {.gamma = fileGamma}), image, screenGamma()));
    return image.pixels.empty() ? -1 : image.pixels[0];
}

// Each test runs in a process of its own, so the environment it changes dies with it.
TEST(ViewingGammaPng, ViewingGammaDividesTheScreenGammaAndUnusableValuesFallBack) {
    // Unusable values give the default and one warning (the first of the process) for them all.
    testing::internal::CaptureStderr();
    for (const char* bad : {"", "bright", "2x", "0", "-1", "inf", "nan", "1e300", "0.05", "11"}) {
        setenv("VIEWING_GAMMA", bad, 1);
        EXPECT_DOUBLE_EQ(screenGamma(), 2.2) << '"' << bad << '"';
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("VIEWING_GAMMA"), std::string::npos) << err;
    EXPECT_EQ(err.find("VIEWING_GAMMA"), err.rfind("VIEWING_GAMMA")) << err;

    // Our images are shown as stored at the default; no gAMA chunk means 0.45455.
    unsetenv("VIEWING_GAMMA");
    EXPECT_DOUBLE_EQ(screenGamma(), 2.2);
    EXPECT_NEAR(decodedGrey(0.45), 128, 1);
    EXPECT_NEAR(decodedGrey(0.0), 128, 1);
    // Out = In^(1 / (file × screen)): a smaller screen gamma darkens, a larger one brightens.
    setenv("VIEWING_GAMMA", "2", 1);
    EXPECT_DOUBLE_EQ(screenGamma(), 1.1);
    EXPECT_NEAR(decodedGrey(0.45), 255.0 * std::pow(128.0 / 255.0, 1.0 / (0.45 * 1.1)), 2.0);
    setenv("VIEWING_GAMMA", " 0.5", 1);
    EXPECT_NEAR(decodedGrey(0.0), 255.0 * std::pow(128.0 / 255.0, 1.0 / (0.45455 * 4.4)), 2.0);
    setenv("VIEWING_GAMMA", "10", 1);
    EXPECT_NEAR(screenGamma(), 0.22, 1e-12);
    unsetenv("VIEWING_GAMMA");

    // Alpha is not a colour: gamma leaves it alone.
    PngImage image;
    ASSERT_TRUE(decode(encoded(1, 1, 4, {128, 128, 128, 77}, {.gamma = 0.45}), image, 1.1));
    EXPECT_LT(image.pixels[0], 100);
    EXPECT_EQ(image.pixels[3], 77);
}

}  // namespace
