// The picture-against-sound instrument (tools/measure), where a fault in it would let the
// end-to-end tests pass on a program out of step: a stretch of sound is found where it is in the
// track and nowhere else (the music repeats itself beat by beat), the offset comes out with its
// sign and size from stamps that arrive late by any amount, no figure is made up where nothing was
// observed, and the stall reaches the program. A server that stops answering is still ended, so
// that nothing of a run can hang CI. (That the server passes on what is played, and that frame
// lines are read, the end-to-end tests show by measuring at all.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "tests/support/files.h"
#include "tests/support/require.h"
#include "tools/measure/av_session.h"
#include "tools/measure/heard_and_shown.h"
#include "tools/measure/sound_server.h"

namespace {

// Frames [from, from + seconds) of the track, mono, scaled and rounded to 16 bits as a device
// that plays it more quietly and coarsely would.
std::vector<float> stretch(const std::vector<float>& mono, double from, double seconds, float gain = 1.0f) {
    std::vector<float> out;
    const auto first = std::size_t(from * kTrackRate);
    for (std::size_t i = 0; i < std::size_t(seconds * kTrackRate); ++i) {
        out.push_back(std::round(mono[first + i] * gain * 32767.0f) / 32767.0f);
    }
    return out;
}

// Found from a guess up to three seconds off, quieter and coarser; nothing in silence or noise;
// and not one beat away: beats one and two apart come close (about 0.8 to 0.9), and were they
// accepted, a sound a beat late would pass for one in time.
TEST(TrackLocator, FindsAStretchWhereItIsAndNowhereElse) {
    const TrackLocator& track = showTrack();
    ASSERT_GT(track.mono().size(), std::size_t(187 * kTrackRate));
    double closest = 0.0;
    for (double at : {20.0, 63.9, 110.0, 160.5}) {
        for (double seconds : {kWindowSeconds, kShortWindowSeconds}) {
            const std::vector<float> heard = stretch(track.mono(), at, seconds, 0.4f);
            for (double guessOff : {-2.9, 1.3}) {
                const Match match = track.locate(heard, at + guessOff, kSearchSeconds);
                EXPECT_TRUE(match.found) << at << " s, guessed " << guessOff << " s off: " << match.correlation
                                         << " against " << match.runnerUp;
                EXPECT_NEAR(match.trackTime, at, 1.0 / kTrackRate) << at << " s, guessed " << guessOff << " s off";
            }
            // The search ends just short of the stretch; one beat (0.597 s) later is inside it.
            const Match elsewhere = track.locate(heard, at + kSearchSeconds + 0.1, kSearchSeconds);
            EXPECT_FALSE(elsewhere.found) << at << " s taken for " << elsewhere.trackTime << " s";
            closest = std::max(closest, elsewhere.correlation);
        }
    }
    EXPECT_GT(closest, 0.8) << "the beat repeats: near matches exist, and were refused";
    std::vector<float> noise(std::size_t(kWindowSeconds * kTrackRate), 0.0f);
    EXPECT_FALSE(track.locate(noise, 62.0, kSearchSeconds).found) << "silence";
    std::uint32_t state = 12345;
    for (float& v : noise) {
        state = state * 1664525u + 1013904223u;
        v = float(state >> 8) / float(1u << 24) - 0.5f;
    }
    EXPECT_FALSE(track.locate(noise, 62.0, kSearchSeconds).found) << "noise";
}

// A synthetic run: the sound is the track from 62 s, heard from instant kT0 on, its marks late by
// up to 10 ms; the picture's frames every 1/60 s, their lines relayed in batches every 47 ms as a
// file-polling relay does. The picture runs `ahead` seconds ahead of the sound.
struct SyntheticRun {
    Recording heard;
    std::vector<ShownFrame> shown;
};

struct Mishap {
    double at = 0.0;         // seconds after kT0
    double lost = 0.0;       // that much of what was heard never reaches the recording
    double starved = 0.0;    // or: the sound stops for that long and goes on where it stopped
};

constexpr std::int64_t kT0 = 5'000'000'000'000;

SyntheticRun synthesise(double ahead, Mishap mishap = {}) {
    SyntheticRun run;
    const std::vector<float>& mono = showTrack().mono();
    std::uint32_t state = 7;
    const auto lateNs = [&](std::int64_t most) {
        state = state * 1664525u + 1013904223u;
        return std::int64_t(state >> 8) % most;
    };
    const auto from = std::size_t(mishap.at * kTrackRate);
    const auto lostTo = from + std::size_t(mishap.lost * kTrackRate);
    const auto starvedTo = from + std::size_t(mishap.starved * kTrackRate);
    std::size_t played = std::size_t(62.0 * kTrackRate);
    for (std::size_t i = 0; i < std::size_t(4 * kTrackRate); ++i) {
        const float v = i >= from && i < starvedTo ? 0.0f : mono[played++];
        if (i >= from && i < lostTo) continue;
        run.heard.samples.push_back(v);
        run.heard.samples.push_back(v);
        if (run.heard.frames() % 256 == 0) {
            const auto heardNs = kT0 + std::int64_t(double(i + 1) * 1e9 / kTrackRate);
            run.heard.marks.push_back({run.heard.frames(), heardNs + lateNs(10'000'000)});
        }
    }
    const std::int64_t relayNs = 47'000'000;
    for (int frame = 0; frame < 4 * 60; ++frame) {
        const std::int64_t shownNs = kT0 + std::int64_t(frame * 1e9 / 60.0);
        const std::int64_t relayed = (shownNs - kT0) / relayNs * relayNs + relayNs + kT0;
        run.shown.push_back({62.0 + ahead + double(shownNs - kT0) * 1e-9, relayed + lateNs(2'000'000)});
    }
    return run;
}

// The offsets measured over the run's seconds 0.5 to 3.5.
Offsets measured(const SyntheticRun& run) {
    return pictureAheadOfSound(run.heard, run.shown, showTrack(), kT0 + 500'000'000, kT0 + 3'500'000'000);
}

TEST(HeardAndShown, ThePictureAheadOfTheSoundHasItsSignAndSizeFromLateStampsOnBothSides) {
    for (double ahead : {0.3, -0.12, 0.0, 1.7}) {
        const Offsets offsets = measured(synthesise(ahead));
        EXPECT_EQ(offsets.tried, 11) << ahead;
        EXPECT_EQ(offsets.each.size(), std::size_t(offsets.tried)) << ahead << ": best miss " << offsets.bestMiss;
        for (const Offset& o : offsets.each) EXPECT_NEAR(o.aheadMs, ahead * 1e3, 4.0) << ahead;
        EXPECT_NEAR(offsets.medianMs(), ahead * 1e3, 4.0);
    }
}

// A stretch the recording never got (a monitor loses what its sink rewinds) shifts its frame
// count against the clock for good: only the marks right after a window may place it.
TEST(HeardAndShown, SoundLostFromTheRecordingMisplacesNoWindow) {
    const Offsets offsets = measured(synthesise(0.25, Mishap{1.9, 0.128, 0.0}));
    // Those that do not reach across the loss at least: 0.5 to 1.25 s and 2.25 to 3 s.
    EXPECT_GE(offsets.each.size(), 8u);
    for (const Offset& o : offsets.each) {
        EXPECT_NEAR(o.aheadMs, 250.0, 4.0) << "the window heard from " << double(o.ns - kT0) * 1e-9 << " s";
    }
}

// Sound that stops for a tenth of a second and goes on where it stopped (a stream run dry) is
// that much further behind from then on; the half-seconds across the gap are measured by the
// half of each that is whole.
TEST(HeardAndShown, SoundThatRanDryIsMeasuredOnEitherSideOfTheGap) {
    const Offsets offsets = measured(synthesise(0.05, Mishap{2.1, 0.0, 0.1}));
    EXPECT_EQ(offsets.each.size(), std::size_t(offsets.tried)) << "best miss " << offsets.bestMiss;
    int halves = 0;
    for (const Offset& o : offsets.each) {
        const double at = double(o.ns - kT0) * 1e-9;
        EXPECT_TRUE(at + o.seconds <= 2.1 + 1e-3 || at >= 2.2 - 1e-3) << "a stretch across the gap at " << at << " s";
        EXPECT_NEAR(o.aheadMs, at < 2.1 ? 50.0 : 150.0, 4.0) << "heard from " << at << " s";
        halves += o.seconds < kWindowSeconds ? 1 : 0;
    }
    EXPECT_GE(halves, 2);
}

// Where one side was not observed at all there is nothing to compare: no made-up figure.
TEST(HeardAndShown, NoFigureWhereTheSoundOrThePictureWasNotObserved) {
    SyntheticRun run = synthesise(0.2);
    EXPECT_TRUE(pictureAheadOfSound(run.heard, run.shown, showTrack(), kT0 + 5'000'000'000, kT0 + 7'000'000'000)
                    .each.empty()) << "outside the run";
    SyntheticRun unseen = run;
    unseen.shown.clear();
    EXPECT_TRUE(measured(unseen).each.empty()) << "no frames";
    std::fill(run.heard.samples.begin(), run.heard.samples.end(), 0.0f);
    EXPECT_TRUE(measured(run).each.empty()) << "silence";
}

#define REQUIRE_SERVER() \
    REQUIRE_OR_SKIP(SoundServer::installed(), "no pulseaudio (tools/install-deps.sh test installs it)")

std::string entry(const std::vector<std::string>& environment, const std::string& name) {
    for (const std::string& e : environment) {
        if (e.rfind(name + "=", 0) == 0) return e.substr(name.size() + 1);
    }
    return "";
}

// The server is the test's alone (its runtime folder 0700) and dies with its owner, folder and
// all, also when it has stopped answering (SIGSTOP): the bounded waits, then SIGKILL.
TEST(SoundServer, IsPrivateAndLeavesNothingBehindEvenWhenItStoppedAnswering) {
    REQUIRE_SERVER();
    for (bool stopped : {false, true}) {
        SCOPED_TRACE(stopped ? "stopped" : "answering");
        pid_t pid = -1;
        std::string folder;
        {
            SoundServer server;
            ASSERT_TRUE(server.running()) << server.failure();
            pid = server.pid();
            const std::vector<std::string> environment = server.clientEnvironment();
            folder = entry(environment, "XDG_RUNTIME_DIR");
            struct stat info {};
            ASSERT_EQ(stat(folder.c_str(), &info), 0) << folder;
            EXPECT_EQ(info.st_mode & 0777, 0700u) << "other users could reach the server";
            EXPECT_EQ(entry(environment, "PULSE_SERVER"), "unix:" + folder + "/pulse/native");
            MonitorRecorder recorder(server);
            ASSERT_EQ(recorder.failure(), "");
            if (stopped) {
                usleep(100000);
                ASSERT_EQ(kill(pid, SIGSTOP), 0);
                usleep(100000);
            }
            recorder.finish();
        }
        EXPECT_EQ(kill(pid, 0), -1);
        EXPECT_EQ(errno, ESRCH) << "the server outlived its owner";
        EXPECT_NE(access(folder.c_str(), F_OK), 0) << folder << " was left behind";
    }
}

// A stand-in for a program under tools/wine-run: a shell that runs the program under
// `timeout --foreground`, the program a shell printing frame lines and ignoring SIGTERM, with a
// child that ignores it too. The stall must reach the program (its lines stop), not the wrapper;
// the end must get through the ignored SIGTERM and leave nothing of the group.
TEST(StallRun, TheStallReachesTheProgramBehindItsWrapperAndTheEndLeavesNothingRunning) {
    REQUIRE_SERVER();
    SoundServer server;
    ASSERT_TRUE(server.running()) << server.failure();
    const TempFolder folder;
    const std::string pidFile = folder.path() + "/child";
    Subject subject;
    subject.underWine = true;
    subject.command = {"/bin/sh", "-c",
                       "timeout --foreground 60 /bin/sh -c \"trap '' TERM; sh -c 'echo \\$\\$ > " + pidFile +
                           "; exec sleep 60' & while :; do echo 062.5000 >&2; sleep 0.02; done\"; echo ended >&2"};
    StallPlan plan;
    plan.before = 0.3;
    plan.stall = 0.6;
    plan.after = 0.3;
    plan.endWithin = 0.5;
    const StallRun run = measureAcrossAStall(server, subject, plan, showTrack());
    ASSERT_NE(run.stallFromNs, 0) << run.failure;
    int during = 0;
    int around = 0;
    for (const ShownFrame& f : run.frames) {
        // Lines written just before the stall may still be on their way at its start (this
        // process may be kept waiting too): only its second half counts.
        if (f.ns > run.stallFromNs + 300'000'000 && f.ns < run.stallToNs) ++during;
        if (f.ns > run.stallToNs && f.ns < run.stallToNs + 300'000'000) ++around;
    }
    EXPECT_EQ(during, 0) << "the program printed on through its stall: the wrapper was stopped instead";
    EXPECT_GT(around, 0) << "the program did not go on after the stall";
    EXPECT_NE(run.status, 0);
    const pid_t child = std::atoi(readFile(pidFile).c_str());
    ASSERT_GT(child, 0);
    // Killed, it may stay a zombie a moment, until whoever inherited it reaps it.
    const auto gone = [&] {
        std::ifstream stat("/proc/" + std::to_string(child) + "/stat");
        std::string line;
        return !std::getline(stat, line) || line.find(") Z ") != std::string::npos;
    };
    for (int i = 0; i < 100 && !gone(); ++i) usleep(20000);
    EXPECT_TRUE(gone()) << "a process of the group outlived the run";
    EXPECT_LT(run.endSeconds, 5.0);
}

}  // namespace
