// The program as a user runs it. Bad input of every kind: a clear message and the documented
// exit status, never a crash or a hang; bad command lines are refused (2) before anything
// starts; a bad environment, a missing display or sound card only cost a line on stderr; a quit
// request at any moment ends the run in order. A live run keeps its frame rate; a capture writes
// the same frames every time, the right way up, and leaves nothing that looks complete when it
// fails.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/gl.h"
#include "tests/app/run_program.h"
#include "tests/support/frame_compare.h"
#include "tests/support/gl_context.h"
#include "tests/support/require.h"

namespace {

std::size_t countLines(const std::string& text, const std::string& containing) {
    std::size_t lines = 0;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines += line.find(containing) != std::string::npos ? 1 : 0;
    return lines;
}

// Asked of the machine, not of the program's own search, which is under test too.
bool haveFfmpeg() { return std::system("command -v ffmpeg >/dev/null 2>&1") == 0; }

const RunControl kWithinAMinute{0, 0.0, 60.0};

// A quit request after the program has taken charge of it (before that the signal's default
// action ends the process, as it would any program).
RunControl quitAfter(int signal, double delay) { return RunControl{signal, delay, 60.0, true}; }

// Every option with a value that is missing, empty, malformed, negative, zero where zero means
// nothing, or absurdly large; and the combinations that mean nothing. The message's first line
// names the option at fault.
TEST(BadInput, EveryBadOptionValueIsAUsageErrorThatNamesIt) {
    TempFolder folder;
    const std::string dir = folder.path() + "/frames";
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--frames", dir});
        return args;
    };
    const struct {
        std::vector<std::string> args;
        const char* named;
    } cases[] = {
        {{"--fps"}, "--fps"}, {{"--fps", ""}, "--fps"}, {{"--fps", "fast"}, "--fps"}, {{"--fps", "-60"}, "--fps"},
        {{"--fps", "1e2"}, "--fps"}, {{"--fps", "1001"}, "--fps"}, {{"--fps", "184467440737095516160"}, "--fps"},
        {{"--fps", "60/0"}, "--fps"}, {{"--fps", "nan"}, "--fps"}, {with({"--fps", "0"}), "--fps"},
        {{"--start"}, "--start"}, {{"--start", "soon"}, "--start"}, {{"--start", "-1"}, "--start"},
        {{"--start", "inf"}, "--start"}, {{"--start", "187.06"}, "--start"}, {with({"--start", "190"}), "--start"},
        {{"--start", "99999999999999999999999999999"}, "--start"}, {with({"--end"}), "--end"},
        {with({"--end", "-5"}), "--end"}, {with({"--end", "0"}), "--end"}, {{"--end", "10"}, "--end"},
        {with({"--start", "30", "--end", "30"}), "--end"}, {with({"--start", "20", "--end", "10"}), "--end"},
        {{"--frames"}, "--frames"}, {{"--frames", ""}, "--frames"}, {{"--capture", ""}, "--capture"},
        {{"--capture", dir + ".mp4", "--frames", dir}, "--capture"}, {with({"--size"}), "--size"},
        {with({"--size", "big"}), "--size"}, {with({"--size", "0x600"}), "--size"}, {with({"--size", "1x1"}), "--size"},
        {with({"--size", "-800x600"}), "--size"}, {with({"--size", "800X600"}), "--size"},
        {with({"--size", "16385x16384"}), "--size"}, {with({"--size", "4294967297x600"}), "--size"},
        {{"--capture", dir + ".mp4", "--size", "801x601"}, "--size"}, {{"--size", "640x480"}, "--size"},
        {{"--windowed", "extra"}, "extra"}, {{"--Windowed"}, "--Windowed"},
    };
    for (const auto& row : cases) {
        const ProgramRun run = runProgram(row.args, {}, kWithinAMinute);
        const std::string firstLine = run.errors.substr(0, run.errors.find('\n'));
        EXPECT_EQ(run.status, 2) << testing::PrintToString(row.args) << "\n" << run.errors;
        EXPECT_EQ(firstLine.rfind("veldrin: ", 0), 0u) << testing::PrintToString(row.args) << "\n" << run.errors;
        EXPECT_NE(firstLine.find(row.named), std::string::npos) << testing::PrintToString(row.args) << "\n" << run.errors;
        EXPECT_NE(run.errors.find("usage:"), std::string::npos) << testing::PrintToString(row.args);
        EXPECT_TRUE(run.output.empty()) << testing::PrintToString(row.args) << " printed: " << run.output;
    }
    EXPECT_TRUE(listFolder(folder.path()).empty()) << "a refused command line writes nothing";
}

