// Reference frames: a few moments of a 60-fps run, rendered headless and compared
// with the pictures committed in tests/reference/, exactly: llvmpipe draws them to the bit on
// every path it has here, and anything looser lets a slightly wrong colour or a small part
// turning the wrong way pass. On a mismatch the actual picture and a difference picture are
// written next to the reference. Most are drawn at 400 × 300, where every texture is minified;
// one at the show's own 800 × 600, where the background is magnified, so that the filter the
// images are magnified with is seen too.
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
#include "app/show_run.h"
#include "image/png_write.h"
#include "tests/support/frame_compare.h"
#include "tests/support/require.h"

namespace {

struct Moment {
    int second;
    int width;
    int height;
};
constexpr Moment kMoments[] = {{10, 400, 300}, {20, 400, 300},  {50, 400, 300},  {65, 400, 300}, {80, 400, 300},
                               {110, 800, 600}, {145, 400, 300}, {155, 400, 300}, {170, 400, 300}};

bool writePng(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    PngWriteOptions options;
    options.compressionLevel = 9;
    const bool ok = file != nullptr && writePngFile(file, width, height, 3, rgb.data(), options);
    return file != nullptr && std::fclose(file) == 0 && ok;
}

// The shell's own start-up, as a capture makes it: a hidden context, a framebuffer of the
// frames' size, the real track through the offline output on a 60-fps clock.
TEST(ReferenceFrames, MomentsOfTheShowLookAsCommitted) {
    ShowRunDesc desc;
    desc.surface = RunSurface::Offscreen;
    desc.timing = RunTiming::FixedStep;
    desc.audio = AudioMode::Offline;
    ShowRun run;
    REQUIRE_OR_SKIP(run.start(desc), "no OpenGL context available");
    FixedStepClock& clock = run.steps();
    OffscreenTarget target;

    const bool update = std::getenv("VELDRIN_UPDATE_REFERENCES") != nullptr;
    std::vector<std::vector<std::uint8_t>> shots;
    for (const Moment& moment : kMoments) {
        const int second = moment.second;
        SCOPED_TRACE(testing::Message() << "at " << second << " s");
        if (target.width() != moment.width || target.height() != moment.height) {
            std::string error;
            ASSERT_TRUE(target.create(moment.width, moment.height, error)) << error;
            setViewport(moment.width, moment.height);
        }
        // Every frame before the moment is updated, as in a run; the moment itself is drawn.
        ASSERT_TRUE(catchUp(second, clock));
        ASSERT_EQ(drawFrame(), 1);
        const std::size_t row = std::size_t(moment.width) * 3;
        std::vector<std::uint8_t> bottomUp(target.frameBytes());
        target.read(bottomUp.data());
        clock.advance();
        std::vector<std::uint8_t> frame(bottomUp.size());
        for (std::size_t y = 0; y < std::size_t(moment.height); ++y) {
            std::copy_n(&bottomUp[(std::size_t(moment.height) - 1 - y) * row], row, &frame[y * row]);
        }
        if (update) {
            ASSERT_TRUE(writePng(referenceFramePath(second), moment.width, moment.height, frame));
            shots.push_back(frame);
            continue;
        }
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> reference = readReferenceFrame(second, width, height);
        ASSERT_TRUE(width == moment.width && height == moment.height);
        const FrameDifference difference = compareFrames(frame, reference, kLlvmpipe);
        if (!difference.within()) {
            writePng(referenceFramePath(second, "-actual"), moment.width, moment.height, frame);
            writePng(referenceFramePath(second, "-difference"), moment.width, moment.height, difference.picture);
        }
        EXPECT_TRUE(difference.within()) << difference.beyond << " channels differ (by up to " << difference.largest
                                         << " levels); see " << referenceFramePath(second, "-actual");
    }
    target.destroy();
    run.stop();
    if (!update) return;

    // The contact sheet for the README: three rows of three, each moment at 200 × 150.
    const std::size_t w = 200, h = 150;
    std::vector<std::uint8_t> sheet(w * h * 27);
    for (std::size_t i = 0; i < shots.size(); ++i) {
        const std::size_t step = std::size_t(kMoments[i].width) / w;
        const std::size_t row = std::size_t(kMoments[i].width) * 3;
        for (std::size_t y = 0; y < h; ++y) {
            const std::size_t to = ((i / 3 * h + y) * 3 * w + i % 3 * w) * 3;
            for (std::size_t x = 0; x < w * 3; ++x) sheet[to + x] = shots[i][y * step * row + x / 3 * step * 3 + x % 3];
        }
    }
    const std::string sheetPath = std::string(VELDRIN_SOURCE_DIR) + "/docs/images/contact-sheet.png";
    ASSERT_TRUE(writePng(sheetPath, int(w) * 3, int(h) * 3, sheet));
}

}  // namespace
