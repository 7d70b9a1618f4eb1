// How far the picture is ahead of the sound, through a real sound server (a private PulseAudio
// with a null sink): the Linux program and the Windows .exe under Wine, on a quiet machine, one
// to three seconds after a half-second stall, and with both cores busy from the start. The
// measuring (tests/support) is the end-to-end tests'; here the figures are medians over runs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "bench/bench.h"
#include "tests/support/av_session.h"
#include "tests/support/sound_server.h"

namespace {

const std::string kSource = VELDRIN_SOURCE_DIR;
const std::string kExe = kSource + "/build/windows/veldrin.exe";
const std::string kWineRun = kSource + "/tools/wine-run";
const std::string kPrefix = kSource + "/build/windows-cmake/wine-prefix";

// Runs of one kind, quiet or loaded; "<key>.quiet" is each run's figure before its stall and
// "<key>.after" after it, with ".0", ".1", ... for the runs themselves.
void measureKind(const SoundServer& server, const Subject& subject, StallPlan plan, int runs, const std::string& key,
                 Figures& out) {
    std::vector<double> before;
    std::vector<double> after;
    for (int i = 0; i < runs; ++i) {
        const StallRun run = measureAcrossAStall(server, subject, plan, showTrack());
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

void measureBoth(const SoundServer& server, const Subject& subject, StallPlan plan, int runs, const std::string& key,
                 Figures& out) {
    measureKind(server, subject, plan, runs, key + ".quiet", out);
    plan.busyCores = 2;
    measureKind(server, subject, plan, runs, key + ".busy", out);
}

}  // namespace

void measureAvSync(const std::string& program, int runs, Figures& out) {
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
    measureBoth(server, linuxProgram(program, server, 62.0), StallPlan{}, runs, "av.linux", out);

    struct stat info {};
    if (stat(kExe.c_str(), &info) != 0 || access("/usr/lib/wine/wine64", X_OK) != 0) {
        std::fprintf(stderr, "avsync: no %s or no Wine (./windows.sh builds and installs them)\n", kExe.c_str());
        return;
    }
    // One Wine server and X screen for every run, as windows.cpp keeps them.
    if (std::system((kWineRun + " --prefix '" + kPrefix + "' --boot").c_str()) != 0) return;
    StallPlan plan;
    plan.firstFrameWithin = 60.0;
    measureBoth(server, windowsProgram(kWineRun, kPrefix, kExe, server, 62.0), plan, runs, "av.wine", out);
    std::system((kWineRun + " --prefix '" + kPrefix + "' --stop").c_str());
}
