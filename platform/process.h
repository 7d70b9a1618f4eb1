// Running a helper program (the video encoder) with a pipe to its standard input.
#pragma once

#include <string>
#include <vector>

// Whether a program of that name can be found on PATH (or is an executable path).
bool findProgram(const char* name, std::string& path);

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the program with its standard input on a pipe and its standard error into a file
    // (so its last words can be shown when it fails). It gets a process group of its own, so a
    // Ctrl-C on the terminal reaches only us and we decide how it ends. False on failure.
    bool start(const std::string& path, const std::vector<std::string>& args, const char* stderrPath);
    // Writes everything or fails (the program ended, the disk is full): false, never SIGPIPE.
    bool write(const void* data, std::size_t size);
    // Closes its input and waits for it; its exit status, or -1 when it died by a signal.
    int finish();
    void kill();

private:
    int pid_ = -1;
    int input_ = -1;
};
