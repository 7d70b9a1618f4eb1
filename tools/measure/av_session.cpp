// The measured run: the recorder's thread, the launched program's frame lines read on the calling
// thread as they arrive, the stall, and an end that escalates until everything started is gone.
#include "tools/measure/av_session.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pulse/pulseaudio.h>

#include <filesystem>

#include "assets/embedded.h"
#include "platform/clock.h"
#include "tools/measure/whole_track.h"

extern char** environ;

namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

std::int64_t seconds(double s) { return std::int64_t(s * 1e9); }

}  // namespace

MonitorRecorder::MonitorRecorder(const SoundServer& server) {
    thread_ = std::thread(&MonitorRecorder::run, this, server.address(), std::string(server.monitorSource()));
    std::unique_lock<std::mutex> lock(mutex_);
    if (!started_.wait_for(lock, std::chrono::seconds(6), [&] { return ready_ || !failure_.empty(); })) {
        failure_ = "the monitor's record stream did not start within 6 s";
    }
}

MonitorRecorder::~MonitorRecorder() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

std::string MonitorRecorder::failure() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failure_;
}

Recording MonitorRecorder::finish() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return std::move(recording_);
}

void MonitorRecorder::run(std::string address, std::string source) {
    auto fail = [&](const std::string& why) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failure_.empty()) failure_ = why;
        started_.notify_all();
    };
    pa_mainloop* loop = pa_mainloop_new();
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "veldrin what is heard");
    pa_stream* stream = nullptr;
    const std::int64_t connectBy = steadyNowNs() + 5 * kSecond;
    bool ok = pa_context_connect(context, address.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
    while (ok && pa_context_get_state(context) != PA_CONTEXT_READY) {
        const pa_context_state_t state = pa_context_get_state(context);
        ok = state != PA_CONTEXT_FAILED && state != PA_CONTEXT_TERMINATED && steadyNowNs() < connectBy && !stop_ &&
             stepMainLoop(loop, 20000) >= 0;
    }
    if (!ok) fail(std::string("cannot reach the sound server: ") + pa_strerror(pa_context_errno(context)));
    if (ok) {
        const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, kTrackRate, 2};
        stream = pa_stream_new(context, "monitor", &format, nullptr);
        // Fragments of about 6 ms: each arrives soon after it was heard, and is stamped then.
        pa_buffer_attr attributes{};
        attributes.maxlength = std::uint32_t(-1);
        attributes.tlength = std::uint32_t(-1);
        attributes.prebuf = std::uint32_t(-1);
        attributes.minreq = std::uint32_t(-1);
        attributes.fragsize = 256 * 2 * sizeof(float);
        const auto flags = static_cast<pa_stream_flags_t>(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                                          PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE);
        ok = stream != nullptr && pa_stream_connect_record(stream, source.c_str(), &attributes, flags) >= 0;
        while (ok && pa_stream_get_state(stream) != PA_STREAM_READY) {
            const pa_stream_state_t state = pa_stream_get_state(stream);
            ok = state != PA_STREAM_FAILED && state != PA_STREAM_TERMINATED && steadyNowNs() < connectBy && !stop_ &&
                 stepMainLoop(loop, 20000) >= 0;
        }
        if (!ok) fail(std::string("cannot record ") + source + ": " + pa_strerror(pa_context_errno(context)));
    }
    if (ok) {
        std::lock_guard<std::mutex> lock(mutex_);
        ready_ = true;
        started_.notify_all();
    }
    while (ok && !stop_) {
        ok = stepMainLoop(loop, 20000) >= 0 && pa_stream_get_state(stream) == PA_STREAM_READY;
        bool arrived = false;
        for (;;) {
            const void* data = nullptr;
            std::size_t bytes = 0;
            if (!ok || pa_stream_peek(stream, &data, &bytes) < 0 || bytes == 0) break;
            const std::size_t floats = bytes / sizeof(float);
            if (data != nullptr) {
                const auto* samples = static_cast<const float*>(data);
                recording_.samples.insert(recording_.samples.end(), samples, samples + floats);
            } else {
                recording_.samples.insert(recording_.samples.end(), floats, 0.0f);  // a hole: keep the count
            }
            pa_stream_drop(stream);
            arrived = true;
        }
        // The stream's latency counts from when the newest sample was heard to now; a monitor's
        // is negative by the sink's own latency, since it passes on what the sink is yet to play.
        pa_usec_t latency = 0;
        int negative = 0;
        if (arrived && pa_stream_get_latency(stream, &latency, &negative) == 0) {
            const std::int64_t latencyNs = std::int64_t(latency) * 1000 * (negative != 0 ? -1 : 1);
            recording_.marks.push_back({recording_.frames(), steadyNowNs() - latencyNs});
        }
        if (!ok) fail("the record stream ended");
    }
    closeClient(stream, context, loop);
}

