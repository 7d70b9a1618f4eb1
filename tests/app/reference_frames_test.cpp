// Reference frames: a few moments of a 60-fps run, rendered headless at 400 × 300 and compared
// with the pictures committed in tests/reference/. Software rasterisers differ by a level or two
// between drawing paths, so small differences on few pixels pass. On a mismatch the actual
// picture and a difference picture are written next to the reference.
//
// To make the references anew (after a deliberate change to what the show looks like):
//   VELDRIN_UPDATE_REFERENCES=1 build/release/tests/veldrin_tests --gtest_filter='ReferenceFrames.*'
// which also redraws the contact sheet shown in the README (docs/images/contact-sheet.png).
#include <gtest/gtest.h>

#include <algorithm>
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
#include "platform/png_write.h"
#include "platform/window.h"
#include "tests/support/frame_compare.h"
#include "timeline/demo.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kMoments[] = {10, 20, 50, 65, 80, 110, 145, 155, 170};

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    PngWriteOptions options;
    options.compressionLevel = 9;
    const bool ok = writePngFile(file, width, height, 3, rgb.data(), options);
    return std::fclose(file) == 0 && ok;
}

class ReferenceFrames : public testing::Test {
protected:
    void SetUp() override {
        WindowDesc desc;
        desc.title = "veldrin reference frames";
        desc.width = desc.height = 64;
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
    const std::size_t row = std::size_t(kWidth) * 3;
    std::vector<std::uint8_t> bottomUp(target_.frameBytes());
    std::vector<std::vector<std::uint8_t>> shots;
    for (const int second : kMoments) {
        SCOPED_TRACE(testing::Message() << "at " << second << " s");
        // Every frame before the moment is updated, as in a run; the moment itself is drawn.
        ASSERT_TRUE(catchUp(second, clock_));
        ASSERT_EQ(drawFrame(), 1);
        target_.read(bottomUp.data());
        clock_.advance();
        std::vector<std::uint8_t> frame(row * kHeight);
        for (std::size_t y = 0; y < std::size_t(kHeight); ++y) {
            std::copy_n(&bottomUp[(std::size_t(kHeight) - 1 - y) * row], row, &frame[y * row]);
        }
        if (update) {
            ASSERT_TRUE(writePng(referenceFramePath(second), kWidth, kHeight, frame));
            shots.push_back(frame);
            continue;
        }
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> reference = readReferenceFrame(second, width, height);
        ASSERT_TRUE(width == kWidth && height == kHeight);
        const FrameDifference difference = compareFrames(frame, reference);
        if (!difference.within()) {
            writePng(referenceFramePath(second, "-actual"), kWidth, kHeight, frame);
            writePng(referenceFramePath(second, "-difference"), kWidth, kHeight, difference.picture);
        }
        EXPECT_TRUE(difference.within()) << difference.beyond << " channels differ by more than 3 levels; see "
                                         << referenceFramePath(second, "-actual");
    }
    if (!update) return;

    // The contact sheet for the README: three rows of three, each moment at half size.
    const int cellW = kWidth / 2;
    const int cellH = kHeight / 2;
    const std::size_t w = std::size_t(cellW);
    std::vector<std::uint8_t> sheet(w * std::size_t(cellH) * 27);
    for (std::size_t i = 0; i < shots.size(); ++i) {
        for (std::size_t y = 0; y < std::size_t(cellH); ++y) {
            const std::size_t to = ((i / 3 * std::size_t(cellH) + y) * 3 * w + i % 3 * w) * 3;
            for (std::size_t x = 0; x < w * 3; ++x) sheet[to + x] = shots[i][y * 2 * row + x / 3 * 6 + x % 3];
        }
    }
    const std::string sheetPath = std::string(VELDRIN_SOURCE_DIR) + "/docs/images/contact-sheet.png";
    ASSERT_TRUE(writePng(sheetPath, cellW * 3, cellH * 3, sheet));
}

}  // namespace
