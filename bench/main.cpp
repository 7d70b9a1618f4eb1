// The speed benchmark: every figure the demo is held to, measured in one run and printed in one
// table beside its reference and its aim. Each measurement runs in a process of its own (the
// demo is one global object, and a GL context is best made fresh), so the figures do not
// disturb each other. It never fails: what cannot be measured shows as "-".
//
//   veldrin_bench [--runs N] [--program PATH] [--page-before DIR]
//                 [frames update start memory capture web windows avsync]
//                 (avsync-linux, avsync-page and avsync-wine measure one part of avsync)
//
// --page-before names an earlier build of the page (a copy of build/web): its runs alternate
// with the current page's and its figures print beside them.
// With no names it measures everything (some minutes on two cores; the page in three browsers
// and the picture-against-sound runs take most of it).
// (`veldrin_bench live-reference SECONDS` is the live reference scene the start and memory
// figures launch beside the demo.)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "bench/bench.h"

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return -1.0;
    std::sort(v.begin(), v.end());
    const std::size_t rank = std::size_t(std::ceil(p * double(v.size())));
    return v[std::min(v.size() - 1, rank > 0 ? rank - 1 : 0)];
}

namespace {

const char* const kUsage =
    "usage: veldrin_bench [--runs N] [--program PATH] [--page-before DIR] [MEASUREMENT...]\n"
    "  measurements: frames update start memory capture web windows avsync\n"
    "                (avsync-linux, avsync-page and avsync-wine: one part of avsync)\n"
    "  without any, all of them (some minutes on two cores)\n"
    "  --runs N            runs of each launched measurement (5)\n"
    "  --program PATH      the veldrin program to launch (the one built beside this)\n"
    "  --page-before DIR   an earlier copy of build/web, measured beside the current page\n";

bool isMeasurement(const std::string& name) {
    for (const char* known : {"frames", "update", "start", "memory", "capture", "web", "windows", "avsync",
                              "avsync-linux", "avsync-page", "avsync-wine"}) {
        if (name == known) return true;
    }
    return false;
}

// Runs one measurement in a child process and takes its figures back through a pipe.
void inChild(void (*measure)(Figures&), Figures& into) {
    std::fflush(stdout);
    std::fflush(stderr);
    int fds[2];
    if (pipe(fds) != 0) return;
    const pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        Figures figures;
        measure(figures);
        std::string text;
        for (const auto& [key, value] : figures) text += key + " " + std::to_string(value) + "\n";
        const char* p = text.data();
        std::size_t left = text.size();
        while (left > 0) {
            const ssize_t n = write(fds[1], p, left);
            if (n <= 0) break;
            p += n;
            left -= std::size_t(n);
        }
        _exit(0);
    }
    close(fds[1]);
    std::string text;
    char buffer[1024];
    ssize_t n = 0;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) text.append(buffer, std::size_t(n));
    close(fds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        const std::string row = text.substr(pos, end - pos);
        const std::size_t space = row.find(' ');
        if (space != std::string::npos) into[row.substr(0, space)] = std::atof(row.c_str() + space + 1);
        pos = end == std::string::npos ? text.size() : end + 1;
    }
}

std::string figure(const Figures& f, const char* key, const char* format) {
    const auto it = f.find(key);
    if (it == f.end() || it->second < 0.0) return "-";
    char text[64];
    std::snprintf(text, sizeof text, format, it->second);
    return text;
}

void row(const char* what, const std::string& measured, const std::string& reference, const char* aim) {
    std::printf("| %-52s | %12s | %-30s | %-14s |\n", what, measured.c_str(), reference.c_str(), aim);
}