BusyCores::BusyCores(int count) {
    const pid_t parent = getpid();
    for (int i = 0; i < count; ++i) {
        const pid_t child = fork();
        if (child == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            if (getppid() != parent) _exit(0);
            volatile std::uint64_t spins = 0;
            for (;;) spins = spins + 1;
        }
        if (child > 0) pids_.push_back(child);
    }
}

BusyCores::~BusyCores() {
    for (pid_t pid : pids_) kill(pid, SIGKILL);
    for (pid_t pid : pids_) waitpid(pid, nullptr, 0);
}

std::optional<double> consoleFrameTime(const std::string& line) {
    if (line.find("CONSOLE") == std::string::npos && line.find("console") == std::string::npos) return std::nullopt;
    const auto digit = [&](std::size_t i) { return i < line.size() && line[i] >= '0' && line[i] <= '9'; };
    for (std::size_t i = 0; i + 8 <= line.size(); ++i) {
        if ((i > 0 && (digit(i - 1) || line[i - 1] == '.')) || digit(i + 8) || line[i + 3] != '.') continue;
        bool all = true;
        for (std::size_t k = 0; k < 8 && all; ++k) all = k == 3 || digit(i + k);
        if (all && frameLineTime(line.substr(i, 8))) return frameLineTime(line.substr(i, 8));
    }
    return std::nullopt;
}

const TrackLocator& showTrack() {
    static const TrackLocator track(decodedShowTrack());
    return track;
}

std::optional<double> frameLineTime(const std::string& line) {
    std::string text = line;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (text.size() != 8 || text[3] != '.') return std::nullopt;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (i != 3 && (text[i] < '0' || text[i] > '9')) return std::nullopt;
    }
    return std::strtod(text.c_str(), nullptr);
}

namespace {

std::string formatSeconds(double s) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", s);
    return text;
}

struct ProcessInfo {
    pid_t parent = 0;
    std::string name;
    char state = '?';
};

std::optional<ProcessInfo> processInfo(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(in, text)) return std::nullopt;
    // "pid (name) S ppid ...": the name may hold spaces and parentheses; it ends at the last ')'.
    const std::size_t open = text.find('('), close = text.rfind(')');
    if (open == std::string::npos || close == std::string::npos || close + 4 >= text.size()) return std::nullopt;
    ProcessInfo info;
    info.name = text.substr(open + 1, close - open - 1);
    info.state = text[close + 2];
    info.parent = pid_t(std::atoi(text.c_str() + close + 4));
    return info;
}

// The Wine process of the program wine-run started: among the descendants of `root`, the child
// of a `timeout`.
pid_t wineProgramUnder(pid_t root) {
    std::map<pid_t, ProcessInfo> all;
    if (DIR* proc = opendir("/proc")) {
        while (const dirent* entry = readdir(proc)) {
            const pid_t pid = pid_t(std::atoi(entry->d_name));
            if (pid <= 0) continue;
            if (const auto info = processInfo(pid)) all[pid] = *info;
        }
        closedir(proc);
    }
    for (const auto& [pid, info] : all) {
        const auto parent = all.find(info.parent);
        if (parent == all.end() || parent->second.name != "timeout") continue;
        for (pid_t up = info.parent; up > 1;) {
            if (up == root) return pid;
            const auto it = all.find(up);
            up = it == all.end() ? 0 : it->second.parent;
        }
    }
    return -1;
}

