// The private PulseAudio server: a child of this process (never a daemon of its own, so it can
// always be stopped), in a 0700 folder, with one null sink and a socket that only this folder's
// owner can reach.
#include "tests/support/sound_server.h"

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
#include <unistd.h>

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
}

SoundServer::~SoundServer() {
    stop();
    if (!folder_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
}

void SoundServer::stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    if (!reapWithin(pid_, 2.0)) {
        kill(pid_, SIGKILL);
        reapWithin(pid_, 5.0);
    }
    pid_ = -1;
}

std::vector<std::string> SoundServer::clientEnvironment() const {
    return {"XDG_RUNTIME_DIR=" + folder_, "PULSE_SERVER=" + address_, "SDL_AUDIODRIVER=pulseaudio"};
}
