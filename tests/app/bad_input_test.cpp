// Bad input of every kind the program can meet, as a user meets it: a clear message and the
// documented exit status, never a crash or a hang. Bad command lines are refused (2) before
// anything starts; a bad environment, a missing display or sound card only cost a line on
// stderr; a quit request at any moment ends the run in order (live 0, an interrupted capture
// 130 with a file that plays, or none).
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <string>
#include <vector>

#include "app/shell.h"
#include "platform/gl.h"
#include "platform/process.h"
#include "tests/app/run_program.h"
#include "tests/support/gl_context.h"

namespace {

std::size_t countLines(const std::string& text, const std::string& containing) {
    std::size_t lines = 0;
    for (std::size_t begin = 0, end = 0; begin < text.size(); begin = end + 1) {
        end = std::min(text.find('\n', begin), text.size());
        if (text.substr(begin, end - begin).find(containing) != std::string::npos) ++lines;
    }
    return lines;
}

std::string joined(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) line += " '" + arg + "'";
    return line;
}

const RunControl kWithinAMinute{0, 0.0, 60.0};

// Every option with a value that is missing, empty, malformed, negative, zero where zero means
// nothing, or absurdly large; and the combinations that mean nothing. The message's first line
// names the option at fault.
TEST(BadInput, EveryBadOptionValueIsAUsageErrorThatNamesIt) {
    TempFolder folder;
    const std::string dir = folder.path() + "/frames";
    const std::vector<std::string> F = {"--frames", dir};
    auto with = [&](std::vector<std::string> args) {
        args.insert(args.begin(), F.begin(), F.end());
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
        EXPECT_FALSE(run.timedOut) << joined(row.args);
        EXPECT_EQ(run.status, 2) << joined(row.args) << "\n" << run.errors;
        EXPECT_EQ(firstLine.rfind("veldrin: ", 0), 0u) << joined(row.args) << "\n" << run.errors;
        EXPECT_NE(firstLine.find(row.named), std::string::npos) << joined(row.args) << "\n" << run.errors;
        EXPECT_NE(run.errors.find("usage:"), std::string::npos) << joined(row.args);
        EXPECT_TRUE(run.output.empty()) << joined(row.args) << " printed: " << run.output;
    }
    EXPECT_TRUE(listFolder(folder.path()).empty()) << "a refused command line writes nothing";
}

TEST(BadInput, AnUnusableViewingGammaCostsOneLineAndTheRunGoesOn) {
    for (const char* value : {"bright", "0", "-2.2", "inf", "nan", "", "1e999", "2.2x"}) {
        TempFolder folder;
        // A tenth of a second, small: quick, and it loads all the textures.
        const ProgramRun run =
            runProgram({"--frames", folder.path(), "--start", "30", "--end", "30.1", "--size", "64x48"},
                       {std::string("VIEWING_GAMMA=") + value}, kWithinAMinute);
        EXPECT_EQ(run.status, 0) << value << "\n" << run.errors;
        EXPECT_EQ(countLines(run.errors, "VIEWING_GAMMA"), 1u) << value << "\n" << run.errors;
        EXPECT_EQ(listFolder(folder.path()).size(), 6u) << value;
    }
}

// Started near the end, a live run finishes by itself a moment later. Without a display it runs
// headless; without a sound card (a driver that does not exist, to SDL) it plays silently and
// says so once.
TEST(BadInput, WithoutADisplayOrASoundCardItStillRuns) {
    const std::vector<std::string> liveEnding = {"--windowed", "--start", "186.9"};
    const ProgramRun headless = runProgram(liveEnding, {"DISPLAY", "WAYLAND_DISPLAY"}, kWithinAMinute);
    EXPECT_EQ(headless.status, 0) << headless.errors;
    EXPECT_EQ(headless.errors.find("Error"), std::string::npos) << headless.errors;
    const ProgramRun silent = runProgram(liveEnding, {"SDL_AUDIODRIVER=no-such-sound-card"}, kWithinAMinute);
    EXPECT_EQ(silent.status, 0) << silent.errors;
    EXPECT_EQ(countLines(silent.errors, "veldrin:"), 1u) << silent.errors;
    EXPECT_EQ(countLines(silent.errors, "silently"), 1u) << silent.errors;
}