bool stoppedWithin(pid_t pid, double s) {
    const std::int64_t until = steadyNowNs() + seconds(s);
    do {
        const auto info = processInfo(pid);
        if (info && (info->state == 'T' || info->state == 't')) return true;
        usleep(1000);
    } while (steadyNowNs() < until);
    return false;
}

// The launched process: its stderr read on the calling thread, each line stamped on arrival;
// however the run ends, the destructor leaves nothing of it running.
// Starts `command` in a process group of its own that dies with this process: stdout and stderr
// to `output` (when not -1; else /dev/null), each (to, from) in `descriptors` as descriptor `to`,
// the environment changed by `environment` ("NAME=value" set, bare "NAME" removed). -1 on failure.
pid_t spawn(const std::vector<std::string>& command, const std::vector<std::string>& environment, int output,
            bool outputToo, const std::vector<std::pair<int, int>>& descriptors) {
    std::vector<std::string> entries;
    const auto changed = [&](const std::string& entry) {
        const std::string name = entry.substr(0, entry.find('='));
        return std::any_of(environment.begin(), environment.end(),
                           [&](const std::string& e) { return e.substr(0, e.find('=')) == name; });
    };
    for (char** e = environ; *e != nullptr; ++e) {
        if (!changed(*e)) entries.emplace_back(*e);
    }
    for (const std::string& e : environment) {
        if (e.find('=') != std::string::npos) entries.push_back(e);
    }
    // Everything the child needs is made before the fork: the recorder's thread runs, so
    // between fork and exec only async-signal-safe calls are allowed.
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& e : entries) envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    if (command.empty()) return -1;
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        setpgid(0, 0);
        const int none = open("/dev/null", O_RDWR | O_CLOEXEC);
        // Out of the way of the numbers they go to first.
        int moved[8];
        const std::size_t count = std::min<std::size_t>(descriptors.size(), 8);
        for (std::size_t i = 0; i < count; ++i) moved[i] = fcntl(descriptors[i].second, F_DUPFD_CLOEXEC, 64);
        dup2(none, 0);
        dup2(output >= 0 && outputToo ? output : none, 1);
        dup2(output >= 0 ? output : none, 2);
        for (std::size_t i = 0; i < count; ++i) dup2(moved[i], descriptors[i].first);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    if (pid > 0) setpgid(pid, pid);
    return pid;
}

// The launched process: its stderr (and stdout, where asked) read on the calling thread, each
// line stamped on arrival; however the run ends, the destructor leaves nothing of it running.
class Launched {
public:
    explicit Launched(const Subject& subject) : frameTime_(subject.frameTime) {
        int fds[2];
        if (pipe2(fds, O_CLOEXEC) != 0) return;
        pid_ = spawn(subject.command, subject.environment, fds[1], subject.outputToo, subject.descriptors);
        close(fds[1]);
        if (pid_ < 0) {
            close(fds[0]);
            return;
        }
        fd_ = fds[0];
        startedNs_ = steadyNowNs();
    }

    ~Launched() {
        if (pid_ > 0 && !reaped_) {
            kill(-pid_, SIGKILL);
            if (target_ > 0) kill(target_, SIGKILL);
            reap(5.0);
        }
        if (fd_ >= 0) close(fd_);
    }

