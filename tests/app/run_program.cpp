// runProgram over fork/exec.
#include "tests/app/run_program.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

ProgramRun runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                      double interruptAfterSeconds) {
    RunControl control;
    if (interruptAfterSeconds > 0.0) {
        control.signal = SIGINT;
        control.afterSeconds = interruptAfterSeconds;
    }
    return runProgram(args, extraEnv, control);
}

namespace {

// Whether the process has a handler of its own for the signal (its SigCgt mask).
bool catchesSignal(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        const unsigned long long mask = std::strtoull(line.c_str() + 7, nullptr, 16);
        return (mask >> (signal - 1) & 1u) != 0;
    }
    return false;
}

}  // namespace

ProgramRun runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                      const RunControl& control) {
    char errorsPath[] = "/tmp/veldrin-test-stderr-XXXXXX";
    char outputPath[] = "/tmp/veldrin-test-stdout-XXXXXX";
    const int errorsFd = mkstemp(errorsPath);
    const int outputFd = mkstemp(outputPath);
    ProgramRun run;
    if (errorsFd < 0 || outputFd < 0) return run;
    // The write end closes when exec succeeds: reading it to the end waits for the program
    // itself to be running, so the signal's delay does not include the fork.
    int execPipe[2];
    if (pipe2(execPipe, O_CLOEXEC) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        close(execPipe[0]);
        dup2(errorsFd, 2);
        dup2(outputFd, 1);
        for (const std::string& entry : extraEnv) {
            if (entry.find('=') == std::string::npos) unsetenv(entry.c_str());
            else putenv(const_cast<char*>(entry.c_str()));
        }
        std::vector<char*> argv{const_cast<char*>(VELDRIN_PROGRAM)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(VELDRIN_PROGRAM, argv.data());
        _exit(127);
    }
    close(execPipe[1]);
    char ignored = 0;
    for (;;) {
        const ssize_t n = read(execPipe[0], &ignored, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
    }
    close(execPipe[0]);
    auto start = std::chrono::steady_clock::now();
    if (control.signal != 0 && control.afterHandler) {
        auto running = [&] {
            siginfo_t info{};
            return waitid(P_PID, id_t(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == 0;
        };
        while (!catchesSignal(child, control.signal) && running() &&
               std::chrono::steady_clock::now() - start < std::chrono::duration<double>(control.deadlineSeconds)) {
            usleep(500);
        }
        start = std::chrono::steady_clock::now();
    }
    auto since = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };
    bool signalled = control.signal == 0;
    int status = 0;
    for (;;) {
        if (!signalled && since() >= control.afterSeconds) {
            kill(child, control.signal);
            signalled = true;
        }
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (since() > control.deadlineSeconds) {
            run.timedOut = true;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(2000);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    close(errorsFd);
    close(outputFd);
    run.errors = readFile(errorsPath);
    run.output = readFile(outputPath);
    std::remove(errorsPath);
    std::remove(outputPath);
    return run;
}

TempFolder::TempFolder() {
    char pattern[] = "/tmp/veldrin-test-XXXXXX";
    const char* made = mkdtemp(pattern);
    path_ = made != nullptr ? made : "";
}

TempFolder::~TempFolder() {
    if (path_.empty()) return;
    const std::string command = "rm -rf '" + path_ + "'";
    [[maybe_unused]] const int ignored = std::system(command.c_str());
}

std::vector<std::string> listFolder(const std::string& path) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(path.c_str())) {
        while (dirent* entry = readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}
