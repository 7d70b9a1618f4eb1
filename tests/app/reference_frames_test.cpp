// Reference frames: a few moments of a 60-fps run, rendered headless at 400 × 300 and compared
// with the pictures committed in tests/reference/, exactly: llvmpipe draws them to the bit on
// every path it has here, and anything looser lets a slightly wrong colour or a small part
// turning the wrong way pass. On a mismatch the actual picture and a difference picture are
// written next to the reference.
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
#include "sound/audio_output.h"
#include "image/png_write.h"
#include "platform/window.h"
#include "tests/support/frame_compare.h"
#include "timeline/demo.h"

namespace {

constexpr int kWidth = 400;
constexpr int kHeight = 300;
constexpr int kMoments[] = {10, 20, 50, 65, 80, 110, 145, 155, 170};

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    PngWriteOptions options;
    options.compressionLevel = 9;
    const bool ok = file != nullptr && writePngFile(file, width, height, 3, rgb.data(), options);
    return file != nullptr && std::fclose(file) == 0 && ok;
}

// The shell's own start-up, as a capture makes it: a hidden window, a framebuffer of the
// frames' size, the real track through the offline output on a 60-fps clock.
TEST(ReferenceFrames, MomentsOfTheShowLookAsCommitted) {
    WindowDesc desc;
    desc.hidden = true;
    windowWidth = 800.0f;
    windowHeight = 600.0f;
    if (!windowCreate(desc).created) GTEST_SKIP() << "no OpenGL context available";
    OffscreenTarget target;
    std::string error;
    ASSERT_TRUE(target.create(kWidth, kHeight, error)) << error;
    setViewport(kWidth, kHeight);
    FixedStepClock clock(60);
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    ASSERT_NE(track, nullptr);
    const std::unique_ptr<AudioOutput> audio = createAudioOutput(AudioMode::Offline, clock);
    demo.attach(&clock, audio.get(), track->data, track->size);
    startUp();
    ASSERT_NE(demo.music.stream, 0u);

    const bool update = std::getenv("VELDRIN_UPDATE_REFERENCES") != nullptr;
    const std::size_t row = std::size_t(kWidth) * 3;
    std::vector<std::uint8_t> bottomUp(target.frameBytes());
    std::vector<std::vector<std::uint8_t>> shots;
    for (const int second : kMoments) {
        SCOPED_TRACE(testing::Message() << "at " << second << " s");
        // Every frame before the moment is updated, as in a run; the moment itself is drawn.
        ASSERT_TRUE(catchUp(second, clock));
        ASSERT_EQ(drawFrame(), 1);
        target.read(bottomUp.data());
        clock.advance();
        std::vector<std::uint8_t> frame(row * kHeight);
        for (std::size_t y = 0; y < std::size_t(kHeight); ++y) {
            std::copy_n(&bottomUp[(std::size_t(kHeight) - 1 - y) * row], row, &frame[y * row]);
        }
        shots.push_back(frame);
        if (update) {
            ASSERT_TRUE(writePng(referenceFramePath(second), kWidth, kHeight, frame));
            continue;
        }
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> reference = readReferenceFrame(second, width, height);
        ASSERT_TRUE(width == kWidth && height == kHeight);
        const FrameDifference difference = compareFrames(frame, reference, kLlvmpipe);
        if (!difference.within()) {
            writePng(referenceFramePath(second, "-actual"), kWidth, kHeight, frame);
            writePng(referenceFramePath(second, "-difference"), kWidth, kHeight, difference.picture);
        }
        EXPECT_TRUE(difference.within()) << difference.beyond << " channels differ (by up to " << difference.largest
                                         << " levels); see " << referenceFramePath(second, "-actual");
    }
    demo.music.free();
    demo.attach(nullptr, nullptr, nullptr, 0);
    target.destroy();
    windowDestroy();
    if (!update) return;

    // The contact sheet for the README: three rows of three, each moment at half size.
    const std::size_t w = kWidth / 2, h = kHeight / 2;
    std::vector<std::uint8_t> sheet(w * h * 27);
    for (std::size_t i = 0; i < shots.size(); ++i) {
        for (std::size_t y = 0; y < h; ++y) {
            const std::size_t to = ((i / 3 * h + y) * 3 * w + i % 3 * w) * 3;
            for (std::size_t x = 0; x < w * 3; ++x) sheet[to + x] = shots[i][y * 2 * row + x / 3 * 6 + x % 3];
        }
    }
    const std::string sheetPath = std::string(VELDRIN_SOURCE_DIR) + "/docs/images/contact-sheet.png";
    ASSERT_TRUE(writePng(sheetPath, int(w) * 3, int(h) * 3, sheet));
}

}  // namespace
