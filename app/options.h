// The command line: what a viewer or a demo maker can ask of the program.
#pragma once

#include <cstdint>
#include <string>

struct FrameRate {
    std::uint32_t num = 60;  // frames per num/den seconds; 0/1 means no limit
    std::uint32_t den = 1;
    double value() const { return den == 0 ? 0.0 : double(num) / den; }
};

// The longest span anything can ask for: the track ends 0.06 s after the show's 187 s.
constexpr double kShowSeconds = 187.0;
constexpr double kTrackSeconds = 187.06;

struct Options {
    bool windowed = false;
    bool debug = false;
    FrameRate fps;
    double start = 0.0;           // music time to begin at (live: reached by running every frame before it)
    double end = kTrackSeconds;   // capture only: music time to stop at
    bool endGiven = false;
    std::string capturePath;      // --capture FILE.mp4
    std::string framesDir;        // --frames DIR
    int width = 800;              // capture only
    int height = 600;
    bool showHelp = false;
    bool showVersion = false;

    bool capturing() const { return !capturePath.empty() || !framesDir.empty(); }
};

enum class ParseResult { Run, Exit, BadUsage };

// Fills options from argv. On BadUsage, error holds one line saying what was wrong.
ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// "60", "59.94", "60000/1001"; 0 is allowed (no limit). False for anything else.
bool parseFrameRate(const char* text, FrameRate& rate);
// Seconds as a plain decimal from 0 to 10000. False for anything else.
bool parseSeconds(const char* text, double& seconds);
// "WxH", each side from 2 to 16384.
bool parseSize(const char* text, int& width, int& height);

const char* usageText();
