// The figures of the browser build (build/web/, made by ./web.sh --build-only), in Debian's
// headless Chromium drawing WebGL in software (SwiftShader), in real time: the page driven
// through Chromium's DevTools protocol on a pipe (no network port), its own timings read back
// from it. Headless Chromium composites the page through SwiftShader too; a browser whose
// graphics driver is blocklisted composites in software instead, which the "soft" figures
// measure. Also the gzipped size of the code the page downloads, without the images and the
// track that are embedded in the .wasm. Given an earlier page's folder, its runs alternate with
// the current page's, so both see the same machine.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench.h"
#include "tests/support/browser_control.h"

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

// Chromium with its DevTools protocol on file descriptors 3 (commands in) and 4 (answers out),
// messages ending in a zero byte.
class Browser {
public:
    Browser(const std::string& url, bool softwareCompositing) {
        profile_ = "/tmp/veldrin-bench-profile-" + std::to_string(getpid());
        int in[2];
        int out[2];
        if (pipe(in) != 0 || pipe(out) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // The pipes may themselves be on 3 and 4: move them out of the way first.
            const int commands = fcntl(in[0], F_DUPFD, 10);
            const int answers = fcntl(out[1], F_DUPFD, 10);
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            for (int fd : {in[0], in[1], out[0], out[1], null}) close(fd);
            dup2(commands, 3);
            dup2(answers, 4);
            close(commands);
            close(answers);
            const std::string dataDir = "--user-data-dir=" + profile_;
            std::vector<const char*> args = {"chromium", "--headless", "--no-sandbox", "--use-angle=swiftshader",
                                             "--enable-unsafe-swiftshader", "--disable-background-networking",
                                             "--disable-component-update", "--disable-sync", "--no-first-run",
                                             "--allow-file-access-from-files", "--window-size=800,600",
                                             "--remote-debugging-pipe", dataDir.c_str()};
            if (softwareCompositing) args.push_back("--disable-gpu-compositing");
            args.push_back(url.c_str());
            args.push_back(nullptr);
            execv("/usr/bin/chromium", const_cast<char* const*>(args.data()));
            _exit(127);
        }
        close(in[0]);
        close(out[1]);
        to_ = in[1];
        from_ = out[0];
    }
    ~Browser() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (to_ >= 0) close(to_);
        if (from_ >= 0) close(from_);
        std::error_code ignored;
        std::filesystem::remove_all(profile_, ignored);
    }
    Browser(const Browser&) = delete;
    Browser& operator=(const Browser&) = delete;

    // The answer to one command, or "" after the deadline.
    std::string call(const std::string& method, const std::string& params, double seconds = 30.0) {
        const int id = next_++;
        std::string message = "{\"id\":" + std::to_string(id) + ",";
        if (!session_.empty()) message += "\"sessionId\":\"" + session_ + "\",";
        message += "\"method\":\"" + method + "\",\"params\":" + params + "}";
        message.push_back('\0');
        if (to_ < 0 || write(to_, message.data(), message.size()) != ssize_t(message.size())) return "";
        const std::string tag = "\"id\":" + std::to_string(id) + ",";
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        for (;;) {
            const std::size_t end = buffer_.find('\0');
            if (end != std::string::npos) {
                std::string answer = buffer_.substr(0, end);
                buffer_.erase(0, end + 1);
                if (answer.find(tag) != std::string::npos) return answer;
                continue;
            }
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            pollfd wait{from_, POLLIN, 0};
            if (left.count() <= 0 || poll(&wait, 1, int(left.count())) <= 0) return "";
            char chunk[65536];
            const ssize_t n = read(from_, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer_.append(chunk, std::size_t(n));
        }
    }

    // Attaches to the page the browser opened with; false when there is none.
    bool attach() {
        const std::string targets = call("Target.getTargets", "{}");
        const std::size_t page = targets.find("\"type\":\"page\"");
        const std::size_t id = targets.rfind("\"targetId\":\"", page);
        if (page == std::string::npos || id == std::string::npos) return false;
        const std::string target = targets.substr(id + 12, targets.find('"', id + 12) - id - 12);
        const std::string attached =
            call("Target.attachToTarget", "{\"targetId\":\"" + target + "\",\"flatten\":true}");
        const std::size_t s = attached.find("\"sessionId\":\"");
        if (s == std::string::npos) return false;
        session_ = attached.substr(s + 13, attached.find('"', s + 13) - s - 13);
        return true;
    }

    // A string expression evaluated in the page.
    std::string evaluate(const std::string& expression) {
        const std::string answer =
            call("Runtime.evaluate", "{\"expression\":\"" + expression + "\",\"returnByValue\":true}");
        return stringValue(answer);
    }

private:
    pid_t pid_ = -1;
    int to_ = -1;
    int from_ = -1;
    int next_ = 1;
    std::string buffer_;
    std::string session_;
    std::string profile_;
};

