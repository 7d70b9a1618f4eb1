// The browser build (./web.sh --build-only makes it in build/web/) in the three engines people
// open links in: Chromium (Blink) headless, WebGL drawn by SwiftShader; Firefox ESR (Gecko) and
// WebKitGTK's MiniBrowser (WebKit), each in a window on an X screen of its own, WebGL on Mesa.
// The same checks in each: stills against the reference frames, the front screen, a few seconds
// of the page on its fixed-step clock without a console message or a GL error, the values the
// page computes against the desktop's, and what the page says without WebGL 2. On a phone
// (Chromium's emulation of a 390 x 844 touch screen): a readable front screen, a tap that plays,
// the picture across the width. tests/web/drive_page.cjs drives the browsers.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "assets/embedded.h"
#include "image/png_decode.h"
#include "platform/clock.h"
#include "sound/audio_output.h"
#include "tests/app/run_program.h"
#include "tests/support/frame_compare.h"
#include "tests/support/require.h"
#include "tools/measure/av_session.h"
#include "tools/measure/sound_server.h"

namespace {

const std::string kPage = VELDRIN_WEB_PAGE;
const std::string kDriver = std::string(VELDRIN_SOURCE_DIR) + "/tests/web/drive_page.cjs";
const std::string kDriverModules = std::string(VELDRIN_SOURCE_DIR) + "/build/web-driver/node_modules";

struct Engine {
    const char* name;  // the driver's
    const char* program;
    // How far its stills may stray from the desktop's (tests/support/frame_compare.h).
    FrameTolerance tolerance;
};
void PrintTo(const Engine& engine, std::ostream* out) { *out << engine.name; }
const Engine kChromium{"chromium", "/usr/bin/chromium", kSwiftShader};
const Engine kFirefox{"firefox", "/usr/bin/firefox-esr", kMesaWebGL};
const Engine kWebKit{"webkit", "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser", kMesaWebGL};

// One visit of the page, in the driver's words: query, wait (a JS expression; the page's report
// title when absent), evaluate, tap ("true"), waitAfterTap, afterTap, shot (a path for the
// viewport's PNG), still (a path for the still as the page drew it).
using Visit = std::map<std::string, std::string>;

// What the driver told of a visit, by the first word of its lines: waited, tapped, value,
// afterTap and title once each; report and console a line each.
struct Seen {
    std::map<std::string, std::vector<std::string>> lines;
    std::string operator[](const std::string& word) const {
        const auto found = lines.find(word);
        return found == lines.end() ? "" : found->second.front();
    }
    const std::vector<std::string>& all(const std::string& word) { return lines[word]; }
};

struct PageSession {
    int width = 800;
    int height = 600;
    bool phone = false;
    bool webgl = true;
    bool sound = false;
    std::vector<std::string> environment;  // "NAME=value" entries for the browser
};

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + "\"";
}

// Runs the visits in one browser of that engine; the error line when the driver gave up.
std::string drive(const Engine& engine, const PageSession& session, const std::vector<Visit>& visits,
                  std::vector<Seen>& seen) {
    TempFolder folder;
    const std::string planPath = folder.path() + "/plan.json";
    {
        std::ofstream plan(planPath);
        plan << "{\"engine\":\"" << engine.name << "\",\"page\":" << quoted(kPage) << ",\"width\":" << session.width
             << ",\"height\":" << session.height << ",\"phone\":" << (session.phone ? "true" : "false")
             << ",\"webgl\":" << (session.webgl ? "true" : "false") << ",\"sound\":" << (session.sound ? "true" : "false")
             << ",\"timeout\":400,\"visits\":[";
        for (std::size_t i = 0; i < visits.size(); ++i) {
            const char* comma = "";
            plan << (i > 0 ? ",{" : "{");
            for (const auto& [name, value] : visits[i]) {
                plan << comma << quoted(name) << ":" << (value == "true" ? value : quoted(value));
                comma = ",";
            }
            plan << "}";
        }
        plan << "]}";
    }
    std::string environment;
    for (const std::string& entry : session.environment) environment += "'" + entry + "' ";
    const std::string command = "env " + environment + "NODE_PATH='" + kDriverModules + "' timeout -k 10 420 node '" + kDriver + "' '" +
                                planPath + "' 2>" + folder.path() + "/stderr";
    std::string output;
    if (std::FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[4096];
        std::size_t n = 0;
        while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
        pclose(pipe);
    }
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t space = line.find(' ');
        const std::string word = line.substr(0, space);
        const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
        if (word == "error") return rest;
        if (word == "visit") seen.emplace_back();
        else if (!seen.empty()) seen.back().lines[word].push_back(rest);
    }
    if (seen.size() != visits.size()) return "the driver ended early: " + readFile(folder.path() + "/stderr").substr(0, 2000);
    return "";
}

