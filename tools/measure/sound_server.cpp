// The private PulseAudio server: a child of this process (never a daemon of its own, so it can
// always be stopped), in a 0700 folder, with one null sink and a socket that only this folder's
// owner can reach; and a stream of silence that keeps the sink playing as a sound card does.
#include "tools/measure/sound_server.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include <pulse/pulseaudio.h>

#include "platform/clock.h"

namespace {

constexpr const char* kProgram = "/usr/bin/pulseaudio";

bool answers(const std::string& socketPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path) {
        close(fd);
        return false;
    }
    socketPath.copy(address.sun_path, socketPath.size());
    const bool connected = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return connected;
}

std::string lastLines(const std::string& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    std::string all = text.str();
    return all.size() > 1500 ? all.substr(all.size() - 1500) : all;
}

// Waits for the child up to `seconds`; true when it has been reaped.
bool reapWithin(pid_t pid, double seconds) {
    const std::int64_t until = steadyNowNs() + std::int64_t(seconds * 1e9);
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid || (done < 0 && errno == ECHILD)) return true;
        if (steadyNowNs() >= until) return false;
        usleep(10000);
    }
}

}  // namespace

int stepMainLoop(pa_mainloop* loop, int usec) {
    if (pa_mainloop_prepare(loop, usec) < 0 || pa_mainloop_poll(loop) < 0) return -1;
    return pa_mainloop_dispatch(loop);
}

void closeClient(pa_stream* stream, pa_context* context, pa_mainloop* loop) {
    if (stream != nullptr) {
        pa_stream_disconnect(stream);
        pa_stream_unref(stream);
    }
    pa_context_disconnect(context);
    pa_context_unref(context);
    pa_mainloop_free(loop);
}

// A null sink with nothing to play sleeps in long blocks, about a second or two, and a stream
// that connects meanwhile waits for the block to end: it would pass for a program that starts
// its sound late. A sound card's sink plays on at the latency asked of it; so does this one
// while this stream of silence, 10 ms deep, plays into it from its own thread. Another stream's
// running dry is its own: this one does not hide it.
class SoundServer::Silence {
public:
    explicit Silence(const std::string& address) { thread_ = std::thread(&Silence::run, this, address); }
    ~Silence() {
        stop_ = true;
        thread_.join();
    }
    Silence(const Silence&) = delete;
    Silence& operator=(const Silence&) = delete;

    // Whether the sink has started playing it, waiting until untilNs at most.
    bool playingBy(std::int64_t untilNs) const {
        while (!playing_ && !ended_ && steadyNowNs() < untilNs) usleep(5000);
        return playing_;
    }

private:
    void run(std::string address) {
        pa_mainloop* loop = pa_mainloop_new();
        pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "veldrin silence");
        pa_stream* stream = nullptr;
        const std::int64_t readyBy = steadyNowNs() + 5'000'000'000;
        bool ok = pa_context_connect(context, address.c_str(), PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0;
        while (ok && !stop_ && pa_context_get_state(context) != PA_CONTEXT_READY) {
            const pa_context_state_t state = pa_context_get_state(context);
            ok = state != PA_CONTEXT_FAILED && state != PA_CONTEXT_TERMINATED && steadyNowNs() < readyBy &&
                 stepMainLoop(loop, 20000) >= 0;
        }
        if (ok && !stop_) {
            const pa_sample_spec format{PA_SAMPLE_FLOAT32LE, 44100, 2};
            stream = pa_stream_new(context, "silence", &format, nullptr);
            pa_buffer_attr attributes{};
            attributes.maxlength = std::uint32_t(-1);
            attributes.tlength = kDepthBytes;
            attributes.prebuf = std::uint32_t(-1);
            attributes.minreq = std::uint32_t(-1);
            attributes.fragsize = std::uint32_t(-1);
            pa_stream_set_write_callback(
                stream,
                [](pa_stream* s, std::size_t bytes, void* self) {
                    static const std::vector<float> zeros(44100 * 2, 0.0f);
                    const std::size_t n = std::min(bytes, zeros.size() * sizeof(float));
                    if (pa_stream_write(s, zeros.data(), n, nullptr, 0, PA_SEEK_RELATIVE) == 0) {
                        static_cast<Silence*>(self)->written_ += n;
                    }
                },
                this);
            ok = stream != nullptr && pa_stream_connect_playback(stream, nullptr, &attributes, PA_STREAM_ADJUST_LATENCY,
                                                                 nullptr, nullptr) >= 0;
        }
        while (ok && !stop_) {
            ok = stepMainLoop(loop, 20000) >= 0 && pa_stream_get_state(stream) != PA_STREAM_FAILED &&
                 pa_stream_get_state(stream) != PA_STREAM_TERMINATED;
            // More than its buffer's depth asked for: the sink has begun to take it.
            if (written_ > 3 * kDepthBytes) playing_ = true;
        }
        ended_ = true;
        closeClient(stream, context, loop);
    }

