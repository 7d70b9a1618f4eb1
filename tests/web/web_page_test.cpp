// The browser build (./web.sh --build-only makes it in build/web/) in Debian's headless Chromium,
// with WebGL drawn in software by SwiftShader: stills against the reference frames, a few
// seconds of the page on its fixed-step clock without a console message or a GL error, and the
// values the page computes against the desktop's. Without the page or Chromium they skip.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "assets/embedded.h"
#include "sound/audio_output.h"
#include "platform/clock.h"
#include "image/png_decode.h"
#include "tests/app/run_program.h"
#include "tests/support/frame_compare.h"
#include "tests/support/require.h"

namespace {

const std::string kPage = std::string(VELDRIN_WEB_PAGE) + "/index.html";

std::string chromium() {
    for (const char* path : {"/usr/bin/chromium", "/usr/bin/chromium-browser"}) {
        if (access(path, X_OK) == 0) return path;
    }
    return "";
}

struct PageRun {
    std::string dom;  // --dump-dom
    std::string log;  // Chromium's stderr, the page's console messages among it
};

// Loads the page with the query in a fresh profile, under virtual time (the page's own clocks
// step with the frames, so nothing here depends on the machine's speed).
PageRun openPage(const std::string& query, const std::string& output, int width = 800, int height = 600) {
    TempFolder profile;
    const std::string logPath = profile.path() + "/log";
    const std::string command =
        "timeout 180 " + chromium() +
        " --headless --no-sandbox --use-angle=swiftshader --enable-unsafe-swiftshader"
        " --disable-background-networking --disable-component-update --disable-sync --no-first-run"
        " --allow-file-access-from-files --enable-logging=stderr --v=0 --virtual-time-budget=60000"
        " --user-data-dir=" + profile.path() + "/profile --window-size=" + std::to_string(width) + "," +
        std::to_string(height) + " " + output + " 'file://" + kPage + "?" + query + "' 2>" + logPath;
    PageRun run;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.dom.append(buffer, n);
        pclose(pipe);
    }
    run.log = readFile(logPath);
    return run;
}

// The page's picture as RGB, made with the query at that window size; empty when there is none.
std::vector<std::uint8_t> screenshot(const std::string& query, int width, int height) {
    TempFolder shot;
    const std::string path = shot.path() + "/shot.png";
    openPage(query, "--screenshot=" + path, width, height);
    const std::string bytes = readFile(path);
    PngImage image;
    std::vector<std::uint8_t> rgb;
    if (!decodePng(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), image) ||
        image.width != width || image.height != height)
        return rgb;
    for (std::size_t i = 0; i < image.pixels.size(); i += std::size_t(image.channels))
        rgb.insert(rgb.end(), &image.pixels[i], &image.pixels[i] + 3);
    return rgb;
}

// The lines of the page's report block.
std::vector<std::string> reportLines(const std::string& dom) {
    const std::string open = "<pre id=\"report\">";
    const std::size_t from = dom.find(open);
    const std::size_t to = dom.find("</pre>", from);
    std::vector<std::string> lines;
    if (from == std::string::npos || to == std::string::npos) return lines;
    std::istringstream text(dom.substr(from + open.size(), to - from - open.size()));
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
}

std::string title(const std::string& dom) {
    const std::size_t from = dom.find("<title>");
    const std::size_t to = dom.find("</title>", from);
    return from == std::string::npos || to == std::string::npos ? "" : dom.substr(from + 7, to - from - 7);
}