    Launched(const Launched&) = delete;
    Launched& operator=(const Launched&) = delete;

    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }
    void setTarget(pid_t target) { target_ = target; }
    std::int64_t startedNs() const { return startedNs_; }

    // Reads what arrives until `untilNs`, or until done() says so.
    template <class Done>
    void readUntil(std::int64_t untilNs, Done done) {
        char buffer[4096];
        for (std::int64_t now = steadyNowNs(); now < untilNs && !done(); now = steadyNowNs()) {
            if (fd_ < 0) {  // the pipe has closed: only done() can end the wait early
                usleep(5000);
                continue;
            }
            pollfd p{fd_, POLLIN, 0};
            const int waitMs = int(std::clamp<std::int64_t>((untilNs - now) / 1'000'000 + 1, 1, 20));
            if (poll(&p, 1, waitMs) <= 0) continue;
            const ssize_t n = read(fd_, buffer, sizeof buffer);
            const std::int64_t arrived = steadyNowNs();
            if (n <= 0) {
                close(fd_);
                fd_ = -1;
                continue;
            }
            for (ssize_t i = 0; i < n; ++i) {
                if (buffer[i] != '\n') {
                    partial_ += buffer[i];
                    continue;
                }
                if (const auto t = frameTime_(partial_)) {
                    frames.push_back({*t, arrived});
                } else if (messages.size() < 4096) {
                    messages += partial_ + "\n";
                }
                partial_.clear();
            }
        }
    }
    void readUntil(std::int64_t untilNs) {
        readUntil(untilNs, [] { return false; });
    }

    // Ends the run politely, then less so: SIGTERM to the program itself, the whole process group
    // after `within` seconds, SIGKILL after as long again (three seconds at most). The exit
    // status of the launched process.
    int end(double within) {
        const pid_t program = target_ > 0 ? target_ : pid_;
        kill(program, SIGCONT);
        kill(program, SIGTERM);
        const auto exited = [&] { return reap(0.0); };
        readUntil(steadyNowNs() + seconds(within), exited);
        if (!reaped_) {
            kill(-pid_, SIGTERM);
            readUntil(steadyNowNs() + seconds(std::min(within, 3.0)), exited);
        }
        if (!reaped_) {
            kill(-pid_, SIGKILL);
            kill(program, SIGKILL);
            reap(5.0);
        }
        kill(-pid_, SIGKILL);  // what is left of its group: a browser's other processes
        if (program != pid_) kill(program, SIGKILL);
        readUntil(steadyNowNs() + kSecond / 5, [&] { return fd_ < 0; });  // what is left in the pipe
        return status_;
    }

    std::vector<ShownFrame> frames;
    std::string messages;

private:
    bool reap(double within) {
        if (reaped_) return true;
        const std::int64_t until = steadyNowNs() + seconds(within);
        do {
            int status = 0;
            const pid_t done = waitpid(pid_, &status, WNOHANG);
            if (done == pid_) {
                status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
                reaped_ = true;
                return true;
            }
            if (done < 0) {
                reaped_ = true;
                return true;
            }
            if (within > 0.0) usleep(5000);
        } while (steadyNowNs() < until);
        return false;
    }

    pid_t pid_ = -1;
    pid_t target_ = -1;
    int fd_ = -1;
    bool reaped_ = false;
    int status_ = -1;
    std::optional<double> (*frameTime_)(const std::string&);
    std::string partial_;
    std::int64_t startedNs_ = 0;
};

std::string describe(const char* when, const Offsets& offsets) {
    char text[160];
    std::snprintf(text, sizeof text, "%s: %zu of %d windows matched the track (best of the others: %.3f)", when,
                  offsets.each.size(), offsets.tried, offsets.bestMiss);
    return text;
}

// Ends the program, then the figures of the run from what was recorded and its frame lines.
void finishRun(StallRun& run, MonitorRecorder& recorder, Launched& program, std::int64_t firstNs,
               std::int64_t stoppedNs, std::int64_t continuedNs, const StallPlan& plan, const TrackLocator& track) {
    const std::int64_t endingNs = steadyNowNs();
    run.status = program.end(plan.endWithin);
    run.endSeconds = double(steadyNowNs() - endingNs) * 1e-9;
    run.wallSeconds = double(steadyNowNs() - program.startedNs()) * 1e-9;
    run.messages = program.messages;
    const Recording heard = recorder.finish();
    run.frames = program.frames;
    run.stallFromNs = stoppedNs;
    run.stallToNs = continuedNs;
    if (!run.failure.empty()) return;
    if (!recorder.failure().empty()) {
        run.failure = recorder.failure();
        return;
    }
    run.before = pictureAheadOfSound(heard, program.frames, track, firstNs + kSecond / 2, stoppedNs - kSecond / 10);
    run.after = pictureAheadOfSound(heard, program.frames, track, continuedNs + kSecond,
                                    continuedNs + seconds(std::min(3.0, plan.after)));
    if (run.before.each.empty() || run.after.each.empty()) {
        run.failure = describe("before the stall", run.before) + "; " + describe("after it", run.after);
    }
}

}  // namespace