// The page's rows, a set per engine; with an earlier page measured in the same run, its figure
// in the reference column instead of the desktop's.
void printWebRows(const Figures& f, int runs) {
    const bool before = f.count("webBefore.gzip") != 0;
    const std::string frames = figure(f, "web.busyFrames", "of %.0f frames");
    const struct {
        const char* key;
        const char* name;
    } engines[] = {{"chromium", "Chromium"}, {"firefox", "Firefox ESR"}, {"webkit", "WebKitGTK"}};
    for (const auto& engine : engines) {
        const std::string key = engine.key;
        const auto measured = [&](const std::string& name, const char* format) {
            return figure(f, ("web." + key + "." + name).c_str(), format);
        };
        const auto beside = [&](const std::string& name, const char* format, const std::string& otherwise,
                                const std::string& after = "") {
            return before ? figure(f, ("webBefore." + key + "." + name).c_str(), format) + after : otherwise;
        };
        char label[64];
        std::snprintf(label, sizeof label, "page, %s: load to first frame, median of %d", engine.name, runs);
        row(label, measured("first", "%.0f ms"),
            beside("first", "before %.0f ms", figure(f, "start.first", "desktop %.0f ms")), "< 2000 ms");
        row("  slowest of those runs", measured("firstMax", "%.0f ms"), beside("firstMax", "before %.0f ms", "-"),
            "< 2000 ms");
        row("  104.9-115.669 s at 60 Hz: between frames, median", measured("median", "%.1f ms"),
            beside("median", "before %.1f ms", "a display frame 16.7 ms"), "-");
        row("  the same, p99", measured("p99", "%.1f ms"), beside("p99", "before %.1f ms", "late above 25.0 ms"), "-");
        row("  the same, frames late", measured("late", "%.0f"), beside("late", "before %.0f", frames, " " + frames),
            "0");
        if (key == "chromium") {
            row("  composited in software, p99", measured("soft.p99", "%.1f ms"),
                beside("soft.p99", "before %.1f ms", "-"), "-");
            row("  composited in software, frames late", measured("soft.late", "%.0f"),
                beside("soft.late", "before %.0f", frames, " " + frames), "0");
        }
    }
    row("page: .wasm + .js gzipped, without images and track", figure(f, "web.gzip", "%.0f KB"),
        before ? figure(f, "webBefore.gzip", "before %.0f KB") : figure(f, "web.gzipAll", "with them %.0f KB"),
        "< 1024 KB");
    for (const char* prefix : {"webBefore", "web"}) {
        for (const auto& engine : engines) {
            const std::string key = std::string(prefix) + "." + engine.key;
            if (f.count(key + ".first.0") == 0) continue;
            std::string each;
            for (int i = 0; i < runs; ++i)
                each += (i > 0 ? " " : "") + figure(f, (key + ".first." + std::to_string(i)).c_str(), "%.0f");
            std::printf("%s, %s: load to first frame, each run (ms): %s\n", prefix, engine.name, each.c_str());
            std::string stages;
            for (const char* stage : {"download", "compile", "start", "context", "state", "draw"}) {
                const std::string name = key + ".stage." + stage;
                if (f.count(name) != 0)
                    stages += std::string(stages.empty() ? "" : ", ") + stage + " " + figure(f, name.c_str(), "%.0f");
            }
            std::printf("%s, %s: load to first frame, median of each stage (ms): %s\n", prefix, engine.name,
                        stages.c_str());
        }
    }
}