std::vector<std::string> split(const std::string& text, char by) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, by);) parts.push_back(part);
    return parts;
}

// A PNG as packed RGB rows; empty when it is not that size.
std::vector<std::uint8_t> readRgb(const std::string& path, int width, int height) {
    int w = 0, h = 0;
    std::vector<std::uint8_t> rgb = readPngRgb(path, w, h);
    return w == width && h == height ? rgb : std::vector<std::uint8_t>{};
}

// The console messages that are faults, without what the engines say of themselves: Chromium's
// note that a pixel read waited for the GPU (each timed frame reads one pixel to wait for
// exactly that).
std::vector<std::string> faults(const std::vector<std::string>& console) {
    std::vector<std::string> lines;
    for (const std::string& line : console) {
        if (line.find("GPU stall due to ReadPixels") == std::string::npos) lines.push_back(line);
    }
    return lines;
}

std::string line(const std::vector<std::string>& report, const std::string& key) {
    const auto found = std::find_if(report.begin(), report.end(),
                                    [&](const std::string& l) { return l.rfind(key + " ", 0) == 0; });
    return found == report.end() ? "" : found->substr(key.size() + 1);
}

const char* const kFrontDrawn = "document.getElementById('cover').dataset.still === 'drawn'";

bool installed(const Engine& engine) {
    return access(engine.program, X_OK) == 0 &&
           (std::strcmp(engine.name, "chromium") == 0 || access("/usr/bin/Xvfb", X_OK) == 0);
}

void requirePageAndDriver() {
    REQUIRE_OR_SKIP(access((kPage + "/index.html").c_str(), R_OK) == 0, "no browser build: ./web.sh --build-only makes it");
    REQUIRE_OR_SKIP(access((kDriverModules + "/puppeteer-core").c_str(), R_OK) == 0 &&
                        std::system("node --version >/dev/null 2>&1") == 0,
                    "no page driver: tools/page-driver.sh installs node's puppeteer-core and selenium-webdriver");
}

class WebPage : public testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        requirePageAndDriver();
        REQUIRE_OR_SKIP(installed(GetParam()), std::string(GetParam().program) + " (or Xvfb) is not installed");
    }
    const Engine& engine() const { return GetParam(); }
};

TEST_P(WebPage, StillsMatchTheReferenceFrames) {
    TempFolder folder;
    const std::array<int, 3> seconds = {65, 110, 145};
    std::vector<Visit> visits;
    for (const int second : seconds) {
        int width = 0;
        int height = 0;
        ASSERT_FALSE(readReferenceFrame(second, width, height).empty());
        Visit v;
        v["query"] = "still=" + std::to_string(second) + "&size=" + std::to_string(width) + "x" + std::to_string(height);
        v["still"] = folder.path() + "/" + std::to_string(second) + ".png";
        visits.push_back(v);
    }
    std::vector<Seen> seen;
    ASSERT_EQ(drive(engine(), {}, visits, seen), "");
    for (std::size_t i = 0; i < seconds.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "at " << seconds[i] << " s");
        EXPECT_EQ(seen[i]["title"], "veldrin still ready");
        int width = 0;
        int height = 0;
        const std::vector<std::uint8_t> reference = readReferenceFrame(seconds[i], width, height);
        const std::vector<std::uint8_t> rgb = readRgb(visits[i]["still"], width, height);
        ASSERT_EQ(rgb.size(), reference.size());
        const FrameDifference difference = compareFrames(rgb, reference, engine().tolerance);
        EXPECT_TRUE(difference.within()) << difference.beyond << " of " << difference.channels
                                         << " channels differ by more than " << engine().tolerance.levels
                                         << " levels (by up to " << difference.largest << ")";
    }
}

