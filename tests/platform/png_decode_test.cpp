// Decoding PNG images for textures: the fixtures are made here with the platform's own PNG
// writer, so every colour type, size and flaw is at hand without files.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/png_texture.h"
#include "platform/png_write.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr double kScreen = 2.2;
constexpr int kMax = 4096;

// A test pattern whose every pixel tells where it came from: x in R (low) and B (high), y in G.
Bytes pattern(int width, int height, int channels) {
    Bytes pixels(std::size_t(width * height * channels));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = &pixels[std::size_t((y * width + x) * channels)];
            p[0] = std::uint8_t(x & 255);
            p[1] = std::uint8_t(y);
            p[2] = std::uint8_t(x >> 8);
            if (channels == 4) p[3] = std::uint8_t(255 - y);
        }
    }
    return pixels;
}

Bytes encoded(int width, int height, int channels, const Bytes& pixels, const PngWriteOptions& options = {}) {
    Bytes png;
    EXPECT_TRUE(encodePng(width, height, channels, pixels.data(), png, options));
    return png;
}

bool decode(const Bytes& png, PngImage& out, double screen = kScreen, int maxSize = kMax) {
    return decodePngForTexture(png.data(), png.size(), screen, maxSize, out);
}

const std::uint8_t* pixelAt(const PngImage& image, int x, int y) {
    return &image.pixels[std::size_t((y * image.width + x) * image.channels)];
}

// Checks a scaled pattern: every pixel is the pattern pixel nearest to its own centre, and
// when scaling up, no source row or column is skipped.
void expectNearestSamples(const PngImage& image, int srcWidth, int srcHeight) {
    std::vector<int> seenColumns(static_cast<std::size_t>(srcWidth));
    std::vector<int> seenRows(static_cast<std::size_t>(srcHeight));
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const std::uint8_t* p = pixelAt(image, x, y);
            const int srcX = p[0] + 256 * p[2];
            const int srcY = p[1];
            const double wantX = (x + 0.5) * srcWidth / image.width - 0.5;
            const double wantY = (y + 0.5) * srcHeight / image.height - 0.5;
            ASSERT_LE(std::fabs(srcX - wantX), 0.5 + 1e-9) << "pixel " << x << "," << y;
            ASSERT_LE(std::fabs(srcY - wantY), 0.5 + 1e-9) << "pixel " << x << "," << y;
            ++seenColumns[std::size_t(srcX)];
            ++seenRows[std::size_t(srcY)];
        }
    }
    if (image.width < srcWidth || image.height < srcHeight) return;
    for (int count : seenColumns) EXPECT_GT(count, 0);
    for (int count : seenRows) EXPECT_GT(count, 0);
}

TEST(PngDecode, SidesScaleUpToPowersOfTwoByNearestSample) {
    const struct {
        int w, h, wantW, wantH;
    } sizes[] = {{300, 80, 512, 128}, {340, 80, 512, 128}, {200, 50, 256, 64}, {1, 3, 1, 4}};
    for (const auto& s : sizes) {
        PngImage image;
        ASSERT_TRUE(decode(encoded(s.w, s.h, 3, pattern(s.w, s.h, 3), {.gamma = 0.45}), image));
        EXPECT_EQ(image.width, s.wantW);
        EXPECT_EQ(image.height, s.wantH);
        EXPECT_EQ(image.channels, 3);
        expectNearestSamples(image, s.w, s.h);
    }
}

TEST(PngDecode, PowerOfTwoImagesAreUntouchedAndTheGlLimitBoundsTheScaling) {
    const Bytes square = pattern(128, 128, 3);
    PngImage image;
    ASSERT_TRUE(decode(encoded(128, 128, 3, square), image));
    EXPECT_EQ(image.width, 128);
    EXPECT_EQ(image.pixels, square);

    ASSERT_TRUE(decode(encoded(300, 80, 3, pattern(300, 80, 3)), image, kScreen, 256));
    EXPECT_EQ(image.width, 256);  // 512 would exceed the limit: scaled down to it instead
    EXPECT_EQ(image.height, 128);
    expectNearestSamples(image, 300, 80);
}

TEST(PngDecode, AlphaDecidesBetweenRgbAndRgba) {
    const Bytes rgba = pattern(64, 32, 4);
    PngImage image;
    ASSERT_TRUE(decode(encoded(64, 32, 4, rgba, {.gamma = 0.45454}), image));
    EXPECT_EQ(image.channels, 4);
    EXPECT_EQ(image.pixels, rgba);

    // Grey and grey+alpha come out as RGB and RGBA.
    const Bytes grey = {0, 100, 200, 255};
    ASSERT_TRUE(decode(encoded(2, 2, 1, grey), image));
    ASSERT_EQ(image.channels, 3);
    EXPECT_EQ(Bytes(pixelAt(image, 1, 0), pixelAt(image, 1, 0) + 3), Bytes({100, 100, 100}));
    const Bytes greyAlpha = {10, 0, 20, 128, 30, 255, 40, 77};
    ASSERT_TRUE(decode(encoded(2, 2, 2, greyAlpha), image));
    ASSERT_EQ(image.channels, 4);
    EXPECT_EQ(Bytes(pixelAt(image, 0, 1), pixelAt(image, 0, 1) + 4), Bytes({30, 30, 30, 255}));
}

