// ChildProcess over posix_spawn: the desktop port.
#include "platform/process.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool findProgram(const char* name, std::string& path) {
    if (std::strchr(name, '/') != nullptr) {
        path = name;
        return access(name, X_OK) == 0;
    }
    const char* env = std::getenv("PATH");
    std::string dirs = env != nullptr ? env : "/usr/local/bin:/usr/bin:/bin";
    std::size_t begin = 0;
    while (begin <= dirs.size()) {
        std::size_t end = dirs.find(':', begin);
        if (end == std::string::npos) end = dirs.size();
        const std::string dir = end > begin ? dirs.substr(begin, end - begin) : ".";
        const std::string candidate = dir + "/" + name;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(candidate.c_str(), X_OK) == 0) {
            path = candidate;
            return true;
        }
        begin = end + 1;
    }
    return false;
}

ChildProcess::~ChildProcess() {
    if (process_ > 0) kill();
}

bool ChildProcess::start(const std::string& path, const std::vector<std::string>& args, const char* stderrPath) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return false;
    // A bigger pipe lets the encoder take a whole frame while we draw the next one.
    fcntl(fds[1], F_SETPIPE_SZ, 1 << 20);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[0], 0);
    if (stderrPath != nullptr) posix_spawn_file_actions_addopen(&actions, 2, stderrPath, O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGINT);
    sigaddset(&defaults, SIGTERM);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF);

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(path.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    pid_t pid = -1;
    const int failed = posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    close(fds[0]);
    if (failed != 0) {
        close(fds[1]);
        return false;
    }
    process_ = pid;
    input_ = fds[1];
    // A broken pipe must come back as an error from write, not end this process.
    std::signal(SIGPIPE, SIG_IGN);
    return true;
}

bool ChildProcess::write(const void* data, std::size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(int(input_), bytes, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

int ChildProcess::finish() {
    if (input_ >= 0) {
        close(int(input_));
        input_ = -1;
    }
    if (process_ <= 0) return -1;
    int status = 0;
    while (waitpid(pid_t(process_), &status, 0) < 0 && errno == EINTR) {
    }
    process_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::kill() {
    if (process_ > 0) ::kill(pid_t(process_), SIGKILL);
    finish();
}