// Without parameters the page opens on its front screen: the title, the prompt and the keys on
// a panel over a still of the show that the page drew itself (80 s when no start is given), not
// on a black canvas.
TEST_P(WebPage, FrontScreenShowsTheTitleOverAStillOfTheShow) {
    TempFolder folder;
    Visit front;
    front["wait"] = kFrontDrawn;
    front["evaluate"] =
        "[document.getElementById('cover').hidden, document.getElementById('heading').textContent,"
        " document.getElementById('message').textContent].join('|')";
    front["shot"] = folder.path() + "/front.png";
    Visit still;
    still["query"] = "still=80";
    still["shot"] = folder.path() + "/still.png";
    std::vector<Seen> seen;
    ASSERT_EQ(drive(engine(), {}, {front, still}, seen), "");
    EXPECT_EQ(seen[0]["title"], "veldrin | korrimeet 2006");
    EXPECT_EQ(seen[0]["waited"], "1") << "the front screen's still was not drawn";
    EXPECT_EQ(seen[0]["value"], "false|veldrin | korrimeet 2006|click to play");
    EXPECT_EQ(faults(seen[0].all("console")), std::vector<std::string>{});

    const std::vector<std::uint8_t> shot = readRgb(front["shot"], 800, 600);
    const std::vector<std::uint8_t> drawn = readRgb(still["shot"], 800, 600);
    ASSERT_EQ(shot.size(), std::size_t(800 * 600 * 3));
    ASSERT_EQ(drawn.size(), shot.size());
    // Above the panel the picture is the still's, byte for byte.
    const long abovePanel = 800 * 200 * 3;
    EXPECT_TRUE(std::equal(shot.begin(), shot.begin() + abovePanel, drawn.begin()));
    EXPECT_GT(std::count_if(drawn.begin(), drawn.begin() + abovePanel, [](std::uint8_t v) { return v > 40; }),
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

TEST_P(WebPage, RunsOnItsFixedStepClockWithoutErrors) {
    // Five seconds from the knot's entrance: clouds, cards, the knot track and its sparkles.
    Visit run;
    run["query"] = "frames=300&start=57";
    std::vector<Seen> seen;
    ASSERT_EQ(drive(engine(), {}, {run}, seen), "");
    const std::vector<std::string>& report = seen[0].all("report");
    EXPECT_EQ(seen[0]["title"], "veldrin frames done");
    EXPECT_EQ(line(report, "frames"), "300");
    EXPECT_EQ(line(report, "glErrors"), "0");
    EXPECT_EQ(faults(seen[0].all("console")), std::vector<std::string>{});
    // The load's stages are reported, in the order they happen.
    double previous = 0.0;
    for (const char* mark : {"downloadedAt", "compiledAt", "mainAt", "contextAt", "readyAt", "drawnAt", "firstFrameAt"}) {
        const std::string at = line(report, mark);
        ASSERT_FALSE(at.empty()) << mark;
        EXPECT_GE(std::atof(at.c_str()), previous) << mark;
        previous = std::atof(at.c_str());
    }
}

// Every texel the page uploads is the desktop's, bit for bit. The spectrum cannot be: the
// desktop's libmpg123 decodes with its hand-written x86-64 (SSE) synthesis and Debian's KissFFT
// is built with GCC's -ffast-math, neither of which WebAssembly can repeat, so the decoded samples
// differ by up to 2e-6 and the magnitudes in their last bits. What is checked is that they
// differ by no more than that: 1e-7 plus 1e-5 of the value, where the same track one
// millisecond later differs by a hundred times as much.
TEST_P(WebPage, ComputesTheDesktopsSpectrumAndTexels) {
    const std::vector<std::uint32_t> times = {10000, 30500, 65000, 110000, 150250, 186000};
    Visit values;
    values["query"] = "values=";
    for (std::uint32_t ms : times) values["query"] += std::to_string(ms) + ",";
    std::vector<Seen> seen;
    ASSERT_EQ(drive(engine(), {}, {values}, seen), "");
    ASSERT_EQ(seen[0]["title"], "veldrin values ready");
    const std::vector<std::string>& lines = seen[0].all("report");
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

// A browser without WebGL 2 (switched off, or too old) is told so on the front screen rather
// than offered a show that cannot draw.
TEST_P(WebPage, SaysSoWithoutWebGL2) {
    Visit front;
    front["wait"] = "document.getElementById('message').textContent !== 'loading'";
    front["evaluate"] = "[document.getElementById('cover').hidden, document.getElementById('message').textContent].join('|')";
    PageSession withoutWebGL;
    withoutWebGL.webgl = false;
    std::vector<Seen> seen;
    ASSERT_EQ(drive(engine(), withoutWebGL, {front}, seen), "");
    EXPECT_EQ(seen[0]["waited"], "1");
    EXPECT_EQ(seen[0]["value"], "false|this browser offers no WebGL 2, which the show draws with");
}

// The show played as a viewer plays it, with sound, into a private sound server: its music time
// (?debug, a console line a frame) keeps to the clock of the wall, and the music is heard. An
// engine whose audio clock the page misreads holds the show at its first frames.
TEST_P(WebPage, PlaysWithSoundAndKeepsTheMusicsTime) {
    REQUIRE_OR_SKIP(SoundServer::installed(), "no pulseaudio (tools/install-deps.sh test installs it)");
    SoundServer server;
    ASSERT_TRUE(server.running()) << server.failure();
    MonitorRecorder recorder(server);
    ASSERT_EQ(recorder.failure(), "");
    Visit play;
    play["query"] = "start=60&debug";
    play["wait"] = kFrontDrawn;
    play["tap"] = "true";
    play["waitAfterTap"] = "window.veldrinFirstFrameMs > 0 && performance.now() - window.veldrinFirstFrameMs > 4000";
    play["afterTap"] = "performance.now() - window.veldrinFirstFrameMs";
    PageSession session;
    session.sound = true;
    session.environment = server.clientEnvironment();
    std::vector<Seen> seen;
    ASSERT_EQ(drive(engine(), session, {play}, seen), "");
    const Recording heard = recorder.finish();
    ASSERT_EQ(seen[0]["tapped"], "1") << "the show did not start";
    std::vector<double> shown;
    for (const std::string& message : seen[0].all("console")) {
        const std::size_t last = message.find_last_of(' ');
        char* end = nullptr;
        const double t = std::strtod(message.c_str() + last + 1, &end);
        // The catch-up to the start prints its steps too.
        if (last != std::string::npos && *end == '\0' && end != message.c_str() + last + 1 && t >= 60.0) shown.push_back(t);
    }
    ASSERT_GE(shown.size(), 2u) << "no frame lines on the console";
    EXPECT_NEAR(shown.front(), 60.0, 0.1);
    // From the first frame line to the last, against the page's own time since the first frame
    // was shown: the first frame (its programs compiled) may take half a second to show, and on
    // a busy machine the last line may come a second before the time is read. A clock that is
    // held still or runs at half speed falls far outside.
    const double wall = std::atof(seen[0]["afterTap"].c_str()) / 1000.0;
    EXPECT_GT(shown.back() - shown.front(), 0.6 * wall) << "the music time fell behind the wall's";
    EXPECT_LT(shown.back() - shown.front(), 1.2 * wall + 0.5) << "the music time ran ahead of the wall's";
    // Heard: half-second windows of the monitor that carry the music (it plays loud at 60 s).
    const std::size_t window = std::size_t(kSampleRate) / 2 * 2;
    int sounding = 0;
    for (std::size_t at = 0; at + window <= heard.samples.size(); at += window) {
        double power = 0.0;
        for (std::size_t i = at; i < at + window; ++i) power += double(heard.samples[i]) * heard.samples[i];
        sounding += std::sqrt(power / double(window)) > 0.03 ? 1 : 0;
    }
    EXPECT_GE(sounding, 6) << "under three seconds of the music were heard";
}

INSTANTIATE_TEST_SUITE_P(Engines, WebPage, testing::Values(kChromium, kFirefox, kWebKit),
                         [](const testing::TestParamInfo<Engine>& param) { return std::string(param.param.name); });

// A phone held upright, as Chromium emulates one: 390 x 844 CSS pixels at three device pixels
// each, touch. The front screen fits and speaks of taps, a tap plays (and asks for the whole
// screen), the picture spans the width at 4:3, and nothing scrolls or zooms.
TEST(WebPageOnAPhone, ATapPlaysThePictureAcrossTheWidth) {
    requirePageAndDriver();
    REQUIRE_OR_SKIP(installed(kChromium), "Chromium is not installed");
    const char* const geometry =
        "(() => { const r = (id) => document.getElementById(id).getBoundingClientRect();"
        " const e = document.scrollingElement;"
        " return [innerWidth, innerHeight, e.scrollWidth, e.scrollHeight, r('canvas').width, r('canvas').height,"
        " r('panel').left >= 0 && r('panel').right <= innerWidth,"
        " getComputedStyle(document.getElementById('keys')).fontSize, document.getElementById('keys').innerText,"
        " getComputedStyle(document.getElementById('stage')).touchAction].join('|'); })()";
    Visit front;
    front["wait"] = kFrontDrawn;
    front["evaluate"] = geometry;
    front["tap"] = "true";
    front["waitAfterTap"] = "window.veldrinFirstFrameMs > 0";
    front["afterTap"] =
        "[document.getElementById('cover').hidden, visualViewport.scale, scrollX, scrollY,"
        " document.fullscreenElement ? document.fullscreenElement.id : 'none'].join('|')";
    PageSession phone;
    phone.phone = true;
    std::vector<Seen> seen;
    ASSERT_EQ(drive(kChromium, phone, {front}, seen), "");
    EXPECT_EQ(seen[0]["waited"], "1");
    const std::vector<std::string> before = split(seen[0]["value"], '|');
    ASSERT_EQ(before.size(), 10u) << seen[0]["value"];
    EXPECT_EQ(before[0] + "x" + before[1], "390x844");
    EXPECT_EQ(before[2] + "x" + before[3], "390x844") << "the page scrolls";
    EXPECT_EQ(before[4] + "x" + before[5], "390x292.5") << "the picture does not span the width at 4:3";
    EXPECT_EQ(before[6], "true") << "the panel is wider than the screen";
    EXPECT_GE(std::atof(before[7].c_str()), 14.0) << "the keys' text is too small to read on a phone";
    EXPECT_EQ(before[8], "3:07 with sound") << "the keys of a keyboard are named on a touch screen";
    EXPECT_EQ(before[9], "none") << "a finger could pan or zoom the page";
    EXPECT_EQ(seen[0]["tapped"], "1") << "the tap did not start the show";
    EXPECT_EQ(seen[0]["afterTap"], "true|1|0|0|stage");
}

// Where a link to the page is posted, the preview shows the show: its title, a line of
// description and the poster, which must be there and be a picture of the show's size.
TEST(WebPageLink, PreviewsTheShowWithItsPoster) {
    requirePageAndDriver();
    REQUIRE_OR_SKIP(installed(kChromium), "Chromium is not installed");
    Visit front;
    front["wait"] = kFrontDrawn;
    front["evaluate"] =
        "(async () => { const m = (key) => (document.querySelector(`meta[property='${key}'], meta[name='${key}']`)"
        " || {}).content; const poster = new Image(); poster.src = m('og:image');"
        " const size = await poster.decode().then(() => poster.naturalWidth + 'x' + poster.naturalHeight, () => 'none');"
        " return [m('og:title'), m('og:description') ? 'described' : 'undescribed', m('og:url'), m('og:image'), size,"
        " m('twitter:card'), m('twitter:image')].join('|'); })()";
    std::vector<Seen> seen;
    ASSERT_EQ(drive(kChromium, {}, {front}, seen), "");
    EXPECT_EQ(seen[0]["value"], "veldrin | korrimeet 2006|described|./|./poster.png|800x600|summary_large_image|./poster.png");
}

}  // namespace
