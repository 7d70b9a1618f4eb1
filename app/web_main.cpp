// Entry point of the browser build. The page (index.html) hands over its address parameters as
// "name=value" arguments:
//   start=S, fps=N   the live show, as --start and --fps (the page starts it on a click)
//   debug            as --debug: the music time of every frame, on the console (a warning a line)
//   still=S          the one frame at music time S of a fixed-step 60 fps run, the first frame
//                    `veldrin --frames DIR --start S` writes; size=WxH sets the canvas (800x600)
//   frames=N         N frames of a fixed-step run from start=S, one after the other as fast as
//                    the browser allows, silent, each timed (drawing and glFinish): the page's
//                    own test and benchmark. The report also says when the page's loading
//                    reached each stage, and where the first frame's time went.
//   paced            with frames=N: drawn at the display's rate as the show is, never waited
//                    for; the figures are then the times between frames, and "late" counts
//                    the frames that missed a display frame's deadline
//   values=T,T,...   the spectrum at those music times in ms, and a digest of every image as
//                    uploaded: to compare with the desktop's
// Whatever the page reports ends up in its title and its report block (app/page_modes.h).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/options.h"
#include "app/page_modes.h"
#include "app/shell.h"
#include "platform/run_report.h"

namespace {

struct PageArguments {
    Options options;
    bool still = false;
    std::uint64_t frames = 0;
    bool paced = false;
    std::string values;
};

bool parseCount(const char* text, std::uint64_t& count) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    if (*text < '0' || *text > '9' || *end != '\0' || value == 0 || value > 1000000) return false;
    count = value;
    return true;
}

// False, with the reason, for a parameter that is not understood: a link should not silently
// show something else than it says.
bool parseArguments(int argc, char** argv, PageArguments& page, std::string& error) {
    page.options.windowed = true;
    bool sizeGiven = false;
    for (int i = 1; i < argc; ++i) {
        const char* equals = std::strchr(argv[i], '=');
        const std::string name(argv[i], equals != nullptr ? std::size_t(equals - argv[i]) : std::strlen(argv[i]));
        const char* value = equals != nullptr ? equals + 1 : "";
        bool ok = true;
        if (name == "start") {
            ok = parseSeconds(value, page.options.start);
        } else if (name == "fps") {
            ok = parseFrameRate(value, page.options.fps);
        } else if (name == "still") {
            page.still = true;
            ok = parseSeconds(value, page.options.start);
        } else if (name == "size") {
            sizeGiven = true;
            ok = parseSize(value, page.options.width, page.options.height);
        } else if (name == "frames") {
            ok = parseCount(value, page.frames);
        } else if (name == "paced") {
            page.paced = true;
        } else if (name == "values") {
            page.values = value;
        } else if (name == "debug") {
            page.options.debug = true;
            ok = *value == '\0';
        } else {
            continue;  // the page's own parameters (and anything a host adds) are not ours
        }
        if (!ok) {
            error = "the address parameter " + name + "=" + value + " is not understood";
            return false;
        }
    }
    if (page.options.start >= kTrackSeconds) error = "start: the music ends at 187.06 s";
    else if (sizeGiven && !page.still) error = "size applies to still";
    else if ((page.still || page.frames > 0) && page.options.fps.num == 0) error = "a fixed-step run needs fps above 0";
    else if (page.paced && page.frames == 0) error = "paced applies to frames";
    return error.empty();
}

}  // namespace

int main(int argc, char** argv) {
    PageArguments page;
    std::string error;
    if (!parseArguments(argc, argv, page, error)) {
        std::fprintf(stderr, "veldrin: %s\n", error.c_str());
        runReport("veldrin: bad address", error.c_str());
        return 2;
    }
    if (!page.values.empty()) return runValues(page.options, page.values);
    if (page.still) return runStill(page.options);
    if (page.frames > 0) return runFrames(page.options, page.frames, page.paced);
    return runShell(page.options);
}
