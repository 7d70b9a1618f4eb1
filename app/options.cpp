// Command-line parsing. Every value is checked whole: trailing text, signs and absurd sizes
// are refused with the usage rather than read halfway.
#include "app/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::uint32_t kMaxFps = 1000;

bool parseUnsigned(const char* text, std::uint64_t limit, std::uint64_t& value) {
    if (text == nullptr || *text < '0' || *text > '9') return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || parsed > limit) return false;
    value = parsed;
    return true;
}

ParseResult refuse(std::string& error, const char* why) {
    error = why;
    return ParseResult::BadUsage;
}

// What each option means depends on the others; refuse the combinations that mean nothing.
ParseResult checkCombination(const Options& options, bool sizeGiven, std::string& error) {
    if (!options.capturePath.empty() && !options.framesDir.empty())
        return refuse(error, "--capture and --frames cannot be used together");
    if (options.start >= kTrackSeconds) return refuse(error, "--start: the music ends at 187.06 s");
    if (!options.capturing()) {
        if (sizeGiven) return refuse(error, "--size applies to --capture and --frames");
        if (options.endGiven) return refuse(error, "--end applies to --capture and --frames");
        return ParseResult::Run;
    }
    if (options.fps.num == 0) return refuse(error, "--fps: a capture needs a frame rate above 0");
    if (options.end <= options.start) return refuse(error, "--end must come after --start");
    if (!options.capturePath.empty() && (options.width % 2 != 0 || options.height % 2 != 0))
        return refuse(error, "--size: H.264 video needs an even width and height");
    return ParseResult::Run;
}

}  // namespace

bool parseSeconds(const char* text, double& seconds) {
    if (text == nullptr || *text == '\0' || *text == '.') return false;
    if (std::strspn(text, "0123456789.") != std::strlen(text) || std::strchr(text, '.') != std::strrchr(text, '.'))
        return false;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value > 10000.0) return false;
    seconds = value;
    return true;
}

bool parseSize(const char* text, int& width, int& height) {
    if (text == nullptr) return false;
    const char* x = std::strchr(text, 'x');
    if (x == nullptr) return false;
    const std::string widthText(text, x);
    std::uint64_t w = 0;
    std::uint64_t h = 0;
    if (!parseUnsigned(widthText.c_str(), 16384, w) || !parseUnsigned(x + 1, 16384, h) || w < 2 || h < 2) return false;
    width = int(w);
    height = int(h);
    return true;
}

bool parseFrameRate(const char* text, FrameRate& rate) {
    if (text == nullptr || *text == '\0') return false;
    if (const char* slash = std::strchr(text, '/')) {
        const std::string numText(text, slash);
        std::uint64_t num = 0;
        std::uint64_t den = 0;
        if (!parseUnsigned(numText.c_str(), 1000000, num) || !parseUnsigned(slash + 1, 1000000, den)) return false;
        if (den == 0 || double(num) / double(den) > kMaxFps) return false;
        rate = {std::uint32_t(num), std::uint32_t(den)};
        return true;
    }
    // Plain decimals only: strtod would also take exponents, hex and "inf".
    if (std::strspn(text, "0123456789.") != std::strlen(text) || *text == '.') return false;
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(value) || value < 0.0 || value > kMaxFps) return false;
    // Rates like 59.94 become a fraction over 1000 so the fixed-step arithmetic stays exact.
    const double scaled = value * 1000.0;
    if (std::fabs(scaled - std::round(scaled)) > 1e-6) return false;
    std::uint32_t num = std::uint32_t(std::llround(scaled));
    std::uint32_t den = 1000;
    while (den > 1 && num % 10 == 0) {
        num /= 10;
        den /= 10;
    }
    if (num == 0) den = 1;
    rate = {num, den};
    return true;
}

