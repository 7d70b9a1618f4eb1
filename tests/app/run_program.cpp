// runProgram over fork/exec.
#include "tests/app/run_program.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Whether the process has a handler of its own for the signal (its SigCgt mask).
bool catchesSignal(pid_t pid, int signal) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("SigCgt:", 0) != 0) continue;
        return (std::strtoull(line.c_str() + 7, nullptr, 16) >> (signal - 1) & 1u) != 0;
    }
    return false;
}

}  // namespace

ProgramRun runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                      const RunControl& control) {
    TempFolder files;
    const std::string errorsPath = files.path() + "/stderr", outputPath = files.path() + "/stdout";
    // The write end closes when exec succeeds: reading it to the end waits for the program
    // itself to be running, so the signal's delay does not include the fork.
    int execPipe[2];
    ProgramRun run;
    if (files.path().empty() || pipe2(execPipe, O_CLOEXEC) != 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        close(execPipe[0]);
        dup2(open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 2);
        dup2(open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
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
    while (read(execPipe[0], &ignored, 1) < 0 && errno == EINTR) {}
    close(execPipe[0]);

    using Clock = std::chrono::steady_clock;
    const Clock::time_point start = Clock::now();
    auto since = [](Clock::time_point t) { return std::chrono::duration<double>(Clock::now() - t).count(); };
    bool armed = !control.afterHandler;  // the delay runs from start, or from when the handler is in place
    Clock::time_point armedAt = start;
    bool signalled = control.signal == 0;
    int status = 0;
    while (waitpid(child, &status, WNOHANG) != child) {
        if (!signalled && !armed && catchesSignal(child, control.signal)) {
            armed = true;
            armedAt = Clock::now();
        }
        if (!signalled && armed && since(armedAt) >= control.afterSeconds) signalled = kill(child, control.signal) == 0;
        if (since(start) > control.deadlineSeconds) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        usleep(armed ? 2000 : 500);
    }
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    run.errors = readFile(errorsPath);
    run.output = readFile(outputPath);
    return run;
}