    static constexpr std::uint32_t kDepthBytes = 441 * 2 * sizeof(float);  // 10 ms

    std::atomic<bool> stop_{false};
    std::atomic<bool> playing_{false};
    std::size_t written_ = 0;  // the loop's thread only
    std::atomic<bool> ended_{false};
    std::thread thread_;
};

bool SoundServer::installed() { return access(kProgram, X_OK) == 0; }

SoundServer::SoundServer() {
    char pattern[] = "/tmp/veldrin-sound-XXXXXX";  // mkdtemp makes it 0700
    if (mkdtemp(pattern) == nullptr) {
        failure_ = "no private folder for the sound server";
        return;
    }
    folder_ = pattern;
    const std::string runtime = folder_ + "/pulse";
    const std::string socketPath = runtime + "/native";
    const std::string log = folder_ + "/server.log";
    address_ = "unix:" + socketPath;
    if (!installed()) {
        failure_ = std::string("no ") + kProgram + " (Debian's pulseaudio)";
        return;
    }
    mkdir(runtime.c_str(), 0700);
    const std::string socketArgument = "--load=module-native-protocol-unix auth-anonymous=1 socket=" + socketPath;
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        failure_ = "fork failed";
        return;
    }
    if (child == 0) {
        // The server dies with whoever started it, however that ends: a crashed or killed test
        // leaves no server behind.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(127);
        setpgid(0, 0);  // a Ctrl-C meant for the test reaches the server through its stop only
        const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (out < 0 || in < 0) _exit(127);
        dup2(in, 0);
        dup2(out, 1);
        dup2(out, 2);
        // Its state, cookie and runtime files all in the private folder; no session bus to look for.
        setenv("XDG_RUNTIME_DIR", folder_.c_str(), 1);
        setenv("HOME", folder_.c_str(), 1);
        unsetenv("XDG_CONFIG_HOME");
        unsetenv("PULSE_SERVER");
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        // The sink runs at the track's rate and in floats, so nothing between the program and the
        // recording resamples or rounds. Anonymous clients are safe behind the 0700 folder, and need no cookie
        // (Wine's processes may see another HOME).
        execl(kProgram, kProgram, "--daemonize=no", "--system=no", "-n", "--exit-idle-time=-1",
              "--use-pid-file=no", "--realtime=no", "--high-priority=no", "--no-cpu-limit=yes",
              "--log-target=stderr", "--load=module-null-sink sink_name=veldrin format=float32le rate=44100 channels=2",
              socketArgument.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    pid_ = child;
    const std::int64_t until = steadyNowNs() + 10'000'000'000;
    while (!answers(socketPath)) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = -1;
            failure_ = "pulseaudio ended before it answered:\n" + lastLines(log);
            return;
        }
        if (steadyNowNs() >= until) {
            failure_ = "pulseaudio did not answer within 10 s:\n" + lastLines(log);
            stop();
            return;
        }
        usleep(20000);
    }
    silence_ = std::make_unique<Silence>(address_);
    if (!silence_->playingBy(steadyNowNs() + 5'000'000'000)) {
        failure_ = "the null sink did not start playing within 5 s:\n" + lastLines(log);
        stop();
    }
}

SoundServer::~SoundServer() {
    stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

void SoundServer::stop() {
    silence_.reset();
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!reapWithin(pid_, 2.0)) {
        kill(pid_, SIGKILL);
        reapWithin(pid_, 5.0);
    }
    pid_ = -1;
}

std::vector<std::string> SoundServer::clientEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + folder_, "PULSE_SERVER=" + address_};
}
