// The Windows build's figures under Wine, each beside this (Linux) build's in the same run and on
// the same X screen: the .exe's size, start to first frame, and the busiest stretch's frame times.
// Both programs draw through Mesa's llvmpipe here, so what differs is the platform layer and Wine.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "bench/bench.h"

namespace {

const std::string kSource = VELDRIN_SOURCE_DIR;
const std::string kExe = kSource + "/build/windows/veldrin.exe";
const std::string kWineRun = kSource + "/tools/wine-run";
const std::string kPrefix = kSource + "/build/windows-cmake/wine-prefix";
constexpr const char* kScreen = "1024x768";

std::vector<std::string> underWine(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"--prefix", kPrefix, "--screen", kScreen, kExe};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

// The music times of consecutive frames differ by what each frame took, as the program's own
// clock saw it (to the millisecond on both systems): with --fps 0 nothing waits between them.
void frameTimes(const Launch& run, std::vector<double>& into) {
    for (std::size_t i = 1; i < run.times.size(); ++i) {
        if (run.times[i - 1] < kBusyFrom || run.times[i] > kBusyTo) continue;
        into.push_back((run.times[i] - run.times[i - 1]) * 1e3);
    }
}

}  // namespace

void measureWindows(const std::string& program, int runs, Figures& out) {
    struct stat info {};
    if (stat(kExe.c_str(), &info) != 0) {
        std::fprintf(stderr, "windows: no %s (./windows.sh builds it)\n", kExe.c_str());
        return;
    }
    out["win.size"] = double(info.st_size) / (1024.0 * 1024.0);
    // A booted prefix keeps one Wine server and X screen for every run, as a Windows desktop keeps
    // its session: a run's start then is the program's, not Wine's own first start.
    if (std::system((kWineRun + " --prefix '" + kPrefix + "' --screen " + kScreen + " --boot").c_str()) != 0) return;
    std::string display;
    {
        std::ifstream file(kPrefix + "/" + kScreen + "/.veldrin-run/xvfb-" + kScreen);
        std::string pid;
        file >> pid >> display;
    }
    if (!display.empty()) setenv("DISPLAY", display.c_str(), 1);

    std::vector<double> wineFirst;
    std::vector<double> linuxFirst;
    for (int i = 0; i < runs; ++i) {
        wineFirst.push_back(launch(kWineRun, underWine({"--windowed", "--debug"}), 0.0, true).firstFrameMs);
        linuxFirst.push_back(launch(program, {"--windowed", "--debug"}, 0.0, true).firstFrameMs);
    }
    out["win.first"] = median(wineFirst);
    out["win.linuxFirst"] = median(linuxFirst);

    char from[32];
    std::snprintf(from, sizeof from, "%g", kBusyFrom);
    const std::vector<std::string> busy = {"--windowed", "--fps", "0", "--debug", "--start", from};
    std::vector<double> wineFrames;
    std::vector<double> linuxFrames;
    for (int i = 0; i < 2; ++i) {
        frameTimes(launch(kWineRun, underWine(busy), kBusyFrom, false, kBusyTo), wineFrames);
        frameTimes(launch(program, busy, kBusyFrom, false, kBusyTo), linuxFrames);
    }
    out["win.median"] = median(wineFrames);
    out["win.p99"] = percentile(wineFrames, 0.99);
    out["win.linuxMedian"] = median(linuxFrames);
    out["win.linuxP99"] = percentile(linuxFrames, 0.99);

    unsetenv("DISPLAY");
    std::system((kWineRun + " --prefix '" + kPrefix + "' --stop").c_str());
}
