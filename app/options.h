// The command line: what a viewer or a demo maker can ask of the program.
#pragma once

#include <cstdint>
#include <string>

struct FrameRate {
    std::uint32_t num = 60;  // frames per num/den seconds; 0/1 means no limit
    std::uint32_t den = 1;
    double value() const { return den == 0 ? 0.0 : double(num) / den; }
};

struct Options {
    bool windowed = false;
    bool debug = false;
    FrameRate fps;
    bool showHelp = false;
    bool showVersion = false;
};

enum class ParseResult { Run, Exit, BadUsage };

// Fills options from argv. On BadUsage, error holds one line saying what was wrong.
ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::string& error);

// "60", "59.94", "60000/1001"; 0 is allowed (no limit). False for anything else.
bool parseFrameRate(const char* text, FrameRate& rate);

const char* usageText();