// A window squeezed to no height and given its size back: the projection must neither divide
// by zero meanwhile nor stay broken afterwards.
class ZeroHeightWindow : public GlTest {};

TEST_F(ZeroHeightWindow, KeepsAUsableProjectionAndRecovers) {
    auto projection = [] {
        std::vector<float> m(16);
        glGetFloatv(GL_PROJECTION_MATRIX, m.data());
        return m;
    };
    setViewport(800, 600);
    const std::vector<float> normal = projection();
    for (int width : {800, 0}) {
        setViewport(width, 0);
        for (float v : projection()) EXPECT_TRUE(std::isfinite(v)) << width << " x 0";
    }
    setViewport(800, 600);
    EXPECT_EQ(projection(), normal);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// A quit request after the program has taken charge of it: at once (still starting up), while
// the first frame is drawn (what a window closed at once looks like to the loop), early and well
// into the show. Before the program's handler is in place the signal's default action ends the
// process, as it would any program. Ended in order: never by a signal (a crash) nor by the
// deadline (a hang).
RunControl quitAfter(int signal, double delay) { return RunControl{signal, delay, 60.0, true}; }

// A live run ends with 0; a capture with 130 and a finished, playable file of what was done, or
// none when it was stopped before there was anything to keep (but two seconds in there is).
TEST(QuitRequest, InterruptOrTerminateEndsALiveRunOrACaptureInOrderAtAnyMoment) {
    std::string ffmpeg;
    const bool canCapture = findProgram("ffmpeg", ffmpeg);
    for (int signal : {SIGINT, SIGTERM}) {
        for (double delay : {0.0, 0.05, 0.3, 2.0}) {
            SCOPED_TRACE(testing::Message() << "signal " << signal << " after " << delay << " s");
            const ProgramRun live = runProgram({"--windowed"}, {}, quitAfter(signal, delay));
            EXPECT_EQ(live.status, 0) << live.errors;
            if (!canCapture) continue;
            TempFolder folder;
            const std::string path = folder.path() + "/demo.mp4";
            const ProgramRun run = runProgram({"--capture", path, "--size", "160x120"}, {}, quitAfter(signal, delay));
            EXPECT_EQ(run.status, 130) << run.errors;
            const std::vector<std::string> left = listFolder(folder.path());
            if (left.empty() && delay < 1.0) continue;
            EXPECT_NE(run.errors.find("stopped"), std::string::npos) << run.errors;
            EXPECT_EQ(left, std::vector<std::string>{"demo.mp4"}) << "no temporary files left";
            const std::string video = readFile(path);
            EXPECT_EQ(video.find("ftyp"), 4u);
            EXPECT_NE(video.find("moov"), std::string::npos) << "a finished, playable file";
        }
    }
}

// A late start runs thousands of frames before the first one is drawn; a quit request meanwhile
// ends the run there, without drawing or writing anything.
TEST(QuitRequest, EndsARunStillCatchingUpToALateStart) {
    TempFolder folder;
    const ProgramRun capture =
        runProgram({"--frames", folder.path(), "--start", "186", "--end", "187"}, {}, quitAfter(SIGINT, 0.3));
    EXPECT_EQ(capture.status, 130) << capture.errors;
    EXPECT_NE(capture.errors.find("before the first frame"), std::string::npos) << capture.errors;
    EXPECT_TRUE(listFolder(folder.path()).empty());
    const ProgramRun live = runProgram({"--windowed", "--start", "186"}, {}, quitAfter(SIGTERM, 0.3));
    EXPECT_EQ(live.status, 0) << live.errors;
}

}  // namespace