Subject linuxProgram(const std::string& program, const SoundServer& server, double start) {
    Subject subject;
    subject.command = {program, "--windowed", "--start", formatSeconds(start), "--debug"};
    subject.environment = server.clientEnvironment();
    subject.environment.insert(subject.environment.end(), {"DISPLAY", "WAYLAND_DISPLAY"});
    return subject;
}

Subject windowsProgram(const std::string& wineRun, const std::string& prefix, const std::string& exe,
                       const SoundServer& server, double start) {
    Subject subject;
    subject.command = {wineRun, "--prefix", prefix, "--audio", "--timeout", "120",
                       exe,     "--windowed", "--start", formatSeconds(start), "--debug"};
    subject.environment = server.clientEnvironment();
    subject.underWine = true;
    return subject;
}

StallRun measureAcrossAStall(const SoundServer& server, const Subject& subject, const StallPlan& plan,
                             const TrackLocator& track) {
    StallRun run;
    if (!server.running()) {
        run.failure = "no sound server: " + server.failure();
        return run;
    }
    const BusyCores load(plan.busyCores);
    MonitorRecorder recorder(server);
    if (!recorder.failure().empty()) {
        run.failure = recorder.failure();
        return run;
    }
    Launched program(subject);
    if (!program.started()) {
        run.failure = "cannot start " + (subject.command.empty() ? std::string("nothing") : subject.command[0]);
        return run;
    }
    std::int64_t firstNs = 0;
    program.readUntil(program.startedNs() + seconds(plan.firstFrameWithin), [&] {
        for (const ShownFrame& f : program.frames) {
            if (f.musicTime >= plan.start - 1e-6) {
                firstNs = f.ns;
                return true;
            }
        }
        return false;
    });
    pid_t target = program.pid();
    if (firstNs != 0 && subject.underWine) {
        target = wineProgramUnder(program.pid());
        program.setTarget(target);
    }
    std::int64_t stoppedNs = 0;
    std::int64_t continuedNs = 0;
    if (firstNs == 0) {
        run.failure = "no frame at or after " + formatSeconds(plan.start) + " s within " +
                      formatSeconds(plan.firstFrameWithin) + " s";
    } else if (target <= 0) {
        run.failure = "the Wine process of the program was not found";
    } else {
        program.readUntil(firstNs + seconds(plan.before));
        stoppedNs = steadyNowNs();
        kill(target, SIGSTOP);
        if (!stoppedWithin(target, 0.2)) run.failure = "SIGSTOP did not stop the program";
        program.readUntil(stoppedNs + seconds(plan.stall));
        continuedNs = steadyNowNs();
        kill(target, SIGCONT);
        // A little past the last window, so that its sound has been recorded and stamped.
        program.readUntil(continuedNs + seconds(plan.after + 0.2));
    }
    finishRun(run, recorder, program, firstNs, stoppedNs, continuedNs, plan, track);
    return run;
}

namespace {

const std::string kDriver = std::string(VELDRIN_SOURCE_DIR) + "/tests/web/drive_page.cjs";
const std::string kDriverModules = std::string(VELDRIN_SOURCE_DIR) + "/build/web-driver/node_modules";

// The driver's lines as they arrive: its "stalling" and "stalled" marks among the messages.
bool said(const Launched& program, const char* mark) {
    return program.messages.find(std::string("\n") + mark + "\n") != std::string::npos;
}

}  // namespace

const char* browserName(Browser browser) { return browser == Browser::Chromium ? "Chromium" : "Firefox ESR"; }

