// PNG images to textures: decoding every colour type, scaling to powers of two, gamma, flawed
// files, the upload, and the registry of the 17 embedded images. The fixtures are made here
// with the platform's own PNG writer, so every colour type, size and flaw is at hand.
#include <cmath>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "app/shell.h"
#include "assets/embedded.h"
#include "platform/gl.h"
#include "image/png_decode.h"
#include "image/png_write.h"
#include "tests/support/gl_context.h"
#include "timeline/demo.h"

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
        // Every pixel is the source pixel nearest to its own centre.
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const std::uint8_t* p = &image.pixels[std::size_t((y * image.width + x) * image.channels)];
                ASSERT_LE(std::fabs(p[0] + 256 * p[2] - ((x + 0.5) * s.w / image.width - 0.5)), 0.5 + 1e-9) << x;
                ASSERT_LE(std::fabs(p[1] - ((y + 0.5) * s.h / image.height - 0.5)), 0.5 + 1e-9) << y;
            }
        }
    }
}

TEST(PngDecode, TruncatedAndDamagedInputsFailCleanly) {
    const Bytes png = encoded(64, 64, 3, pattern(64, 64, 3), {.gamma = 0.45, .compressionLevel = 0});
    PngImage image;
    ASSERT_TRUE(decode(png, image));
    // Cut inside the signature, the header, the image data and the end chunk. Each copy is
    // exactly as long as the cut, so a read beyond it would be a read out of bounds.
    for (std::size_t cut : {std::size_t(0), std::size_t(5), std::size_t(20), png.size() / 2, png.size() - 1}) {
        const Bytes truncated(png.begin(), png.begin() + std::ptrdiff_t(cut));
        EXPECT_FALSE(decodePngForTexture(cut == 0 ? nullptr : truncated.data(), cut, kScreen, 4096, image)) << cut;
        EXPECT_TRUE(image.pixels.empty());
    }
    // Flipped bits in the image data: the zlib or chunk checksum catches them.
    Bytes damaged = png;
    for (std::size_t i = 60; i < damaged.size() - 20; i += 97) damaged[i] ^= 0x5A;
    EXPECT_FALSE(decode(damaged, image));
}

// Each test runs in a process of its own, so the environment it changes dies with it.
TEST(ViewingGamma, DividesTheScreenGammaAndUnusableValuesFallBackWithOneWarning) {
    testing::internal::CaptureStderr();
    for (const char* bad : {"", "2x", "-1", "nan", "0.05", "11"}) {
        setenv("VIEWING_GAMMA", bad, 1);
        EXPECT_DOUBLE_EQ(screenGamma(), 2.2) << '"' << bad << '"';
    }
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err.find("VIEWING_GAMMA"), err.rfind("VIEWING_GAMMA")) << err;
    // Out = In^(1 / (file × screen)): at the default our images are shown as stored; a larger
    // viewing gamma darkens. Without a gAMA chunk the file gamma is 0.45455. Alpha is no colour.
    const struct {
        const char* viewing;
        double fileGamma;
        double want;
    } cases[] = {{"1", 0.45, 128.0},
                 {"1", 0.0, 128.0},
                 {"2", 0.45, 255.0 * std::pow(128.0 / 255.0, 1.0 / (0.45 * 1.1))},
                 {" 0.5", 0.0, 255.0 * std::pow(128.0 / 255.0, 1.0 / (0.45455 * 4.4))}};
    for (const auto& c : cases) {
        setenv("VIEWING_GAMMA", c.viewing, 1);
        PngImage image;
        ASSERT_TRUE(decode(encoded(1, 1, 4, {128, 128, 128, 77}, {.gamma = c.fileGamma}), image, screenGamma()));
        EXPECT_NEAR(image.pixels[0], c.want, 2.0) << c.viewing << " " << c.fileGamma;
        EXPECT_EQ(image.pixels[3], 77);
    }
}

GLint level0(GLenum what) {
    GLint value = -1;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, what, &value);
    return value;
}

using PngTexture = GlTest;

// A texture's size, internal format and texels, all in one list.
std::vector<GLint> textureOf(unsigned int id) {
    glBindTexture(GL_TEXTURE_2D, id);
    std::vector<GLint> t = {level0(GL_TEXTURE_WIDTH), level0(GL_TEXTURE_HEIGHT), level0(GL_TEXTURE_INTERNAL_FORMAT)};
    t.resize(3 + std::size_t(t[0]) * std::size_t(t[1]));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, &t[3]);
    return t;
}

// The images decoded on a thread while the window starts become the very textures that decoding
// them in place makes, at fixed positions; keys match exactly; a failure keeps its position.
TEST_F(PngTexture, TheRegistryHoldsTheSeventeenImagesWhereverTheyWereDecoded) {
    ASSERT_TRUE(demo.textures.ids.empty());
    startImageDecoding();
    registerTextures();
    const TextureRegistry& early = demo.textures;
    ASSERT_EQ(early.ids.size(), 17u);
    EXPECT_EQ(early.indexOf("bg01"), 0);
    EXPECT_EQ(early.indexOf("music"), 7);
    EXPECT_EQ(early.indexOf("quorvan"), 16);
    for (const char* key : {"bg0", "bg01x", "BG01", ""}) EXPECT_EQ(early.indexOf(key), -1) << key;
    TextureRegistry inPlace;
    for (std::size_t i = 0; i < 17; ++i) {
        const EmbeddedAsset* image = findEmbeddedAsset((early.names[i] + ".png").c_str());
        ASSERT_NE(image, nullptr) << early.names[i];
        inPlace.add(image->data, image->size, early.names[i].c_str());
        ASSERT_NE(early.ids[i], 0u);
        EXPECT_TRUE(textureOf(early.ids[i]) == textureOf(inPlace.ids[i])) << early.names[i];
    }
    demo.textures.bind("no such key");
    GLint bound = -1;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    EXPECT_EQ(bound, 0);

    const unsigned char notPng[16] = {1, 2, 3};
    TextureRegistry failures;
    failures.add(notPng, sizeof notPng, "broken", PngImage(), false);
    failures.add(nullptr, 0, "missing");
    EXPECT_EQ(failures.ids, (std::vector<unsigned int>{0u, 0u}));
    EXPECT_EQ(failures.indexOf("missing"), 1);
}

}  // namespace