TEST(PngDecode, PaletteLowBitDepthsAndSixteenBitsExpandToEightBitRgb) {
    const std::uint8_t palette[] = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    const Bytes indices = {0, 1, 2, 1};
    PngImage image;
    ASSERT_TRUE(decode(encoded(2, 2, 1, indices, {.bitDepth = 2, .palette = palette, .paletteSize = 3}), image));
    ASSERT_EQ(image.channels, 3);
    EXPECT_EQ(image.pixels, Bytes({255, 0, 0, 0, 255, 0, 0, 0, 255, 0, 255, 0}));

    // A palette with transparency (tRNS) gives RGBA.
    const std::uint8_t alpha[] = {0, 128};
    ASSERT_TRUE(decode(encoded(2, 2, 1, indices,
                               {.palette = palette, .paletteSize = 3, .paletteAlpha = alpha, .paletteAlphaSize = 2}),
                       image));
    ASSERT_EQ(image.channels, 4);
    EXPECT_EQ(image.pixels, Bytes({255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255, 0, 255, 0, 128}));

    // 1-bit grey: 0 and 1 become black and white.
    ASSERT_TRUE(decode(encoded(2, 1, 1, {1, 0}, {.bitDepth = 1}), image));
    EXPECT_EQ(image.pixels, Bytes({255, 255, 255, 0, 0, 0}));

    // 16 bits per sample (big-endian) keep their high byte's worth.
    const Bytes wide = {0xFF, 0xFF, 0x80, 0x00, 0x00, 0x00};
    ASSERT_TRUE(decode(encoded(1, 1, 3, wide, {.bitDepth = 16}), image));
    EXPECT_EQ(image.pixels, Bytes({255, 128, 0}));
}

