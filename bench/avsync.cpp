// How far the picture is ahead of the sound, through a real sound server (a private PulseAudio
// with a null sink): the Linux program, the Windows .exe under Wine, and the page in Chromium and
// Firefox ESR, on a quiet machine, one to three seconds after a half-second stall, and with both
// cores busy from the start. The measuring (tools/measure) is the one the end-to-end tests use;
// here the figures are medians over runs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/bench.h"
#include "tools/measure/av_session.h"
#include "tools/measure/sound_server.h"

namespace {

const std::string kSource = VELDRIN_SOURCE_DIR;
const std::string kExe = kSource + "/build/windows/veldrin.exe";
const std::string kWineRun = kSource + "/tools/wine-run";
const std::string kPrefix = kSource + "/build/windows-cmake/wine-prefix";

// Runs of one kind, quiet or loaded; "<key>.before" is each run's figure before its stall and
// "<key>.after" after it, with ".0", ".1", ... for the runs themselves.
template <class Measure>
void measureKind(Measure measure, StallPlan plan, int runs, const std::string& key, Figures& out) {
    std::vector<double> before;
    std::vector<double> after;
    for (int i = 0; i < runs; ++i) {
        const StallRun run = measure(plan);
        if (!run.failure.empty()) {
            std::fprintf(stderr, "avsync %s: %s\n%s", key.c_str(), run.failure.c_str(), run.messages.c_str());
            continue;
        }
        const std::string n = "." + std::to_string(i);
        before.push_back(run.before.medianMs());
        after.push_back(run.after.medianMs());
        out[key + ".before" + n] = before.back();
        out[key + ".after" + n] = after.back();
    }
    if (!before.empty()) {
        out[key + ".before"] = median(before);
        out[key + ".after"] = median(after);
        out[key + ".runs"] = double(before.size());
    }
}

template <class Measure>
void measureBoth(Measure measure, StallPlan plan, int runs, const std::string& key, Figures& out) {
    measureKind(measure, plan, runs, key + ".quiet", out);
    plan.busyCores = 2;
    measureKind(measure, plan, runs, key + ".busy", out);
}

void measurePage(const SoundServer& server, int runs, Figures& out) {
    const std::string page = kSource + "/build/web";
    if (access((page + "/index.html").c_str(), R_OK) != 0) {
        std::fprintf(stderr, "avsync: no %s (./web.sh --build-only makes it)\n", page.c_str());
        return;
    }
    for (const Browser browser : {Browser::Chromium, Browser::Firefox}) {
        if (!browserInstalled(browser)) {
            std::fprintf(stderr, "avsync: no %s or no Xvfb (tools/install-deps.sh page-sound installs them)\n",
                         browserName(browser));
            continue;
        }
        // Three seconds before the stall: a page drawn in software on a busy machine shows few
        // frames in its first two.
        StallPlan plan;
        plan.firstFrameWithin = 60.0;
        plan.before = 3.0;
        measureBoth([&](const StallPlan& p) { return measurePageAcrossAStall(server, browser, page, p, showTrack()); },
                    plan, runs, browser == Browser::Chromium ? "av.chromium" : "av.firefox", out);
    }
}

}  // namespace

void measureAvSync(const std::string& program, int runs, const std::string& only, Figures& out) {
    if (!SoundServer::installed()) {
        std::fprintf(stderr, "avsync: no pulseaudio (tools/install-deps.sh test installs it)\n");
        return;
    }
    SoundServer server;
    if (!server.running()) {
        std::fprintf(stderr, "avsync: %s\n", server.failure().c_str());
        return;
    }
    // Three runs of each kind are enough to show the spread: each takes some seven seconds.
    runs = std::min(runs, 3);
    if (only.empty() || only == "linux") {
        const Subject linux = linuxProgram(program, server, 62.0);
        measureBoth([&](const StallPlan& p) { return measureAcrossAStall(server, linux, p, showTrack()); }, StallPlan{},
                    runs, "av.linux", out);
    }
    // Two of each for the page: a browser's start takes most of a run.
    if (only.empty() || only == "page") measurePage(server, std::min(runs, 2), out);
    if (!only.empty() && only != "wine") return;

    struct stat info {};
    if (stat(kExe.c_str(), &info) != 0 || access("/usr/lib/wine/wine64", X_OK) != 0) {
        std::fprintf(stderr, "avsync: no %s or no Wine (./windows.sh builds it, tools/install-deps.sh wine installs Wine)\n", kExe.c_str());
        return;
    }
    // One Wine server and X screen for every run, as windows.cpp keeps them.
    if (std::system((kWineRun + " --prefix '" + kPrefix + "' --boot").c_str()) != 0) {
        std::fprintf(stderr, "avsync: %s --boot failed\n", kWineRun.c_str());
        return;
    }
    StallPlan plan;
    plan.firstFrameWithin = 60.0;
    const Subject wine = windowsProgram(kWineRun, kPrefix, kExe, server, 62.0);
    measureBoth([&](const StallPlan& p) { return measureAcrossAStall(server, wine, p, showTrack()); }, plan, runs,
                "av.wine", out);
    std::system((kWineRun + " --prefix '" + kPrefix + "' --stop").c_str());
}
