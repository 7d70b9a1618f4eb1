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
#include "gfx/gl.h"
#include "platform/process.h"
#include "tests/app/run_program.h"
#include "tests/support/gl_context.h"

namespace {

std::size_t countLines(const std::string& text, const std::string& containing) {
    std::size_t lines = 0;
    for (std::size_t begin = 0; begin < text.size();) {
        std::size_t end = text.find('\n', begin);
        if (end == std::string::npos) end = text.size();
        if (text.substr(begin, end - begin).find(containing) != std::string::npos) ++lines;
        begin = end + 1;
    }
    return lines;
}

std::string firstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string joined(const std::vector<std::string>& args) {
    std::string line;
    for (const std::string& arg : args) line += (line.empty() ? "'" : " '") + arg + "'";
    return line;
}

// Every option with a value that is missing, empty, malformed, negative, zero where zero means
// nothing, or absurdly large; and the combinations that mean nothing.
TEST(BadInput, EveryBadOptionValueIsAUsageErrorThatNamesIt) {
    TempFolder folder;
    const std::string dir = folder.path() + "/frames";
    const struct {
        std::vector<std::string> args;
        const char* named;  // what the message must mention
    } cases[] = {
        {{"--fps"}, "--fps"},
        {{"--fps", ""}, "--fps"},
        {{"--fps", "fast"}, "--fps"},
        {{"--fps", "-60"}, "--fps"},
        {{"--fps", "1e2"}, "--fps"},
        {{"--fps", "1001"}, "--fps"},
        {{"--fps", "184467440737095516160"}, "--fps"},
        {{"--fps", "60/0"}, "--fps"},
        {{"--fps", "nan"}, "--fps"},
        {{"--start"}, "--start"},
        {{"--start", ""}, "--start"},
        {{"--start", "soon"}, "--start"},
        {{"--start", "-1"}, "--start"},
        {{"--start", "inf"}, "--start"},
        {{"--start", "1e3"}, "--start"},
        {{"--start", "10001"}, "--start"},
        {{"--start", "187.06"}, "--start"},
        {{"--start", "99999999999999999999999999999"}, "--start"},
        {{"--frames", dir, "--end"}, "--end"},
        {{"--frames", dir, "--end", "-5"}, "--end"},
        {{"--frames", dir, "--end", "0"}, "--end"},
        {{"--frames", dir, "--start", "30", "--end", "30"}, "--end"},
        {{"--end", "10"}, "--end"},
        {{"--frames"}, "--frames"},
        {{"--frames", ""}, "--frames"},
        {{"--capture"}, "--capture"},
        {{"--capture", ""}, "--capture"},
        {{"--capture", dir + ".mp4", "--frames", dir}, "--capture"},
        {{"--frames", dir, "--size"}, "--size"},
        {{"--frames", dir, "--size", "big"}, "--size"},
        {{"--frames", dir, "--size", "0x0"}, "--size"},
        {{"--frames", dir, "--size", "1x1"}, "--size"},
        {{"--frames", dir, "--size", "-800x600"}, "--size"},
        {{"--frames", dir, "--size", "800x-600"}, "--size"},
        {{"--frames", dir, "--size", "800X600"}, "--size"},
        {{"--frames", dir, "--size", "16385x16384"}, "--size"},
        {{"--frames", dir, "--size", "4294967297x600"}, "--size"},
        {{"--capture", dir + ".mp4", "--size", "801x601"}, "--size"},
        {{"--size", "640x480"}, "--size"},
        {{"--frames", dir, "--fps", "0"}, "--fps"},
        {{"--windowed", "extra"}, "extra"},
        {{"--Windowed"}, "--Windowed"},
    };
    for (const auto& row : cases) {
        const ProgramRun run = runProgram(row.args, {}, RunControl{0, 0.0, 60.0});
        EXPECT_FALSE(run.timedOut) << joined(row.args);
        EXPECT_EQ(run.status, 2) << joined(row.args) << "\n" << run.errors;
        EXPECT_EQ(firstLine(run.errors).rfind("veldrin: ", 0), 0u) << joined(row.args) << "\n" << run.errors;
        EXPECT_NE(firstLine(run.errors).find(row.named), std::string::npos) << joined(row.args) << "\n" << run.errors;
        EXPECT_NE(run.errors.find("usage:"), std::string::npos) << joined(row.args);
        EXPECT_TRUE(run.output.empty()) << joined(row.args) << " printed: " << run.output;
    }
    EXPECT_TRUE(listFolder(folder.path()).empty()) << "a refused command line writes nothing";
}

// The capture of a tenth of a second, small: quick, and it loads all the textures.
std::vector<std::string> shortCapture(const std::string& dir) {
    return {"--frames", dir, "--start", "30", "--end", "30.1", "--size", "64x48"};
}

TEST(BadInput, AnUnusableViewingGammaCostsOneLineAndTheRunGoesOn) {
    for (const char* value : {"bright", "0", "-2.2", "inf", "nan", "", "1e999", "2.2x"}) {
        TempFolder folder;
        const ProgramRun run = runProgram(shortCapture(folder.path()), {std::string("VIEWING_GAMMA=") + value},
                                          RunControl{0, 0.0, 60.0});
        EXPECT_FALSE(run.timedOut) << value;
        EXPECT_EQ(run.status, 0) << value << "\n" << run.errors;
        EXPECT_EQ(countLines(run.errors, "VIEWING_GAMMA"), 1u) << value << "\n" << run.errors;
        EXPECT_EQ(listFolder(folder.path()).size(), 6u) << value;
    }
}

// Started near the end, a live run finishes by itself a moment later.
const std::vector<std::string> kLiveEnding = {"--windowed", "--start", "186.9"};

TEST(BadInput, WithoutADisplayItRunsHeadless) {
    const ProgramRun run = runProgram(kLiveEnding, {"DISPLAY", "WAYLAND_DISPLAY"}, RunControl{0, 0.0, 60.0});
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(run.errors.find("Error"), std::string::npos) << run.errors;
}

TEST(BadInput, WithoutASoundCardItPlaysSilentlyAndSaysSoOnce) {
    // A driver that does not exist is what a machine without any sound card looks like to SDL.
    const ProgramRun run = runProgram(kLiveEnding, {"SDL_AUDIODRIVER=no-such-sound-card"}, RunControl{0, 0.0, 60.0});
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(countLines(run.errors, "veldrin:"), 1u) << run.errors;
    EXPECT_EQ(countLines(run.errors, "silently"), 1u) << run.errors;
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
    setViewport(800, 0);
    for (float v : projection()) EXPECT_TRUE(std::isfinite(v));
    setViewport(0, 0);
    for (float v : projection()) EXPECT_TRUE(std::isfinite(v));
    setViewport(800, 600);
    EXPECT_EQ(projection(), normal);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 800);
    EXPECT_EQ(viewport[3], 600);
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}

