// The figures of the browser build (build/web/, made by ./web.sh --build-only) in three browser
// engines, in real time: headless Chromium (WebGL through SwiftShader), Firefox ESR and
// WebKitGTK's MiniBrowser (in Xvfb windows, WebGL on Mesa), each driven by the page's shared
// driver (tests/web/drive_page.cjs) and its own timings read back from its report. Every run
// starts a fresh browser, since a viewer's first visit is what the load figures are for.
// Headless Chromium composites the page through SwiftShader too; a browser whose graphics driver
// is blocklisted composites in software instead, which the "soft" figures measure. Also the
// gzipped size of the code the page downloads, without the images and the track that are
// embedded in the .wasm. Given an earlier page's folder, its runs alternate with the current
// page's, so both see the same machine.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

double gzippedBytes(const std::string& bytes) {
    char path[] = "/tmp/veldrin-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return -1.0;
    const bool written = write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
    close(fd);
    double size = -1.0;
    if (written) {
        if (std::FILE* pipe = popen(("gzip -9 -c " + std::string(path) + " | wc -c").c_str(), "r")) {
            if (std::fscanf(pipe, "%lf", &size) != 1) size = -1.0;
            pclose(pipe);
        }
    }
    unlink(path);
    return size;
}

// The download sizes of the page in the folder `page`, under "PREFIX.gzip" and "PREFIX.gzipAll".
void measureSizes(const std::string& page, const std::string& prefix, Figures& out) {
    // The code the page downloads: the .js, and the .wasm without the images and the track.
    std::string wasm = readAll(page + "/veldrin.wasm");
    // The linker leaves runs of zeros out of the data it places, so an asset appears in pieces.
    for (const auto& entry : std::filesystem::directory_iterator(std::string(VELDRIN_SOURCE_DIR) + "/assets")) {
        const std::string ext = entry.path().extension();
        if (ext != ".png" && ext != ".mp3") continue;
        const std::string asset = readAll(entry.path());
        std::size_t from = 0;
        while (from < asset.size()) {
            std::size_t to = asset.find(std::string(8, '\0'), from);
            if (to == std::string::npos) to = asset.size();
            if (to - from >= 64) {
                const std::size_t at = wasm.find(asset.substr(from, to - from));
                if (at != std::string::npos) wasm.erase(at, to - from);
            }
            from = asset.find_first_not_of('\0', to);
            if (from == std::string::npos) break;
        }
    }
    const double js = gzippedBytes(readAll(page + "/veldrin.js"));
    const double code = gzippedBytes(wasm);
    if (js >= 0.0 && code >= 0.0) out[prefix + ".gzip"] = (js + code) / 1024.0;
    const double whole = gzippedBytes(readAll(page + "/veldrin.wasm"));
    if (whole >= 0.0 && js >= 0.0) out[prefix + ".gzipAll"] = (js + whole) / 1024.0;
}

// An executable of that name on PATH, or "".
std::string onPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        if (!folder.empty() && access((folder + "/" + name).c_str(), X_OK) == 0) return folder + "/" + name;
    }
    return "";
}

// The page's report of each visit of a plan for the driver, as name -> value; empty for a visit
// that did not end with one, whose title and console then go to stderr, as the driver's own
// failure does.
std::vector<Figures> drive(const std::string& node, const std::string& plan, std::size_t visits) {
    std::vector<Figures> reports;
    char path[] = "/tmp/veldrin-bench-plan-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return std::vector<Figures>(visits);
    const bool written = write(fd, plan.data(), plan.size()) == ssize_t(plan.size());
    close(fd);
    const std::string source = VELDRIN_SOURCE_DIR;
    const std::string command = "NODE_PATH='" + source + "/build/web-driver/node_modules' '" + node + "' '" + source +
                                "/tests/web/drive_page.cjs' " + path;
    std::string text;
    if (std::FILE* pipe = written ? popen(command.c_str(), "r") : nullptr) {
        char chunk[4096];
        for (std::size_t n = 0; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) text.append(chunk, n);
        pclose(pipe);
    }
    unlink(path);
    std::istringstream lines(text);
    Figures report;
    std::string seen;
    bool done = false;
    for (std::string line; std::getline(lines, line);) {
        if (line == "visit") {
            report.clear();
            seen.clear();
            done = false;
        } else if (line == "title veldrin frames done") {
            done = true;
        } else if (line.rfind("report ", 0) == 0) {
            std::istringstream field(line.substr(7));
            std::string name;
            double value = 0.0;
            if (field >> name >> value) report[name] = value;
        } else if (line == "end") {
            reports.push_back(done ? report : Figures{});
            if (!done) std::fprintf(stderr, "%s", seen.c_str());
        } else if (line.rfind("title ", 0) == 0 || line.rfind("console ", 0) == 0) {
            seen += "web: the page: " + line + "\n";
        } else if (line.rfind("error ", 0) == 0) {
            std::fprintf(stderr, "web: the driver: %s\n", line.c_str() + 6);
        }
    }
    reports.resize(visits);
    return reports;
}