bool browserInstalled(Browser browser) {
    return access(browser == Browser::Chromium ? "/usr/bin/chromium" : "/usr/bin/firefox-esr", X_OK) == 0 &&
           access("/usr/bin/Xvfb", X_OK) == 0 && access("/usr/bin/node", X_OK) == 0 &&
           access((kDriverModules + "/puppeteer-core").c_str(), R_OK) == 0;
}

StallRun measurePageAcrossAStall(const SoundServer& server, Browser browser, const std::string& page,
                                 const StallPlan& plan, const TrackLocator& track) {
    StallRun run;
    if (!server.running()) {
        run.failure = "no sound server: " + server.failure();
        return run;
    }
    char folder[] = "/tmp/veldrin-page-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        run.failure = "no folder for the plan";
        return run;
    }
    const std::string planPath = std::string(folder) + "/plan.json";
    {
        // The front screen's still drawn, then a tap plays; `before` seconds after the first frame
        // the page's main thread is held in a busy loop (the browser's audio is not), then the
        // page plays on for `after` seconds and a little more, for the last window's sound.
        std::ofstream plan_(planPath);
        plan_ << "{\"engine\":\"" << (browser == Browser::Chromium ? "chromium" : "firefox") << "\",\"page\":\""
              << page << "\",\"sound\":true,\"window\":true,\"liveConsole\":true,\"timeout\":" << int(plan.firstFrameWithin + 90)
              << ",\"visits\":[{\"query\":\"start=" << formatSeconds(plan.start)
              << "&debug\",\"wait\":\"document.getElementById('cover').dataset.still === 'drawn'\",\"within\":"
              << int(plan.firstFrameWithin) << ",\"tap\":true,\"waitAfterTap\":\"window.veldrinFirstFrameMs > 0 && "
              << "performance.now() - window.veldrinFirstFrameMs > " << int(plan.before * 1000) << "\",\"stall\":"
              << plan.stall << ",\"hold\":" << plan.after + 0.2 << "}]}";
    }
    const BusyCores load(plan.busyCores);
    MonitorRecorder recorder(server);
    if (!recorder.failure().empty()) {
        run.failure = recorder.failure();
        std::filesystem::remove_all(folder);
        return run;
    }
    Subject subject;
    subject.command = {"/usr/bin/node", kDriver, planPath};
    subject.environment = server.clientEnvironment();
    subject.environment.push_back("NODE_PATH=" + kDriverModules);
    subject.environment.push_back("HOME=" + std::string(folder));
    subject.environment.push_back("WAYLAND_DISPLAY");
    subject.outputToo = true;
    subject.frameTime = consoleFrameTime;
    Launched program(subject);
    std::int64_t firstNs = 0;
    std::int64_t stoppedNs = 0;
    std::int64_t continuedNs = 0;
    if (!program.started()) {
        run.failure = "the page's driver did not start";
    } else {
        program.readUntil(steadyNowNs() + seconds(plan.firstFrameWithin + 30.0), [&] {
            for (const ShownFrame& f : program.frames) {
                if (f.musicTime >= plan.start - 1e-6) {
                    firstNs = f.ns;
                    return true;
                }
            }
            return said(program, "end") || program.messages.find("error ") != std::string::npos;
        });
        program.readUntil(firstNs + seconds(plan.before + 10.0), [&] { return firstNs == 0 || said(program, "stalling"); });
        stoppedNs = steadyNowNs();
        program.readUntil(stoppedNs + seconds(plan.stall + 10.0), [&] { return !said(program, "stalling") || said(program, "stalled"); });
        continuedNs = steadyNowNs();
        if (firstNs == 0) run.failure = "the page did not play within " + formatSeconds(plan.firstFrameWithin) + " s";
        else if (!said(program, "stalled")) run.failure = "the page's main thread was not stalled";
        else program.readUntil(continuedNs + seconds(plan.after + 0.2));
    }
    finishRun(run, recorder, program, firstNs, stoppedNs, continuedNs, plan, track);
    std::filesystem::remove_all(folder);
    return run;
}