// The page's report after a run of timed frames, as name → value.
Figures runFrames(const std::string& page, const std::string& query, double seconds, bool softwareCompositing = false) {
    Figures figures;
    Browser browser("file://" + page + "/index.html?" + query, softwareCompositing);
    if (!browser.attach()) return figures;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (browser.evaluate("document.title") == "veldrin frames done") {
            std::istringstream report(browser.evaluate("document.getElementById('report').textContent"));
            std::string name;
            double value = 0.0;
            while (report >> name >> value) figures[name] = value;
            break;
        }
        usleep(200000);
    }
    return figures;
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

}  // namespace

void measureWeb(int runs, const std::string& before, Figures& out) {
    const std::string current = std::string(VELDRIN_SOURCE_DIR) + "/build/web";
    if (access((current + "/veldrin.wasm").c_str(), R_OK) != 0 || access("/usr/bin/chromium", X_OK) != 0) return;
    std::vector<std::pair<std::string, std::string>> pages = {{current, "web"}};
    if (!before.empty() && access((before + "/veldrin.wasm").c_str(), R_OK) == 0) pages.insert(pages.begin(), {before, "webBefore"});
    for (const auto& [page, prefix] : pages) measureSizes(page, prefix, out);

    // Load to first frame: a one-frame run from the start, the page freshly opened each time;
    // every run is kept ("PREFIX.first.N"), a slow one is what a viewer meets. Where the time
    // goes is the median of each stage's share: from one mark of the page's report to the next.
    const char* const marks[] = {"downloadedAt", "compiledAt", "mainAt", "contextAt", "readyAt", "firstFrameAt"};
    const char* const stages[] = {"download", "compile", "start", "context", "state", "draw"};
    std::map<std::string, std::vector<double>> firsts;
    std::map<std::string, std::vector<double>> stageMs;
    for (int i = 0; i < runs; ++i) {
        for (const auto& [page, prefix] : pages) {
            const Figures f = runFrames(page, "frames=1", 60.0);
            const auto it = f.find("firstFrameAt");
            const double first = it != f.end() && it->second > 0.0 ? it->second : -1.0;
            out[prefix + ".first." + std::to_string(i)] = first;
            if (first > 0.0) firsts[prefix].push_back(first);
            double from = 0.0;
            for (std::size_t k = 0; k < std::size(marks); ++k) {
                const auto at = f.find(marks[k]);
                if (at == f.end() || at->second < from) break;
                stageMs[prefix + ".stage." + stages[k]].push_back(at->second - from);
                from = at->second;
            }
        }
    }
    for (auto& [key, values] : stageMs) out[key] = median(values);
    // The busiest stretch: one frame after the other, each drawn and finished (".median",
    // ".p99"), and paced at the display's 60 Hz as the show is (".late": frames that missed a
    // deadline); each with the page composited through SwiftShader and in software (".soft").
    // The figures are the medians over the runs.
    const int frames = int((kBusyTo - kBusyFrom) * 60.0);
    const int busyRuns = std::min(runs, 3);
    const std::string busy = "frames=" + std::to_string(frames) + "&start=" + std::to_string(kBusyFrom);
    std::map<std::string, std::vector<double>> series;
    for (int i = 0; i < busyRuns; ++i) {
        for (const auto& [page, prefix] : pages) {
            for (const bool soft : {false, true}) {
                const std::string key = prefix + (soft ? ".soft" : "");
                const Figures timed = runFrames(page, busy, 300.0, soft);
                for (const char* name : {"median", "p99"}) {
                    if (timed.count(name) != 0) series[key + "." + name].push_back(timed.at(name));
                }
                const Figures paced = runFrames(page, busy + "&paced", 300.0, soft);
                if (paced.count("late") != 0) series[key + ".late"].push_back(paced.at("late"));
            }
        }
    }
    for (const auto& [key, values] : series) out[key] = median(values);
    for (const auto& [page, prefix] : pages) {
        out[prefix + ".first"] = median(firsts[prefix]);
        out[prefix + ".firstMax"] =
            firsts[prefix].empty() ? -1.0 : *std::max_element(firsts[prefix].begin(), firsts[prefix].end());
    }
    out["web.busyFrames"] = frames;
}