// Started near the end, a live run finishes by itself a moment later. Without a display it runs
// headless; without a sound card (a driver that does not exist, to SDL) it plays silently and
// says so once; an unusable viewing gamma costs one line too.
TEST(BadInput, WithoutADisplayOrASoundCardOrWithABadViewingGammaItStillRuns) {
    const std::vector<std::string> liveEnding = {"--windowed", "--start", "186.9"};
    const ProgramRun headless = runProgram(liveEnding, {"DISPLAY", "WAYLAND_DISPLAY"}, kWithinAMinute);
    EXPECT_EQ(headless.status, 0) << headless.errors;
    EXPECT_EQ(headless.errors.find("Error"), std::string::npos) << headless.errors;
    const ProgramRun silent = runProgram(liveEnding, {"SDL_AUDIODRIVER=no-such-sound-card"}, kWithinAMinute);
    EXPECT_EQ(silent.status, 0) << silent.errors;
    EXPECT_EQ(countLines(silent.errors, "veldrin:"), 1u) << silent.errors;
    EXPECT_EQ(countLines(silent.errors, "silently"), 1u) << silent.errors;
    const ProgramRun gamma = runProgram(liveEnding, {"VIEWING_GAMMA=bright"}, kWithinAMinute);
    EXPECT_EQ(gamma.status, 0) << gamma.errors;
    EXPECT_EQ(countLines(gamma.errors, "VIEWING_GAMMA"), 1u) << gamma.errors;
}

// A window squeezed to no height keeps the last usable aspect (no division by zero, no view
// collapsed to a line) and recovers when given its size back.
using ZeroHeightWindow = GlTest;

TEST_F(ZeroHeightWindow, KeepsTheLastProjectionAndRecovers) {
    auto projection = [] {
        std::vector<float> m(16);
        glGetFloatv(GL_PROJECTION_MATRIX, m.data());
        return m;
    };
    setViewport(800, 600);
    const std::vector<float> normal = projection();
    for (int width : {800, 0}) {
        setViewport(width, 0);
        EXPECT_EQ(projection(), normal) << width << " x 0";
    }
    setViewport(400, 600);
    EXPECT_NE(projection(), normal);
}

// At once (still starting up), while the first frame is drawn, early and well into the show. A
// live run ends with 0; a capture with 130 and a finished, playable file of what was done, or
// none when it was stopped before there was anything to keep (but two seconds in there is).
class QuitRequest : public testing::TestWithParam<bool> {};

