// runProgram over fork/exec.
#include "tests/app/run_program.h"

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

ProgramRun runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv,
                      double interruptAfterSeconds) {
    char errorsPath[] = "/tmp/veldrin-test-stderr-XXXXXX";
    const int errorsFd = mkstemp(errorsPath);
    ProgramRun run;
    if (errorsFd < 0) return run;
    const pid_t child = fork();
    if (child == 0) {
        dup2(errorsFd, 2);
        for (const std::string& entry : extraEnv) putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv{const_cast<char*>(VELDRIN_PROGRAM)};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(VELDRIN_PROGRAM, argv.data());
        _exit(127);
    }
    if (interruptAfterSeconds > 0.0) {
        usleep(useconds_t(interruptAfterSeconds * 1e6));
        kill(child, SIGINT);
    }
    int status = 0;
    waitpid(child, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    close(errorsFd);
    run.errors = readFile(errorsPath);
    std::remove(errorsPath);
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
