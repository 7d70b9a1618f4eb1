// Running a helper program (the video encoder) with a pipe to its standard input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Whether a program of that name can be found on PATH (or is an executable path). On Windows a
// name without an extension is looked for as NAME.exe (and NAME.com).
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
    // The port's own: a process id and a descriptor, or a process handle and a pipe handle.
    std::intptr_t process_ = -1;
    std::intptr_t input_ = -1;
};
