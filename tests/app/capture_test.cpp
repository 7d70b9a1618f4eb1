// The capture as a user runs it: same span, same frames; faults leave nothing that looks
// complete. Bad spans and Ctrl-C are in the bad-input test.
#include <gtest/gtest.h>

#include <string>

#include "platform/process.h"
#include "tests/app/run_program.h"

namespace {

TEST(Capture, TwoCapturesOfTheSameSpanGiveIdenticalFrames) {
    TempFolder first;
    TempFolder second;
    // A busy stretch: the knot boxes, thirty bolts and the background, a second of it.
    for (const TempFolder* folder : {&first, &second}) {
        const ProgramRun run = runProgram({"--start", "110", "--end", "111", "--size", "200x150", "--frames",
                                           folder->path()});
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

    std::string ffmpeg;
    if (!findProgram("ffmpeg", ffmpeg)) GTEST_SKIP() << "ffmpeg is not installed";
    const ProgramRun video = runProgram({"--capture", "/nonexistent-folder/demo.mp4", "--end", "0.1"});
    EXPECT_EQ(video.status, 1);
    EXPECT_NE(video.errors.find("/nonexistent-folder"), std::string::npos) << video.errors;
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

}  // namespace
