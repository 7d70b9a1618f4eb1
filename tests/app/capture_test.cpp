// The capture as a user runs it: same span, same frames; bad input refused before any work;
// faults leave nothing that looks complete; Ctrl-C leaves a playable file.
#include <gtest/gtest.h>

#include <string>

#include "platform/process.h"
#include "tests/app/run_program.h"

namespace {

TEST(Capture, TwoCapturesOfTheSameSpanGiveIdenticalFrames) {
    TempFolder first;
    TempFolder second;
    // A busy stretch: the knot boxes, thirty bolts and the background, a second of it.
    const std::vector<std::string> span = {"--start", "110", "--end", "111", "--size", "200x150"};
    std::vector<std::string> args = span;
    args.insert(args.end(), {"--frames", first.path()});
    const ProgramRun a = runProgram(args);
    ASSERT_EQ(a.status, 0) << a.errors;
    args = span;
    args.insert(args.end(), {"--frames", second.path()});
    const ProgramRun b = runProgram(args);
    ASSERT_EQ(b.status, 0) << b.errors;

    const std::vector<std::string> names = listFolder(first.path());
    ASSERT_EQ(names.size(), 60u);
    ASSERT_EQ(names, listFolder(second.path()));
    EXPECT_EQ(names.front(), "frame-000000.png");
    EXPECT_EQ(names.back(), "frame-000059.png");
    for (const std::string& name : names) {
        EXPECT_EQ(readFile(first.path() + "/" + name), readFile(second.path() + "/" + name)) << name;
    }
}

TEST(Capture, BadSpansAndSizesAreUsageErrors) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--frames", "/tmp/never", "--start", "20", "--end", "10"},
             {"--frames", "/tmp/never", "--size", "0x600"},
             {"--frames", "/tmp/never", "--size", "800"},
             {"--frames", "/tmp/never", "--fps", "0"},
             {"--capture", "/tmp/never.mp4", "--size", "801x600"},
             {"--capture", "/tmp/never.mp4", "--frames", "/tmp/never"},
             {"--frames", "/tmp/never", "--start", "190"},
             {"--size", "640x480"}}) {
        const ProgramRun run = runProgram(args);
        EXPECT_EQ(run.status, 2) << args[0] << " " << args[1];
        EXPECT_NE(run.errors.find("usage:"), std::string::npos);
    }
}

TEST(Capture, AnOutputThatCannotBeWrittenFailsClearly) {
    const ProgramRun frames = runProgram({"--frames", "/proc/veldrin/frames", "--end", "0.1"});
    EXPECT_EQ(frames.status, 1);
    EXPECT_NE(frames.errors.find("/proc/veldrin/frames"), std::string::npos) << frames.errors;

    std::string ffmpeg;
    if (!findProgram("ffmpeg", ffmpeg)) GTEST_SKIP() << "ffmpeg is not installed";
    const ProgramRun video = runProgram({"--capture", "/nonexistent-folder/demo.mp4", "--end", "0.1"});
    EXPECT_EQ(video.status, 1);
    EXPECT_NE(video.errors.find("/nonexistent-folder"), std::string::npos) << video.errors;
}

TEST(Capture, WithoutTheEncoderItSaysWhatIsMissingAndWritesNothing) {
    TempFolder folder;
    const std::string path = folder.path() + "/demo.mp4";
    const ProgramRun run = runProgram({"--capture", path, "--end", "0.5"}, {"PATH=/nonexistent"});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("ffmpeg"), std::string::npos) << run.errors;
    EXPECT_TRUE(listFolder(folder.path()).empty());
}

TEST(Capture, VideoHoldsTheSpanWithItsMusicAndNothingElseIsLeft) {
    std::string ffmpeg;
    if (!findProgram("ffmpeg", ffmpeg)) GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder folder;
    const std::string path = folder.path() + "/demo.mp4";
    const ProgramRun run = runProgram({"--capture", path, "--start", "30", "--end", "31", "--size", "320x240"});
    ASSERT_EQ(run.status, 0) << run.errors;
    EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{"demo.mp4"}) << "no temporary files left";
    const std::string video = readFile(path);
    ASSERT_GT(video.size(), 1000u);
    EXPECT_EQ(video.substr(4, 4), "ftyp");
    EXPECT_NE(video.find("avc1"), std::string::npos) << "an H.264 track";
    EXPECT_NE(video.find("mp4a"), std::string::npos) << "an AAC track";
}

TEST(Capture, InterruptedCaptureKeepsAPlayableFileOfWhatWasDone) {
    std::string ffmpeg;
    if (!findProgram("ffmpeg", ffmpeg)) GTEST_SKIP() << "ffmpeg is not installed";
    TempFolder folder;
    const std::string path = folder.path() + "/demo.mp4";
    const ProgramRun run = runProgram({"--capture", path, "--size", "160x120"}, {}, 2.0);
    EXPECT_EQ(run.status, 130) << run.errors;
    EXPECT_NE(run.errors.find("stopped"), std::string::npos) << run.errors;
    EXPECT_EQ(listFolder(folder.path()), std::vector<std::string>{"demo.mp4"});
    const std::string video = readFile(path);
    EXPECT_NE(video.find("moov"), std::string::npos) << "a finished, playable file";
}

}  // namespace
