// The figures of the program itself, launched as a viewer launches it: start to first frame,
// a late start, peak memory of a live run, and a capture with its encoder; and the plain
// reference scene launched live beside it.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench/bench.h"
#include "platform/clock.h"

Launch launch(const std::string& program, const std::vector<std::string>& args, double start, bool stopAtFirstFrame,
              double stopAt) {
    Launch result;
    int fds[2];
    if (pipe(fds) != 0) return result;
    const std::int64_t t0 = steadyNowNs();
    const pid_t child = fork();
    if (child < 0) return result;
    if (child == 0) {
        dup2(fds[1], 2);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    std::string line;
    int shown = 0;
    bool stopped = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = read(fds[0], buffer, sizeof buffer);
        if (n <= 0) break;
        for (ssize_t i = 0; i < n; ++i) {
            const char c = buffer[i];
            if (c == '\r') continue;  // a Windows program's stderr ends its lines with CR LF
            if (c != '\n') {
                line += c;
                continue;
            }
            char* end = nullptr;
            const double t = std::strtod(line.c_str(), &end);
            const bool isTime = line.size() == 8 && line[3] == '.' && end != nullptr && *end == '\0';
            if (!isTime && result.stderrText.size() < 4096) result.stderrText += line + "\n";
            if (isTime && t >= start - 1e-9) {
                if (stopAt > 0.0) result.times.push_back(t);
                if (++shown == 2 && result.firstFrameMs < 0.0) {
                    result.firstFrameMs = ms(steadyNowNs() - t0);
                    if (stopAtFirstFrame && !stopped) {
                        kill(child, SIGTERM);
                        stopped = true;
                    }
                }
                if (stopAt > 0.0 && t >= stopAt && !stopped) {
                    kill(child, SIGTERM);
                    stopped = true;
                }
            }
            line.clear();
        }
    }
    close(fds[0]);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    result.wallSeconds = double(steadyNowNs() - t0) / 1e9;
    result.peakMb = double(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

namespace {

// The live reference scene for as long as the demo plays from 180 s to its end.
std::vector<std::string> liveReference() { return {"live-reference", "7.06"}; }

}  // namespace

void measureStart(const std::string& program, const std::string& bench, int runs, Figures& out) {
    std::vector<double> first;
    std::vector<double> late;
    std::vector<double> reference;
    for (int i = 0; i < runs; ++i) {
        first.push_back(launch(program, {"--windowed", "--debug"}, 0.0, true).firstFrameMs);
        late.push_back(launch(program, {"--windowed", "--debug", "--start", "186"}, 186.0, true).firstFrameMs);
        reference.push_back(launch(bench, liveReference(), 0.0, true).firstFrameMs);
    }
    out["start.first"] = median(first);
    out["start.late"] = median(late);
    out["start.reference"] = median(reference);
}

void measureMemory(const std::string& program, const std::string& bench, int runs, Figures& out) {
    // In turns, so that both see the same load: with other work on the cores the software
    // renderer falls behind and the frames it holds in flight add tens of megabytes.
    std::vector<double> demo;
    std::vector<double> reference;
    for (int i = 0; i < runs; ++i) {
        const Launch run = launch(program, {"--windowed", "--start", "180"}, 180.0, false);
        if (run.status == 0) demo.push_back(run.peakMb);
        const Launch plain = launch(bench, liveReference(), 0.0, false);
        if (plain.status == 0) reference.push_back(plain.peakMb);
    }
    out["memory.peak"] = median(demo);
    out["memory.reference"] = median(reference);
}

void measureCapture(const std::string& program, Figures& out) {
    char folder[] = "/tmp/veldrin-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) return;
    const std::string file = std::string(folder) + "/busy.mp4";
    char from[32];
    char to[32];
    std::snprintf(from, sizeof from, "%g", kBusyFrom);
    std::snprintf(to, sizeof to, "%g", kCaptureTo);
    const Launch run = launch(program, {"--capture", file, "--start", from, "--end", to}, 1e9, false);
    // The summary line ends "... in 0:35 (34.2 fps), 12.3 MB".
    const std::size_t at = run.stderrText.rfind(" fps),");
    if (run.status == 0 && at != std::string::npos) {
        const std::size_t open = run.stderrText.rfind('(', at);
        if (open != std::string::npos) out["capture.fps"] = std::atof(run.stderrText.c_str() + open + 1);
        out["capture.wall"] = run.wallSeconds;
    } else {
        std::fprintf(stderr, "capture failed: %s", run.stderrText.c_str());
    }
    std::remove(file.c_str());
    rmdir(folder);
}
