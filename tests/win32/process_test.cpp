// Starting the encoder on Windows: its arguments reach it as they were given (spaces, quotes and
// backslashes through one command line), all of its input arrives, its status comes back, and a
// program that ends early makes a write fail rather than stall or end us. The program is a
// stand-in that reports what reached it.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/process.h"
#include "tests/app/run_program.h"

namespace {

// What the stand-in writes: each argument, the size of each input file it was given (-1: none),
// and the bytes it read.
std::string reportOf(const std::vector<std::string>& args, std::size_t inputBytes) {
    std::string report;
    for (std::size_t i = 0; i < args.size(); ++i) {
        report += "arg:" + args[i] + "\n";
        if (args[i] == "-i" && i + 1 < args.size()) report += "input-size:-1\n";
    }
    return report + "stdin:" + std::to_string(inputBytes) + "\n";
}

TEST(ChildProcess, ArgumentsAndEveryInputByteArriveAndTheStatusComesBack) {
    TempFolder folder;
    const std::string report = folder.path() + "\\report of a run.txt";
    const std::vector<std::string> args = {"plain", "two words", "", "a \"quoted\" word", "C:\\folder with space\\",
                                           "back\\\\slash\\\"quote", "tab\there", "-i", report + ".none", report};
    // Every byte value, the text-mode end of file (0x1A) and line ends among them; over 1 MB.
    std::string input(1 << 20 | 37, '\0');
    for (std::size_t i = 0; i < input.size(); ++i) input[i] = char(i * 7 % 256);
    ChildProcess child;
    ASSERT_TRUE(child.start(VELDRIN_FAKE_FFMPEG, args, (folder.path() + "\\log").c_str()));
    EXPECT_TRUE(child.write(input.data(), input.size()));
    EXPECT_EQ(child.finish(), 0);
    EXPECT_EQ(readFile(report), reportOf(args, input.size()));
}

TEST(ChildProcess, AProgramThatEndsEarlyFailsTheWriteAndGivesItsStatus) {
    ASSERT_EQ(_putenv_s("VELDRIN_FAKE_FFMPEG_EXIT", "7"), 0);  // each test has a process of its own
    ChildProcess child;
    ASSERT_TRUE(child.start(VELDRIN_FAKE_FFMPEG, {"out"}, nullptr));
    const std::string frame(4 << 20, 'x');
    bool failed = false;
    for (int i = 0; i < 64 && !failed; ++i) failed = !child.write(frame.data(), frame.size());
    EXPECT_TRUE(failed) << "256 MB went into a program that reads nothing";
    EXPECT_EQ(child.finish(), 7);
}

TEST(FindProgram, FindsNameDotExeOnPathEvenInAFolderWithASpace) {
    TempFolder folder;
    const std::string tools = folder.path() + "\\tools dir";
    ASSERT_TRUE(CreateDirectoryA(tools.c_str(), nullptr));
    ASSERT_TRUE(CreateDirectoryA((tools + "\\ffmpeg").c_str(), nullptr)) << "a folder of that name is no program";
    ASSERT_TRUE(CopyFileA(VELDRIN_FAKE_FFMPEG, (tools + "\\ffmpeg.exe").c_str(), FALSE));
    ASSERT_EQ(_putenv_s("PATH", ("C:\\nonexistent;;" + tools + "\\").c_str()), 0);
    std::string path;
    ASSERT_TRUE(findProgram("ffmpeg", path));
    EXPECT_EQ(path, tools + "\\ffmpeg.exe");
    EXPECT_TRUE(findProgram("ffmpeg.exe", path));
    EXPECT_FALSE(findProgram("ffprobe", path));
    EXPECT_TRUE(findProgram((tools + "\\ffmpeg").c_str(), path)) << "a path without its .exe";
    EXPECT_EQ(path, tools + "\\ffmpeg.exe");
}

}  // namespace