TEST_P(QuitRequest, InterruptOrTerminateEndsTheRunInOrderAtAnyMoment) {
    const bool capture = GetParam();
    if (capture) REQUIRE_OR_SKIP(haveFfmpeg(), "ffmpeg is not installed");
    for (int signal : {SIGINT, SIGTERM}) {
        for (double delay : {0.0, 0.05, 0.3, 2.0}) {
            SCOPED_TRACE(testing::Message() << "signal " << signal << " after " << delay << " s");
            TempFolder folder;
            const std::string path = folder.path() + "/demo.mp4";
            const std::vector<std::string> capturing = {"--capture", path, "--size", "160x120"}, live = {"--windowed"};
            const ProgramRun run = runProgram(capture ? capturing : live, {}, quitAfter(signal, delay));
            EXPECT_EQ(run.status, capture ? 130 : 0) << run.errors;
            const std::vector<std::string> left = listFolder(folder.path());
            if (!capture || (left.empty() && delay < 1.0)) continue;
            EXPECT_NE(run.errors.find("stopped"), std::string::npos) << run.errors;
            EXPECT_EQ(left, std::vector<std::string>{"demo.mp4"}) << "no temporary files left";
            const std::string video = readFile(path);
            EXPECT_EQ(video.find("ftyp"), 4u);
            EXPECT_NE(video.find("moov"), std::string::npos) << "a finished, playable file";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, QuitRequest, testing::Bool(),
                         [](const auto& p) { return p.param ? "Capture" : "Live"; });

// A late start runs thousands of frames before the first one is drawn; a quit request meanwhile
// ends the run there, without drawing or writing anything. At 1000 frames a second the catching
// up is 186,000 frames, seconds long on any machine (at 60 a fast one is through it in 0.3 s).
TEST(QuitRequestWhileCatchingUp, EndsTheRunWithoutDrawingOrWriting) {
    TempFolder folder;
    const ProgramRun capture = runProgram({"--frames", folder.path(), "--fps", "1000", "--start", "186", "--end", "187"},
                                          {}, quitAfter(SIGINT, 0.3));
    EXPECT_EQ(capture.status, 130) << capture.errors;
    EXPECT_NE(capture.errors.find("before the first frame"), std::string::npos) << capture.errors;
    EXPECT_TRUE(listFolder(folder.path()).empty());
    const ProgramRun live =
        runProgram({"--windowed", "--fps", "1000", "--start", "186"}, {}, quitAfter(SIGTERM, 0.3));
    EXPECT_EQ(live.status, 0) << live.errors;
}

// Headless there is no vsync: the loop paces itself. Started two seconds before the music ends,
// a live run plays them and stops by itself; the music time of every frame (--debug) must advance
// by about one frame interval a frame, from where the start put it however long reaching it took.
// The bounds are loose on purpose: a loaded machine draws fewer frames than asked, later, never
// more or sooner.
class LiveRun : public testing::TestWithParam<const char*> {};

TEST_P(LiveRun, KeepsItsFrameRateFromWhereTheStartPutIt) {
    const std::string fps = GetParam();
    std::vector<std::string> args = {"--windowed", "--debug", "--start", "185"};
    if (!fps.empty()) args.insert(args.end(), {"--fps", fps});
    const double rate = fps.empty() ? 60.0 : std::stod(fps);
    const ProgramRun run = runProgram(args, {}, kWithinAMinute);
    ASSERT_EQ(run.status, 0) << run.errors;
    // One line a frame, catch-up frames included; the live ones are those from 185 s on.
    std::vector<double> live;
    std::istringstream lines(run.errors);
    for (std::string line; std::getline(lines, line);) {
        const double t = line.size() == 8 && line[3] == '.' ? std::atof(line.c_str()) : 0.0;
        if (t >= 185.0) live.push_back(t);
    }
    ASSERT_GE(live.size(), 10u);
    EXPECT_LT(live.front(), 185.1) << "the first live frame";
    const double perSecond = double(live.size() - 1) / (live.back() - live.front());
    EXPECT_GT(perSecond, rate * 0.5);
    EXPECT_LT(perSecond, rate * 1.2);
    // Evenly: most frames one interval apart, not bunched together with pauses between.
    std::vector<double> steps(live.size() - 1);
    for (std::size_t i = 1; i < live.size(); ++i) steps[i - 1] = live[i] - live[i - 1];
    std::nth_element(steps.begin(), steps.begin() + std::ptrdiff_t(steps.size() / 2), steps.end());
    EXPECT_GT(steps[steps.size() / 2], 0.8 / rate) << "the middle frame step";
}

INSTANTIATE_TEST_SUITE_P(Rates, LiveRun, testing::Values("30", ""),
                         [](const auto& p) { return std::string(*p.param != '\0' ? p.param : "Default"); });

TEST(Capture, TwoCapturesOfTheSameSpanGiveIdenticalFrames) {
    TempFolder first;
    TempFolder second;
    // A busy stretch: the knot boxes, thirty bolts and the background, a second of it.
    for (const TempFolder* folder : {&first, &second}) {
        const ProgramRun run =
            runProgram({"--start", "110", "--end", "111", "--size", "200x150", "--frames", folder->path()});
        ASSERT_EQ(run.status, 0) << run.errors;
    }
    const std::vector<std::string> names = listFolder(first.path());
    ASSERT_EQ(names.size(), 60u);
    ASSERT_EQ(names, listFolder(second.path()));
    EXPECT_EQ(names.back(), "frame-000059.png");
    for (const std::string& name : names) {
        EXPECT_EQ(readFile(first.path() + "/" + name), readFile(second.path() + "/" + name)) << name;
    }
}

// At 13 s only the first two cards are up, opaque, on black: card 13 at (300, 270) and card 0 at
// (450, 400) of the 800 x 600 screen, y down, each 200 x 60. In a 400 x 300 frame (rows top
// first) those are where the lit pixels must be, and nowhere else (`lit`: a brighter sum).
void expectTheFirstCardsAt13s(const std::uint8_t* rgb, int lit) {
    int card13 = 0, card0 = 0, elsewhere = 0;
    for (int y = 0; y < 300; ++y) {
        for (int x = 0; x < 400; ++x) {
            const std::uint8_t* p = rgb + std::size_t(y * 400 + x) * 3;
            if (p[0] + p[1] + p[2] <= lit) continue;
            if (x >= 150 && x < 250 && y >= 135 && y < 165) ++card13;
            else if (x >= 225 && x < 325 && y >= 200 && y < 230) ++card0;
            else ++elsewhere;
        }
    }
    EXPECT_GT(card13, 100);
    EXPECT_GT(card0, 100);
    EXPECT_EQ(elsewhere, 0);
}

TEST(Capture, FramesAreWrittenTheRightWayUpWithTheCardsInPlace) {
    TempFolder folder;
    const ProgramRun run =
        runProgram({"--start", "13", "--end", "13.01", "--size", "400x300", "--frames", folder.path()});
    ASSERT_EQ(run.status, 0) << run.errors;
    int width = 0, height = 0;
    const std::vector<std::uint8_t> frame = readPngRgb(folder.path() + "/frame-000000.png", width, height);
    ASSERT_TRUE(width == 400 && height == 300);
    expectTheFirstCardsAt13s(frame.data(), 0);
}

TEST(Capture, AnOutputThatCannotBeWrittenOrEncodedFailsClearlyAndWritesNothing) {
    const ProgramRun frames = runProgram({"--frames", "/proc/veldrin/frames", "--end", "0.1"});
    EXPECT_EQ(frames.status, 1);
    EXPECT_NE(frames.errors.find("/proc/veldrin/frames"), std::string::npos) << frames.errors;

    TempFolder folder;
    const ProgramRun noEncoder =
        runProgram({"--capture", folder.path() + "/demo.mp4", "--end", "0.5"}, {"PATH=/nonexistent"});
    EXPECT_EQ(noEncoder.status, 1);
    EXPECT_NE(noEncoder.errors.find("ffmpeg"), std::string::npos) << noEncoder.errors;
    EXPECT_TRUE(listFolder(folder.path()).empty());

    REQUIRE_OR_SKIP(haveFfmpeg(), "ffmpeg is not installed");
    const ProgramRun video = runProgram({"--capture", "/nonexistent-folder/demo.mp4", "--end", "0.1"});
    EXPECT_EQ(video.status, 1);
    EXPECT_NE(video.errors.find("/nonexistent-folder"), std::string::npos) << video.errors;
}

TEST(Capture, VideoHoldsTheSpanTheRightWayUpWithItsMusicAndNothingElseIsLeft) {
    REQUIRE_OR_SKIP(haveFfmpeg(), "ffmpeg is not installed");
    TempFolder folder;
    const std::string path = folder.path() + "/demo.mp4";
    const ProgramRun run = runProgram({"--capture", path, "--start", "13", "--end", "13.5", "--size", "400x300"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{"demo.mp4"}) << "no temporary files left";
    const std::string video = readFile(path);
    ASSERT_GT(video.size(), 1000u);
    EXPECT_EQ(video.substr(4, 4), "ftyp");
    EXPECT_NE(video.find("avc1"), std::string::npos) << "an H.264 track";
    EXPECT_NE(video.find("mp4a"), std::string::npos) << "an AAC track";
    // The first frame as ffmpeg decodes it; the encoding blurs the edges of the text a little.
    const std::string decode = "ffmpeg -v error -i " + path + " -frames:v 1 -f rawvideo -pix_fmt rgb24 -";
    std::FILE* decoder = popen(decode.c_str(), "r");
    ASSERT_NE(decoder, nullptr);
    std::vector<std::uint8_t> frame(400 * 300 * 3);
    const std::size_t got = std::fread(frame.data(), 1, frame.size(), decoder);
    pclose(decoder);
    ASSERT_EQ(got, frame.size());
    expectTheFirstCardsAt13s(frame.data(), 120);
    // Its sound is the track's from 13 s on; the track's first second is silent.
    std::FILE* sound = popen(("ffmpeg -v error -i " + path + " -f s16le -ac 1 -").c_str(), "r");
    ASSERT_NE(sound, nullptr);
    double sum = 0.0;
    std::size_t samples = 0;
    for (std::int16_t s = 0; std::fread(&s, sizeof s, 1, sound) == 1; ++samples) sum += double(s) * s;
    pclose(sound);
    ASSERT_GT(samples, 10000u);
    EXPECT_GT(std::sqrt(sum / double(samples)), 500.0) << "the music of 13 s is loud, its start is not";
}

}  // namespace
