// Picture against sound, end to end: the program plays into a private sound server while what
// is heard is recorded and aligned against the track, and the music time of every frame is read
// from --debug. It is stalled for half a second (SIGSTOP, SIGCONT) two seconds in, as a busy
// machine or a debugger stalls it; one to three seconds later the picture must still be within
// a tenth of a second of the sound. (A beat is 0.597 s: half a second off puts every flash of
// the show on the wrong beat.) How close they are otherwise is measured by veldrin_bench avsync,
// not asserted here.
//
// The Windows program is measured the same way under Wine, once ./windows.sh has built it:
// VELDRIN_WINDOWS_EXE names it (test.sh sets it). In CI (CI=true) a missing server, .exe or Wine
// fails the test rather than skipping it.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "tests/support/require.h"
#include "tools/measure/av_session.h"
#include "tools/measure/sound_server.h"

namespace {

constexpr double kBoundMs = 100.0;

// Each window's figure (ms), and how many of those looked at matched the track.
std::string windows(const Offsets& offsets) {
    std::string text;
    for (const Offset& o : offsets.each) text += std::to_string(int(std::lround(o.aheadMs))) + " ";
    return text + "(" + std::to_string(offsets.each.size()) + " of " + std::to_string(offsets.tried) + " matched)";
}

void expectInStepAfterTheStall(const char* what, const Subject& subject, const SoundServer& server, StallPlan plan) {
    const StallRun run = measureAcrossAStall(server, subject, plan, showTrack());
    ASSERT_TRUE(run.failure.empty()) << run.failure << "\nthe program said:\n" << run.messages;
    EXPECT_LT(std::abs(run.after.medianMs()), kBoundMs)
        << what << ": the sound fell behind the picture by the stall and stayed behind; picture ahead of sound "
        << run.before.medianMs() << " ms before it (windows: " << windows(run.before) << "), " << run.after.medianMs()
        << " ms 1-3 s after it (windows: " << windows(run.after) << ")";
    // Ended by SIGTERM: the program's own orderly exit, or (under Wine) the signal itself.
    EXPECT_TRUE(run.status == 0 || run.status == 128 + SIGTERM || subject.underWine)
        << "exit status " << run.status << "\n" << run.messages;
}

TEST(PictureAgainstSound, TheLinuxProgramIsBackInStepWithTheSoundAfterAStall) {
    REQUIRE_OR_SKIP(SoundServer::installed(), "no pulseaudio (tools/install-deps.sh test installs it)");
    SoundServer server;
    ASSERT_TRUE(server.running()) << server.failure();
    expectInStepAfterTheStall("Linux program", linuxProgram(VELDRIN_PROGRAM, server, 62.0), server, StallPlan{});
}

TEST(PictureAgainstSound, TheWindowsProgramUnderWineIsBackInStepWithTheSoundAfterAStall) {
    const char* exe = std::getenv("VELDRIN_WINDOWS_EXE");
    REQUIRE_OR_SKIP(exe != nullptr && access(exe, R_OK) == 0,
                    "VELDRIN_WINDOWS_EXE names no Windows program (test.sh sets it once ./windows.sh has built it)");
    REQUIRE_OR_SKIP(access("/usr/lib/wine/wine64", X_OK) == 0, "no Wine (tools/install-deps.sh wine installs it)");
    REQUIRE_OR_SKIP(SoundServer::installed(), "no pulseaudio (tools/install-deps.sh test installs it)");
    SoundServer server;
    ASSERT_TRUE(server.running()) << server.failure();
    StallPlan plan;
    plan.firstFrameWithin = 60.0;  // a Wine prefix's first use makes it
    const std::string source = VELDRIN_SOURCE_DIR;
    expectInStepAfterTheStall(
        "Windows program under Wine",
        windowsProgram(source + "/tools/wine-run", source + "/build/windows-cmake/wine-prefix", exe, server, 62.0),
        server, plan);
}

}  // namespace
