// veldrin.exe as a user runs it on Windows, where it differs from the desktop: the encoder is
// NAME.exe found on PATH (here a stand-in in a folder whose name has a space, writing to one that
// has one too), a missing one is a clear message, and a machine without a sound device plays
// the show silently to its end.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "assets/embedded.h"
#include "tests/app/run_program.h"

namespace {

const RunControl kWithinAMinute{0, 0.0, 60.0};

TEST(WindowsCapture, TheEncoderOnPathGetsTheFramesAndTheTrackThroughPathsWithSpaces) {
    TempFolder folder;
    const std::string tools = folder.path() + "\\tools dir", out = folder.path() + "\\out dir";
    ASSERT_TRUE(CreateDirectoryA(tools.c_str(), nullptr) && CreateDirectoryA(out.c_str(), nullptr));
    ASSERT_TRUE(CopyFileA(VELDRIN_FAKE_FFMPEG, (tools + "\\ffmpeg.exe").c_str(), FALSE));
    const ProgramRun run = runProgram({"--capture", out + "\\the show.mp4", "--start", "186", "--end", "186.25",
                                       "--size", "80x60"},
                                      {"PATH=C:\\windows\\system32;" + tools}, kWithinAMinute);
    ASSERT_EQ(run.status, 0) << run.errors;
    // Under Wine the encoder's log sometimes outlives its deletion: the ended child's handle on it
    // is closed a moment after the process reports its end (1 run in 5 here), and a file deleted
    // while open then stays. Windows closes the handles first.
    std::vector<std::string> left = listFolder(out);
    std::erase(left, ".the show.mp4.ffmpeg.log");
    EXPECT_EQ(left, std::vector<std::string>{"the show.mp4"}) << "no temporary files left";
    const std::string report = readFile(out + "\\the show.mp4");
    EXPECT_NE(report.find("arg:-s\narg:80x60\n"), std::string::npos) << report;
    const EmbeddedAsset* track = findEmbeddedAsset("music.mp3");
    ASSERT_NE(track, nullptr);
    EXPECT_NE(report.find("input-size:" + std::to_string(track->size) + "\n"), std::string::npos)
        << "the whole track, by its path\n" << report;
    // Frames 11160 to 11174 at 60 fps (186.000 s to 186.233 s), 80 × 60 × 3 bytes each.
    EXPECT_NE(report.find("stdin:216000\n"), std::string::npos) << report;
}

TEST(WindowsCapture, WithoutAnEncoderOnPathItSaysSoAndWritesNothing) {
    TempFolder folder;
    const ProgramRun run =
        runProgram({"--capture", folder.path() + "\\show.mp4", "--end", "0.5"}, {"PATH=C:\\nonexistent"}, kWithinAMinute);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.errors.find("ffmpeg"), std::string::npos) << run.errors;
    EXPECT_TRUE(listFolder(folder.path()).empty());
}

// The suite runs without a sound device (the Wine runner leaves Wine's audio driver out).
TEST(WindowsPlay, WithoutASoundDeviceTheShowPlaysSilentlyToItsEnd) {
    const ProgramRun run = runProgram({"--windowed", "--start", "185"}, {}, kWithinAMinute);
    EXPECT_EQ(run.status, 0) << run.errors;
    EXPECT_NE(run.errors.find("no audio device"), std::string::npos) << run.errors;
}

}  // namespace
