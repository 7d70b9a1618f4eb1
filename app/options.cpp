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

}  // namespace

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
    return ParseResult::Run;
}

const char* usageText() {
    return "usage: veldrin [--windowed] [--fps N] [--debug]\n"
           "\n"
           "Plays the demo: 187 seconds of pictures in step with its music.\n"
           "\n"
           "  --windowed   an 800 x 600 window instead of switching the screen to 800 x 600\n"
           "  --fps N      frames per second: 60 by default, 59.94 or 60000/1001 as well,\n"
           "               0 for as many as the machine can draw\n"
           "  --debug      print the music time of every frame on stderr\n"
           "  --help       this text\n"
           "  --version    the version\n"
           "\n"
           "Escape or closing the window ends the demo. Without a display it runs headless;\n"
           "without a sound card it plays silently.\n"
           "Exit status: 0 success, 1 failure at run time, 2 bad command line.\n";
}