// Console messages (errors, warnings, WebGL's complaints, uncaught exceptions) as Chromium logs
// them, but for its note that a pixel read waited for the GPU: each timed frame reads one pixel
// to wait for exactly that.
std::vector<std::string> consoleLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream text(log);
    for (std::string line; std::getline(text, line);) {
        if (line.find(":CONSOLE") != std::string::npos && line.find("GPU stall due to ReadPixels") == std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

class WebPage : public testing::Test {
protected:
    void SetUp() override {
        REQUIRE_OR_SKIP(access(kPage.c_str(), R_OK) == 0, "no browser build: ./web.sh --build-only makes it");
        REQUIRE_OR_SKIP(!chromium().empty(), "Chromium is not installed");
    }
};

TEST_F(WebPage, StillsMatchTheReferenceFrames) {
    for (const int second : {65, 110, 145}) {
        SCOPED_TRACE(testing::Message() << "at " << second << " s");
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> reference = readReferenceFrame(second, width, height);
        ASSERT_FALSE(reference.empty());
        const std::vector<std::uint8_t> rgb =
            screenshot("still=" + std::to_string(second) + "&size=" + std::to_string(width) + "x" +
                           std::to_string(height),
                       width, height);
        ASSERT_EQ(rgb.size(), reference.size());
        const FrameDifference difference = compareFrames(rgb, reference, kSwiftShader);
        EXPECT_TRUE(difference.within()) << difference.beyond << " of " << difference.channels
                                         << " channels differ by more than " << kSwiftShader.levels
                                         << " levels (by up to " << difference.largest << ")";
    }
}

// Without parameters the page opens on its front screen: the title, the prompt and the keys on
// a panel over a still of the show that the page drew itself (80 s when no start is given), not
// on a black canvas.
TEST_F(WebPage, FrontScreenShowsTheTitleOverAStillOfTheShow) {
    const PageRun front = openPage("", "--dump-dom");
    EXPECT_EQ(title(front.dom), "veldrin | korrimeet 2006");
    EXPECT_NE(front.dom.find("<div id=\"cover\"><div id=\"panel\">"), std::string::npos) << "the cover is hidden";
    EXPECT_NE(front.dom.find(">veldrin | korrimeet 2006</h1>"), std::string::npos);
    EXPECT_NE(front.dom.find(">click to play</div>"), std::string::npos);
    EXPECT_EQ(consoleLines(front.log), std::vector<std::string>{});

    const std::vector<std::uint8_t> shot = screenshot("", 800, 600);
    const std::vector<std::uint8_t> still = screenshot("still=80", 800, 600);
    ASSERT_EQ(shot.size(), std::size_t(800 * 600 * 3));
    ASSERT_EQ(still.size(), shot.size());
    // Above the panel the picture is the still's, byte for byte.
    const long abovePanel = 800 * 200 * 3;
    EXPECT_TRUE(std::equal(shot.begin(), shot.begin() + abovePanel, still.begin()));
    EXPECT_GT(std::count_if(still.begin(), still.begin() + abovePanel, [](std::uint8_t v) { return v > 40; }),
              abovePanel / 20)
        << "the still itself is dark";
    // The panel darkens the still to less than a third, so light grey there is the title's text.
    int lightOnThePanel = 0;
    for (int y = 235; y < 280; ++y) {
        for (int x = 220; x < 580; ++x) {
            const std::uint8_t* p = &shot[std::size_t(y * 800 + x) * 3];
            lightOnThePanel += p[0] > 150 && p[1] > 150 && p[2] > 150 ? 1 : 0;
        }
    }
    EXPECT_GT(lightOnThePanel, 200);
}

TEST_F(WebPage, RunsOnItsFixedStepClockWithoutErrors) {
    // Five seconds from the knot's entrance: clouds, cards, the knot track and its sparkles.
    const PageRun run = openPage("frames=300&start=57", "--dump-dom");
    EXPECT_EQ(title(run.dom), "veldrin frames done");
    const std::vector<std::string> report = reportLines(run.dom);
    EXPECT_NE(std::find(report.begin(), report.end(), "frames 300"), report.end());
    EXPECT_NE(std::find(report.begin(), report.end(), "glErrors 0"), report.end());
    EXPECT_EQ(consoleLines(run.log), std::vector<std::string>{});
    // The load's stages are reported, in the order they happen.
    double previous = 0.0;
    for (const char* mark : {"downloadedAt", "compiledAt", "mainAt", "contextAt", "readyAt", "drawnAt", "firstFrameAt"}) {
        const auto line = std::find_if(report.begin(), report.end(),
                                       [&](const std::string& l) { return l.rfind(std::string(mark) + " ", 0) == 0; });
        ASSERT_NE(line, report.end()) << mark;
        const double at = std::atof(line->c_str() + std::strlen(mark) + 1);
        EXPECT_GE(at, previous) << mark;
        previous = at;
    }
}

// Every texel the page uploads is the desktop's, bit for bit. The spectrum cannot be: the
// desktop's libmpg123 decodes with its hand-written x86-64 (SSE) synthesis and Debian's KissFFT
// is built with GCC's -ffast-math, neither of which WebAssembly can repeat, so the decoded samples
// differ by up to 2e-6 and the magnitudes in their last bits. What is checked is that they
// differ by no more than that: 1e-7 plus 1e-5 of the value, where the same track one
// millisecond later differs by a hundred times as much.
TEST_F(WebPage, ComputesTheDesktopsSpectrumAndTexels) {
    const std::vector<std::uint32_t> times = {10000, 30500, 65000, 110000, 150250, 186000};
    std::string query = "values=";
    for (std::uint32_t ms : times) query += std::to_string(ms) + ",";
    const PageRun run = openPage(query, "--dump-dom");
    ASSERT_EQ(title(run.dom), "veldrin values ready");
    const std::vector<std::string> lines = reportLines(run.dom);
    ASSERT_EQ(lines.size(), times.size() + 5);

    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    FixedStepClock clock(1000);
    std::unique_ptr<AudioOutput> output = createAudioOutput(AudioMode::Offline, clock);
    ASSERT_TRUE(output->init(kSampleRate) == 1 && output->createStream(track->data, track->size) == 1);
    output->play();
    for (std::size_t t = 0; t < times.size(); ++t) {
        SCOPED_TRACE(testing::Message() << "at " << times[t] << " ms");
        clock.setFrame(times[t]);
        float desktop[kSpectrumBins];
        output->spectrum(desktop);
        std::istringstream page(lines[t]);
        std::string word;
        std::uint32_t ms = 0;
        page >> word >> ms;
        ASSERT_EQ(ms, times[t]);
        int outside = 0;
        for (float expected : desktop) {
            std::string hex;
            page >> hex;
            const std::uint32_t bits = std::uint32_t(std::stoul(hex, nullptr, 16));
            float actual = 0.0f;
            std::memcpy(&actual, &bits, sizeof actual);
            outside += std::fabs(double(actual) - expected) <= 1e-7 + 1e-5 * std::fabs(double(expected)) ? 0 : 1;
        }
        EXPECT_EQ(outside, 0);
    }
    for (std::size_t i = 0; i < 5; ++i) {
        const char* key = std::array<const char*, 5>{"bg01", "cloud", "laser", "veldrin", "greeting"}[i];
        const EmbeddedAsset* asset = findEmbeddedAsset((std::string(key) + ".png").c_str());
        PngImage image;
        ASSERT_TRUE(decodePngForTexture(asset->data, asset->size, screenGamma(), kPngMaxSide, image));
        std::uint64_t hash = 1469598103934665603ull;
        for (std::uint8_t b : image.pixels) hash = (hash ^ b) * 1099511628211ull;
        char row[96];
        std::snprintf(row, sizeof row, "image %s %dx%dx%d %016" PRIx64, key, image.width, image.height,
                      image.channels, hash);
        EXPECT_EQ(lines[times.size() + i], row);
    }
}

}  // namespace