// Picture ahead of sound, each row the median over runs, the runs' spread beside it; a part that
// was not asked for (`all` false) and has no figures is left out.
void printAvSyncRows(const Figures& f, bool all) {
    const auto spread = [&](const std::string& key) {
        std::vector<double> each;
        for (int i = 0; f.count(key + "." + std::to_string(i)) != 0; ++i) each.push_back(f.at(key + "." + std::to_string(i)));
        if (each.size() < 2) return std::string("-");
        char text[64];
        std::snprintf(text, sizeof text, "%zu runs, %.0f to %.0f ms", each.size(),
                      std::round(*std::min_element(each.begin(), each.end())) + 0.0,
                      std::round(*std::max_element(each.begin(), each.end())) + 0.0);
        return std::string(text);
    };
    const struct {
        const char* key;
        const char* label;
        const char* aim;
    } rows[] = {
        {"av.linux.quiet.before", "picture ahead of sound: Linux program, quiet", "|x| <= 15 ms"},
        {"av.linux.quiet.after", "  1-3 s after a 0.5-s stall", "|x| <= 15 ms"},
        {"av.linux.busy.before", "  both cores busy from the start", "|x| <= 15 ms"},
        {"av.linux.busy.after", "  both cores busy, 1-3 s after the stall", "|x| <= 15 ms"},
        {"av.wine.quiet.before", "picture ahead of sound: .exe under Wine, quiet", "|x| <= 30 ms"},
        {"av.wine.quiet.after", "  1-3 s after a 0.5-s stall", "|x| <= 30 ms"},
        {"av.wine.busy.before", "  both cores busy from the start", "|x| <= 30 ms"},
        {"av.wine.busy.after", "  both cores busy, 1-3 s after the stall", "|x| <= 30 ms"},
        {"av.chromium.quiet.before", "picture ahead of sound: page, Chromium, quiet", "|x| <= 15 ms"},
        {"av.chromium.quiet.after", "  1-3 s after a 0.5-s stall of its main thread", "|x| <= 15 ms"},
        {"av.chromium.busy.before", "  both cores busy from the start", "|x| <= 15 ms"},
        {"av.chromium.busy.after", "  both cores busy, 1-3 s after the stall", "|x| <= 15 ms"},
        {"av.firefox.quiet.before", "picture ahead of sound: page, Firefox ESR, quiet", "|x| <= 15 ms"},
        {"av.firefox.quiet.after", "  1-3 s after a 0.5-s stall of its main thread", "|x| <= 15 ms"},
        {"av.firefox.busy.before", "  both cores busy from the start", "|x| <= 15 ms"},
        {"av.firefox.busy.after", "  both cores busy, 1-3 s after the stall", "|x| <= 15 ms"},
    };
    for (std::size_t group = 0; group < std::size(rows); group += 4) {
        bool any = all;
        for (std::size_t i = group; i < group + 4; ++i) any = any || f.count(rows[i].key) != 0;
        if (!any) continue;
        for (std::size_t i = group; i < group + 4; ++i) {
            // Signed: a negative figure (sound ahead) is a figure, not a missing one.
            const auto it = f.find(rows[i].key);
            char value[32] = "-";
            if (it != f.end()) std::snprintf(value, sizeof value, "%.0f ms", std::round(it->second) + 0.0);
            row(rows[i].label, value, spread(rows[i].key), rows[i].aim);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "live-reference") return runLiveReference(std::atof(argv[2]));
    char self[4096];
    const ssize_t selfLength = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string bench = selfLength > 0 ? std::string(self, std::size_t(selfLength)) : std::string(argv[0]);
    std::string program = VELDRIN_PROGRAM;
    int runs = 5;
    std::string pageBefore;
    std::vector<std::string> wanted;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--runs" && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
        else if (a == "--program" && i + 1 < argc) program = argv[++i];
        else if (a == "--page-before" && i + 1 < argc) pageBefore = argv[++i];
        else if (a == "--help") return std::fputs(kUsage, stdout) < 0 ? 1 : 0;
        else if (isMeasurement(a)) wanted.push_back(a);
        else {
            // A misspelt name would otherwise measure nothing and print a table of dashes.
            std::fprintf(stderr, "veldrin_bench: no such measurement or option: '%s'\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    const auto want = [&](const char* name) {
        return wanted.empty() || std::find(wanted.begin(), wanted.end(), name) != wanted.end();
    };

    Figures f;
    std::string renderer = "-";
    {
        // The renderer's name, from a child too: this process stays free of GL and threads.
        int fds[2];
        if (pipe(fds) == 0) {
            std::fflush(stdout);
            const pid_t child = fork();
            if (child == 0) {
                close(fds[0]);
                const std::string name = rendererName();
                if (write(fds[1], name.data(), name.size()) < 0) _exit(1);
                _exit(0);
            }
            close(fds[1]);
            char buffer[256];
            const ssize_t n = read(fds[0], buffer, sizeof buffer);
            if (n > 0) renderer.assign(buffer, std::size_t(n));
            close(fds[0]);
            waitpid(child, nullptr, 0);
        }
    }
    if (want("frames")) {
        inChild(measureDemoFrames, f);
        inChild(measureReferenceScene, f);
    }
    if (want("update")) inChild(measureUpdate, f);
    if (want("start")) measureStart(program, bench, runs, f);
    if (want("memory")) measureMemory(program, bench, runs, f);
    if (want("capture")) measureCapture(program, f);
    if (want("web")) measureWeb(runs, pageBefore, f);
    if (want("windows")) measureWindows(program, runs, f);
    for (const char* only : {"linux", "page", "wine"}) {
        if (!wanted.empty() && want((std::string("avsync-") + only).c_str()) && !want("avsync"))
            measureAvSync(program, runs, only, f);
    }
    const bool avsync = want("avsync") || want("avsync-linux") || want("avsync-page") || want("avsync-wine");
    if (want("avsync")) measureAvSync(program, runs, "", f);

    const long cores = sysconf(_SC_NPROCESSORS_ONLN);
    std::printf("veldrin speed, 800 x 600, %s, %ld cores\n\n", renderer.c_str(), cores);
    row("figure", "measured", "reference", "aim");
    std::printf("|%s|%s|%s|%s|\n", std::string(54, '-').c_str(), std::string(14, '-').c_str(),
                std::string(32, '-').c_str(), std::string(16, '-').c_str());
    if (want("frames")) {
        row("frame 104.9-115.669 s, draw + glFinish, median", figure(f, "frame.median", "%.1f ms"),
            figure(f, "ref.median", "%.1f ms plain scene"), "-");
        row("frame 104.9-115.669 s, draw + glFinish, p99", figure(f, "frame.p99", "%.1f ms"),
            figure(f, "ref.p99", "%.1f ms plain scene"), "< 16.7 ms");
    }
    if (want("update")) {
        row("Demo::update CPU per frame, median, whole show", figure(f, "update.median", "%.1f us"), "-", "< 30 us");
        row("  median in the busiest scene window", figure(f, "update.worst", "%.1f us"), "-", "< 30 us");
        const char* names[][2] = {{"update.cards", "    cards alone (0-15.37 s and on)"},
                                  {"update.cloud", "    cloud (15.37-95.37 s)"},
                                  {"update.knot0", "    knot, mode 0 (58.366-75 s)"},
                                  {"update.knot4", "    knot, mode 4 (75-115.669 s)"},
                                  {"update.laser", "    laser (104.9-151.492 s)"},
                                  {"update.dodeca", "    dodecahedra (140.745-187 s)"}};
        for (const auto& n : names) row(n[1], figure(f, n[0], "%.1f us"), "-", "");
    }
    if (want("start")) {
        char label[64];
        std::snprintf(label, sizeof label, "%s, median of %d", "start to first presented frame", runs);
        row(label, figure(f, "start.first", "%.0f ms"), figure(f, "start.reference", "%.0f ms plain scene, live"),
            "< 150 ms");
        std::snprintf(label, sizeof label, "%s, median of %d", "--start 186 to its first frame", runs);
        row(label, figure(f, "start.late", "%.0f ms"), "-", "< 500 ms");
    }
    if (want("memory")) {
        char label[64];
        std::snprintf(label, sizeof label, "peak resident memory, 180 s to the end, median of %d", runs);
        row(label, figure(f, "memory.peak", "%.1f MB"),
            figure(f, "memory.reference", "%.1f MB plain scene, live"), "<= 110, ref+15");
    }
    if (want("frames") || want("capture")) {
        row("capture 104.9-124.9 s: draw + readback", figure(f, "render.fps", "%.1f fps"),
            figure(f, "ref.fps", "%.1f fps plain scene"), "-");
    }
    if (want("capture")) {
        row("capture 104.9-124.9 s: draw + readback + encode", figure(f, "capture.fps", "%.1f fps"),
            "60 fps real time", ">= 60 fps");
        row("  wall time of that capture, start-up included", figure(f, "capture.wall", "%.1f s"), "20 s real time",
            "<= 20 s");
    }
    if (want("web")) printWebRows(f, runs);
    if (want("windows")) {
        row("Windows .exe, stripped", figure(f, "win.size", "%.1f MB"), "-", "-");
        char label[64];
        std::snprintf(label, sizeof label, "Wine: start to first frame, median of %d", runs);
        row(label, figure(f, "win.first", "%.0f ms"), figure(f, "win.linuxFirst", "Linux, same X %.0f ms"),
            "Linux + 20 %");
        row("Wine: frame 104.9-115.669 s, --fps 0, median", figure(f, "win.median", "%.1f ms"),
            figure(f, "win.linuxMedian", "Linux, same X %.1f ms"), "Linux + 20 %");
        row("Wine: frame 104.9-115.669 s, --fps 0, p99", figure(f, "win.p99", "%.1f ms"),
            figure(f, "win.linuxP99", "Linux, same X %.1f ms"), "Linux + 20 %");
    }
    if (avsync) printAvSyncRows(f, want("avsync"));
    std::printf("\nframes, update and capture in one run; start-up and memory over %d launches; timings are wall\n"
                "clock on a machine that may be shared, Demo::update is this thread's CPU time. The page's figures\n"
                "are the build ./web.sh makes, in headless Chromium (WebGL through SwiftShader), Firefox ESR and\n"
                "WebKitGTK's MiniBrowser (in Xvfb windows, WebGL on Mesa), driven by tests/web/drive_page.cjs, a\n"
                "fresh browser each run, the busiest stretch over at most 3 runs. Headless Chromium composites the\n"
                "page through SwiftShader as well, where a browser with a blocklisted driver composites in\n"
                "software. Paced at 60 Hz, a frame is late when it comes more than 1.5 display frames after the\n"
                "one before. The load's stages: the .wasm downloaded, compiled, the program started, its GL\n"
                "context made, its images and track ready, its first frame drawn.\n"
                "Picture ahead of sound: what a private PulseAudio null sink was heard playing (its monitor,\n"
                "the reported latencies accounted for) against the music time of each frame, --start 62; the\n"
                "stall is SIGSTOP for 0.5 s two seconds in (the page: a 0.5-s busy loop on its main thread;\n"
                "?start=62&debug in a window on Xvfb); busy is a busy loop on each core.\n",
                runs);
    return 0;
}