// How the page is opened: the figures' name, the driver's engine, the plan's extra fields, the
// program the driver starts, and whether it needs an X screen and the load is timed too.
struct Engine {
    const char* key;
    const char* engine;
    const char* extra;
    const char* program;
    bool window;
    bool load;
};
const Engine kEngines[] = {
    {"chromium", "chromium", "", "/usr/bin/chromium", false, true},
    {"chromium.soft", "chromium", ",\"chromiumArgs\":[\"--disable-gpu-compositing\"]", "/usr/bin/chromium", false,
     false},
    {"firefox", "firefox", "", "/usr/bin/firefox-esr", true, true},
    {"webkit", "webkit", "", "/usr/bin/WebKitWebDriver", true, true},
};

}  // namespace

void measureWeb(int runs, const std::string& before, Figures& out) {
    const std::string current = std::string(VELDRIN_SOURCE_DIR) + "/build/web";
    if (access((current + "/veldrin.wasm").c_str(), R_OK) != 0) {
        std::fprintf(stderr, "web: no page in %s (./web.sh --build-only makes it)\n", current.c_str());
        return;
    }
    std::vector<std::pair<std::string, std::string>> pages = {{current, "web"}};
    if (!before.empty() && access((before + "/veldrin.wasm").c_str(), R_OK) == 0) pages.insert(pages.begin(), {before, "webBefore"});
    for (const auto& [page, prefix] : pages) measureSizes(page, prefix, out);

    const std::string node = access("/usr/bin/node", X_OK) == 0 ? "/usr/bin/node" : onPath("node");
    const std::string modules = std::string(VELDRIN_SOURCE_DIR) + "/build/web-driver/node_modules";
    if (node.empty() || access((modules + "/puppeteer-core").c_str(), R_OK) != 0) {
        std::fprintf(stderr, "web: no %s, so no timings of the page\n",
                     node.empty() ? "node" : (modules + "/puppeteer-core").c_str());
        return;
    }
    const bool xvfb = !onPath("Xvfb").empty();
    std::vector<const Engine*> engines;
    for (const Engine& engine : kEngines) {
        if (access(engine.program, X_OK) == 0 && (xvfb || !engine.window)) engines.push_back(&engine);
        else
            std::fprintf(stderr, "web: no %s, so no %s rows\n", engine.window && !xvfb ? "Xvfb" : engine.program,
                         engine.key);
    }

    // Load to first frame: a one-frame run from the start; every run is kept ("first.N"), a slow
    // one is what a viewer meets. Where the time goes is the median of each stage's share: from
    // one mark of the page's report to the next. The busiest stretch paced at 60 Hz as the show
    // is: the times between frames and the frames that missed a deadline, medians over the runs.
    const char* const marks[] = {"downloadedAt", "compiledAt", "mainAt", "contextAt", "readyAt", "firstFrameAt"};
    const char* const stages[] = {"download", "compile", "start", "context", "state", "draw"};
    const int frames = int((kBusyTo - kBusyFrom) * 60.0);
    char busy[64];
    std::snprintf(busy, sizeof busy, "frames=%d&start=%g&paced", frames, kBusyFrom);
    const int busyRuns = std::min(runs, 3);
    std::map<std::string, std::vector<double>> firsts;
    std::map<std::string, std::vector<double>> series;
    for (int i = 0; i < runs; ++i) {
        for (const Engine* engine : engines) {
            for (const auto& [page, prefix] : pages) {
                std::vector<std::string> queries;
                if (engine->load) queries.push_back("frames=1");
                if (i < busyRuns) queries.push_back(busy);
                if (queries.empty()) continue;
                std::string folder;
                for (const char c : page) folder += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
                std::string plan = std::string("{\"engine\":\"") + engine->engine + "\",\"page\":\"" + folder + "\"" +
                                   engine->extra + ",\"timeout\":300,\"visits\":[";
                for (std::size_t k = 0; k < queries.size(); ++k)
                    plan += (k > 0 ? "," : "") + std::string("{\"query\":\"") + queries[k] + "\",\"within\":" +
                            (queries[k] == busy ? "180}" : "60}");
                plan += "]}";
                const std::vector<Figures> reports = drive(node, plan, queries.size());
                const std::string key = prefix + "." + engine->key;
                for (std::size_t k = 0; k < queries.size(); ++k) {
                    const Figures& f = reports[k];
                    if (f.empty())
                        std::fprintf(stderr, "web: %s gave no report for ?%s\n", key.c_str(), queries[k].c_str());
                    if (queries[k] == busy) {
                        for (const char* name : {"median", "p99", "late"}) {
                            if (f.count(name) != 0) series[key + "." + name].push_back(f.at(name));
                        }
                        continue;
                    }
                    const auto it = f.find("firstFrameAt");
                    const double first = it != f.end() && it->second > 0.0 ? it->second : -1.0;
                    out[key + ".first." + std::to_string(i)] = first;
                    if (first > 0.0) firsts[key].push_back(first);
                    double from = 0.0;
                    for (std::size_t m = 0; m < std::size(marks); ++m) {
                        const auto at = f.find(marks[m]);
                        if (at == f.end() || at->second < from) break;
                        series[key + ".stage." + stages[m]].push_back(at->second - from);
                        from = at->second;
                    }
                }
            }
        }
    }
    for (const auto& [key, values] : series) out[key] = median(values);
    for (const auto& [key, values] : firsts) {
        out[key + ".first"] = median(values);
        out[key + ".firstMax"] = *std::max_element(values.begin(), values.end());
    }
    out["web.busyFrames"] = frames;
}
