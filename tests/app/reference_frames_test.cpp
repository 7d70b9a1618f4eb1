// Reference frames: a few moments of a 60-fps run, rendered headless at 400 × 300 and compared
// with the pictures committed in tests/reference/. Software rasterisers differ by a level or two
// between drawing paths, so small differences on few pixels pass. On a mismatch the actual
// picture and a difference picture are written next to the reference.
//
// To make the references anew (after a deliberate change to what the show looks like):
//   VELDRIN_UPDATE_REFERENCES=1 build/release/tests/veldrin_tests --gtest_filter='ReferenceFrames.*'
// which also redraws the contact sheet shown in the README (docs/images/contact-sheet.png).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/catch_up.h"
#include "app/offscreen.h"
#include "app/shell.h"
#include "app/shell_state.h"
#include "assets/embedded.h"
#include "platform/audio.h"
#include "platform/png_texture.h"
#include "platform/png_write.h"
#include "platform/window.h"
#include "timeline/demo.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kMoments[] = {10, 20, 50, 65, 80, 110, 145, 155, 170};

std::string referencePath(int second, const char* suffix = "") {
    char name[64];
    std::snprintf(name, sizeof name, "/tests/reference/frame-%03d%s.png", second, suffix);
    return std::string(VELDRIN_SOURCE_DIR) + name;
}

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb, bool bottomUp) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    PngWriteOptions options;
    options.bottomUp = bottomUp;
    options.compressionLevel = 9;
    const bool ok = writePngFile(file, width, height, 3, rgb.data(), options);
    return std::fclose(file) == 0 && ok;
}

bool readPng(const std::string& path, PngImage& image) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    std::vector<unsigned char> bytes;
    unsigned char buffer[65536];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + n);
    std::fclose(file);
    return decodePng(bytes.data(), bytes.size(), image);
}

// Bottom-up frame against a top-down reference: how many channels differ by more than a few
// levels, and the largest difference. Fills a difference picture (top-down, amplified).
struct Comparison {
    std::size_t differing = 0;
    int largest = 0;
    std::vector<std::uint8_t> picture;
};

Comparison compare(const std::vector<std::uint8_t>& bottomUp, const PngImage& reference) {
    Comparison result;
    result.picture.assign(std::size_t(kWidth) * kHeight * 3, 0);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth * 3; ++x) {
            const int actual = bottomUp[std::size_t(kHeight - 1 - y) * kWidth * 3 + std::size_t(x)];
            const int expected = reference.pixels[std::size_t(y) * kWidth * 3 + std::size_t(x)];
            const int difference = std::abs(actual - expected);
            result.largest = std::max(result.largest, difference);
            if (difference > 3) ++result.differing;
            result.picture[std::size_t(y) * kWidth * 3 + std::size_t(x)] = std::uint8_t(std::min(255, difference * 8));
        }
    }
    return result;
}

class ReferenceFrames : public testing::Test {
protected:
    void SetUp() override {
        WindowDesc desc;
        desc.title = "veldrin reference frames";
        desc.width = 64;
        desc.height = 64;
        desc.hidden = true;
        windowWidth = 800.0f;
        windowHeight = 600.0f;
        if (!windowCreate(desc).created) GTEST_SKIP() << "no OpenGL context available";
        windowOpen_ = true;
        std::string error;
        ASSERT_TRUE(target_.create(kWidth, kHeight, error)) << error;
        setViewport(kWidth, kHeight);
        track_ = findEmbeddedAsset("music.mp3");
        ASSERT_NE(track_, nullptr);
        audio_ = createAudioOutput(AudioMode::Offline, clock_);
        demo.attach(&clock_, audio_.get(), track_->data, track_->size);
        startUp();
        ASSERT_NE(demo.music.stream, 0u);
    }
    void TearDown() override {
        demo.music.free();
        demo.attach(nullptr, nullptr, nullptr, 0);
        target_.destroy();
        if (windowOpen_) windowDestroy();
    }

    FixedStepClock clock_{60};
    std::unique_ptr<AudioOutput> audio_;
    const EmbeddedAsset* track_ = nullptr;
    OffscreenTarget target_;
    bool windowOpen_ = false;
};

TEST_F(ReferenceFrames, MomentsOfTheShowLookAsCommitted) {
    const bool update = std::getenv("VELDRIN_UPDATE_REFERENCES") != nullptr;
    std::vector<std::uint8_t> frame(target_.frameBytes());
    std::vector<std::vector<std::uint8_t>> shots;
    for (const int second : kMoments) {
        SCOPED_TRACE(testing::Message() << "at " << second << " s");
        // Every frame before the moment is updated, as in a run; the moment itself is drawn.
        ASSERT_TRUE(catchUp(second, clock_));
        ASSERT_EQ(drawFrame(), 1);
        target_.read(frame.data());
        clock_.advance();
        if (update) {
            ASSERT_TRUE(writePng(referencePath(second), kWidth, kHeight, frame, true));
            shots.push_back(frame);
            continue;
        }
        PngImage reference;
        ASSERT_TRUE(readPng(referencePath(second), reference)) << "missing " << referencePath(second);
        ASSERT_EQ(reference.width, kWidth);
        ASSERT_EQ(reference.height, kHeight);
        ASSERT_EQ(reference.channels, 3);
        const Comparison result = compare(frame, reference);
        // A level or two anywhere, and larger steps on at most 0.5 % of the channels (edges).
        const bool matches = result.differing <= std::size_t(kWidth) * kHeight * 3 / 200;
        if (!matches) {
            writePng(referencePath(second, "-actual"), kWidth, kHeight, frame, true);
            writePng(referencePath(second, "-difference"), kWidth, kHeight, result.picture, false);
        }
        EXPECT_TRUE(matches) << result.differing << " channels differ by more than 3 levels (largest "
                             << result.largest << "); see " << referencePath(second, "-actual");
    }
    if (!update) return;

    // The contact sheet: three rows of three, each moment at half size.
    constexpr int kCell = 2;
    const int sheetW = kWidth / kCell * 3;
    const int sheetH = kHeight / kCell * 3;
    std::vector<std::uint8_t> sheet(std::size_t(sheetW) * sheetH * 3, 0);
    for (std::size_t i = 0; i < shots.size(); ++i) {
        const int ox = int(i % 3) * (kWidth / kCell);
        const int oy = int(i / 3) * (kHeight / kCell);
        for (int y = 0; y < kHeight / kCell; ++y) {
            for (int x = 0; x < kWidth / kCell; ++x) {
                for (int c = 0; c < 3; ++c) {
                    const std::size_t from = std::size_t(kHeight - 1 - y * kCell) * kWidth * 3 + std::size_t(x * kCell) * 3 + std::size_t(c);
                    sheet[(std::size_t(oy + y) * sheetW + std::size_t(ox + x)) * 3 + std::size_t(c)] = shots[i][from];
                }
            }
        }
    }
    ASSERT_TRUE(writePng(std::string(VELDRIN_SOURCE_DIR) + "/docs/images/contact-sheet.png", sheetW, sheetH, sheet, false));
}

}  // namespace