ParseResult parseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    bool sizeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const char* value = nullptr;
        auto needValue = [&](const char* name) {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return false;
            }
            value = argv[++i];
            return true;
        };
        if (std::strcmp(arg, "--windowed") == 0) {
            options.windowed = true;
        } else if (std::strcmp(arg, "--debug") == 0) {
            options.debug = true;
        } else if (std::strcmp(arg, "--fps") == 0) {
            if (!needValue("--fps")) return ParseResult::BadUsage;
            if (!parseFrameRate(value, options.fps)) {
                error = std::string("--fps: not a frame rate from 0 to 1000: '") + value + "'";
                return ParseResult::BadUsage;
            }
        } else if (std::strcmp(arg, "--start") == 0 || std::strcmp(arg, "--end") == 0) {
            const bool isStart = arg[2] == 's';
            if (!needValue(arg)) return ParseResult::BadUsage;
            double seconds = 0.0;
            if (!parseSeconds(value, seconds)) {
                error = std::string(arg) + ": not a time in seconds: '" + value + "'";
                return ParseResult::BadUsage;
            }
            if (isStart) {
                options.start = seconds;
            } else {
                options.end = seconds;
                options.endGiven = true;
            }
        } else if (std::strcmp(arg, "--capture") == 0 || std::strcmp(arg, "--frames") == 0) {
            if (!needValue(arg)) return ParseResult::BadUsage;
            if (*value == '\0') {
                error = std::string(arg) + " needs a path";
                return ParseResult::BadUsage;
            }
            (arg[2] == 'c' ? options.capturePath : options.framesDir) = value;
        } else if (std::strcmp(arg, "--size") == 0) {
            if (!needValue("--size")) return ParseResult::BadUsage;
            if (!parseSize(value, options.width, options.height)) {
                error = std::string("--size: not WIDTHxHEIGHT from 2x2 to 16384x16384: '") + value + "'";
                return ParseResult::BadUsage;
            }
            sizeGiven = true;
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            options.showHelp = true;
            return ParseResult::Exit;
        } else if (std::strcmp(arg, "--version") == 0) {
            options.showVersion = true;
            return ParseResult::Exit;
        } else {
            error = std::string("unknown option '") + arg + "'";
            return ParseResult::BadUsage;
        }
    }
    return checkCombination(options, sizeGiven, error);
}

const char* usageText() {
    return "usage: veldrin [--windowed] [--fps N] [--start S] [--debug]\n"
           "       veldrin --capture FILE.mp4 | --frames DIR [--fps N] [--size WxH] [--start S] [--end S]\n"
           "\n"
           "Plays the demo: 187 seconds of pictures in step with its music; or renders it offline,\n"
           "frame by frame, to a video with its music or to numbered PNG files.\n"
           "\n"
           "  --windowed        an 800 x 600 window instead of switching the screen to 800 x 600\n"
           "  --fps N           frames per second: 60 by default, 59.94 or 60000/1001 as well;\n"
           "                    0 (playing only) for as many as the machine can draw\n"
           "  --start S         begin at S seconds of music, looking exactly as in a full run\n"
           "  --debug           print the music time of every frame on stderr\n"
           "  --capture FILE    write an H.264 video with the music (needs the ffmpeg program)\n"
           "  --frames DIR      write frame-000000.png, frame-000001.png, ... into DIR\n"
           "  --size WxH        size of the captured frames, 800x600 by default\n"
           "  --end S           stop the capture at S seconds of music (default: the music's end)\n"
           "  --help            this text\n"
           "  --version         the version\n"
           "\n"
#ifdef _WIN32
           // No headless mode here: a Windows program always has the desktop to draw on.
           "Escape or closing the window ends the demo. Without a sound device it plays\n"
           "silently. Ctrl-C ends a capture early and keeps a playable file of what was done.\n"
#else
           "Escape or closing the window ends the demo. Without a display it runs headless;\n"
           "without a sound card it plays silently. Ctrl-C ends a capture early and keeps a\n"
           "playable file of what was done.\n"
#endif
           "Exit status: 0 success, 1 failure at run time, 2 bad command line.\n";
}