// A quit request at several moments after the program has taken charge of it: at once (still
// starting up), while the first frame is drawn (which is what a window closed at once looks
// like to the loop), early and well into the show. Before the program's handler is in place
// the signal's default action ends the process, as it would any program.
const double kSignalDelays[] = {0.0, 0.05, 0.3, 1.0};

RunControl quitAfter(int signal, double delay) {
    RunControl control;
    control.signal = signal;
    control.afterSeconds = delay;
    control.deadlineSeconds = 60.0;
    control.afterHandler = true;
    return control;
}

// Ended in order: never by a signal (a crash) nor by the deadline (a hang).
void expectOrderlyEnd(const ProgramRun& run, int signal, double delay, int orderly) {
    EXPECT_FALSE(run.timedOut) << "signal " << signal << " after " << delay << " s";
    EXPECT_EQ(run.status, orderly) << "signal " << signal << " after " << delay << " s\n" << run.errors;
}

void expectLiveRunEndsCleanly(int signal) {
    for (double delay : kSignalDelays) {
        const ProgramRun run = runProgram({"--windowed"}, {}, quitAfter(signal, delay));
        expectOrderlyEnd(run, signal, delay, 0);
    }
}

TEST(QuitRequest, InterruptEndsALiveRunInOrderAtAnyMoment) { expectLiveRunEndsCleanly(SIGINT); }
TEST(QuitRequest, TerminateEndsALiveRunInOrderAtAnyMoment) { expectLiveRunEndsCleanly(SIGTERM); }

void expectCaptureEndsCleanly(int signal) {
    std::string ffmpeg;
    if (!findProgram("ffmpeg", ffmpeg)) GTEST_SKIP() << "ffmpeg is not installed";
    for (double delay : kSignalDelays) {
        TempFolder folder;
        const std::string path = folder.path() + "/demo.mp4";
        const ProgramRun run = runProgram({"--capture", path, "--size", "160x120"}, {}, quitAfter(signal, delay));
        expectOrderlyEnd(run, signal, delay, 130);
        const std::vector<std::string> left = listFolder(folder.path());
        if (left.empty()) continue;  // stopped before there was anything to keep
        EXPECT_EQ(left, std::vector<std::string>{"demo.mp4"}) << "no temporary files left";
        const std::string video = readFile(path);
        EXPECT_EQ(video.substr(4, 4), "ftyp") << "after " << delay << " s";
        EXPECT_NE(video.find("moov"), std::string::npos) << "a finished, playable file after " << delay << " s";
    }
}

TEST(QuitRequest, InterruptEndsACaptureWithAPlayableFileOrNone) { expectCaptureEndsCleanly(SIGINT); }
TEST(QuitRequest, TerminateEndsACaptureWithAPlayableFileOrNone) { expectCaptureEndsCleanly(SIGTERM); }

// A late start runs thousands of frames before the first one is drawn; a quit request meanwhile
// ends the run there, without drawing or writing anything.
TEST(QuitRequest, EndsARunStillCatchingUpToALateStart) {
    TempFolder folder;
    const ProgramRun capture =
        runProgram({"--frames", folder.path(), "--start", "186", "--end", "187"}, {}, quitAfter(SIGINT, 0.3));
    expectOrderlyEnd(capture, SIGINT, 0.3, 130);
    EXPECT_NE(capture.errors.find("before the first frame"), std::string::npos) << capture.errors;
    EXPECT_TRUE(listFolder(folder.path()).empty());

    const ProgramRun live = runProgram({"--windowed", "--start", "186"}, {}, quitAfter(SIGTERM, 0.3));
    expectOrderlyEnd(live, SIGTERM, 0.3, 0);
}

}  // namespace