TEST(PngDecode, InterlacedImagesMatchTheirPlainTwins) {
    const Bytes pixels = pattern(300, 80, 3);
    PngImage plain, interlaced;
    ASSERT_TRUE(decode(encoded(300, 80, 3, pixels), plain));
    ASSERT_TRUE(decode(encoded(300, 80, 3, pixels, {.interlaced = true}), interlaced));
    EXPECT_EQ(interlaced.width, 512);
    EXPECT_EQ(interlaced.pixels, plain.pixels);
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

TEST(PngDecode, TruncatedOversizedAndGarbageInputsFailCleanly) {
    const Bytes png = encoded(64, 64, 3, pattern(64, 64, 3), {.gamma = 0.45, .compressionLevel = 0});
    PngImage image;
    ASSERT_TRUE(decode(png, image));
    // Cut inside the signature, the header, the image data and the end chunk. Each copy is
    // exactly as long as the cut, so a read beyond it would be a read out of bounds.
    for (std::size_t cut : {std::size_t(0), std::size_t(5), std::size_t(8), std::size_t(20), std::size_t(40),
                            png.size() / 2, png.size() - 13, png.size() - 12, png.size() - 1}) {
        const Bytes truncated(png.begin(), png.begin() + std::ptrdiff_t(cut));
        EXPECT_FALSE(decodePngForTexture(truncated.empty() ? nullptr : truncated.data(), truncated.size(), kScreen,
                                         kMax, image))
            << "cut at " << cut;
        EXPECT_TRUE(image.pixels.empty());
    }

    // A header that claims 100000 × 100000 with a valid checksum is refused before allocating.
    Bytes huge = encoded(1, 1, 3, {1, 2, 3});
    for (int i = 0; i < 4; ++i) {
        huge[16 + std::size_t(i)] = std::uint8_t((100000u >> (24 - 8 * i)) & 255);
        huge[20 + std::size_t(i)] = std::uint8_t((100000u >> (24 - 8 * i)) & 255);
    }
    const std::uint32_t crc = crc32(&huge[12], 17);
    for (int i = 0; i < 4; ++i) huge[29 + std::size_t(i)] = std::uint8_t(crc >> (24 - 8 * i));
    EXPECT_FALSE(decode(huge, image));

    // Flipped bits in the image data: the zlib or chunk checksum catches them.
    Bytes damaged = png;
    for (std::size_t i = 60; i < damaged.size() - 20; i += 97) damaged[i] ^= 0x5A;
    EXPECT_FALSE(decode(damaged, image));

    // A valid signature followed by noise, and noise alone.
    Bytes noise(png.begin(), png.begin() + 8);
    std::uint32_t state = 12345;
    for (int i = 0; i < 4000; ++i) {
        state = state * 1103515245u + 12345u;
        noise.push_back(std::uint8_t(state >> 16));
    }
    EXPECT_FALSE(decode(noise, image));
    EXPECT_FALSE(decode(Bytes(noise.begin() + 8, noise.end()), image));
}

// The screen gamma comes from the environment; each test restores what it found.
class ViewingGammaPng : public testing::Test {
protected:
    void SetUp() override {
        const char* value = std::getenv("VIEWING_GAMMA");
        hadValue_ = value != nullptr;
        if (hadValue_) saved_ = value;
    }
    void TearDown() override {
        if (hadValue_) setenv("VIEWING_GAMMA", saved_.c_str(), 1);
        else unsetenv("VIEWING_GAMMA");
    }
    // A 4 × 4 mid-grey image decoded at the current screen gamma.
    int decodedGrey(double fileGamma) {
        const Bytes grey(16, 128);
        PngImage image;
        EXPECT_TRUE(decode(encoded(4, 4, 1, grey, {.gamma = fileGamma}), image, screenGamma()));
        return image.pixels.empty() ? -1 : image.pixels[0];
    }

private:
    bool hadValue_ = false;
    std::string saved_;
};

TEST_F(ViewingGammaPng, OurImagesAreShownAsStoredAtTheDefaultScreenGamma) {
    unsetenv("VIEWING_GAMMA");
    EXPECT_DOUBLE_EQ(screenGamma(), 2.2);
    EXPECT_NEAR(decodedGrey(0.45), 128, 1);
    EXPECT_NEAR(decodedGrey(0.45454), 128, 1);
    EXPECT_NEAR(decodedGrey(0.0), 128, 1);  // no gAMA chunk: assumed 0.45455
}

TEST_F(ViewingGammaPng, ViewingGammaDividesTheScreenGamma) {
    // Out = In^(1 / (file × screen)): a smaller screen gamma darkens, a larger one brightens.
    setenv("VIEWING_GAMMA", "2", 1);
    EXPECT_DOUBLE_EQ(screenGamma(), 1.1);
    EXPECT_NEAR(decodedGrey(0.45), 255.0 * std::pow(128.0 / 255.0, 1.0 / (0.45 * 1.1)), 2.0);
    setenv("VIEWING_GAMMA", " 0.5", 1);
    EXPECT_DOUBLE_EQ(screenGamma(), 4.4);
    EXPECT_NEAR(decodedGrey(0.0), 255.0 * std::pow(128.0 / 255.0, 1.0 / (0.45455 * 4.4)), 2.0);
    setenv("VIEWING_GAMMA", "10", 1);
    EXPECT_NEAR(screenGamma(), 0.22, 1e-12);

    // Alpha is not a colour: gamma leaves it alone.
    const Bytes rgba = {128, 128, 128, 77};
    PngImage image;
    ASSERT_TRUE(decode(encoded(1, 1, 4, rgba, {.gamma = 0.45}), image, 1.1));
    EXPECT_LT(image.pixels[0], 100);
    EXPECT_EQ(image.pixels[3], 77);
}

TEST_F(ViewingGammaPng, UnusableValuesFallBackToTheDefaultWithOneWarning) {
    testing::internal::CaptureStderr();
    for (const char* bad : {"", "bright", "2x", "0", "-1", "inf", "nan", "1e300", "1e-300", "0.05", "11"}) {
        setenv("VIEWING_GAMMA", bad, 1);
        EXPECT_DOUBLE_EQ(screenGamma(), 2.2) << '"' << bad << '"';
    }
    const std::string err = testing::internal::GetCapturedStderr();
    std::size_t lines = 0;
    for (std::size_t at = err.find("VIEWING_GAMMA"); at != std::string::npos; at = err.find("VIEWING_GAMMA", at + 1)) {
        ++lines;
    }
    EXPECT_EQ(lines, 1u) << err;  // the only test that sets bad values: the first warning of the process
}

TEST(PngWrite, FilesRoundTripAndImpossibleRequestsAreRefused) {
    const Bytes pixels = pattern(33, 7, 4);
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(writePngFile(file, 33, 7, 4, pixels.data()));
    Bytes written(std::size_t(std::ftell(file)));
    std::rewind(file);
    ASSERT_EQ(std::fread(written.data(), 1, written.size(), file), written.size());
    std::fclose(file);
    PngImage image;
    ASSERT_TRUE(decodePng(written.data(), written.size(), image));
    EXPECT_EQ(image.width, 33);
    EXPECT_EQ(image.height, 7);
    EXPECT_EQ(image.pixels, pixels);

    Bytes out = {42};
    EXPECT_FALSE(encodePng(2, 2, 5, pixels.data(), out));
    EXPECT_FALSE(encodePng(0, 2, 3, pixels.data(), out));
    EXPECT_FALSE(encodePng(2, 2, 3, pixels.data(), out, {.bitDepth = 4}));  // RGB has no 4-bit form
    const std::uint8_t palette[] = {1, 2, 3};
    const Bytes outOfRange = {0, 1};
    EXPECT_FALSE(encodePng(2, 1, 1, outOfRange.data(), out, {.palette = palette, .paletteSize = 1}));
    EXPECT_EQ(out, Bytes({42}));  // untouched on failure
}

}  // namespace
