// Runs the veldrin program itself, as a user would, and collects its exit status and stderr.
#pragma once

#include <string>
#include <vector>

#include "tests/support/files.h"

struct ProgramRun {
    int status = -1;        // exit status; 128 + signal when it died by one (SIGKILL at the deadline)
    std::string errors;     // what it wrote on stderr
    std::string output;     // what it wrote on stdout
};

// How a run is ended from outside: signal (0 for none) sent afterSeconds after the start (0 sends
// it at once), and a deadline after which the program counts as hung and is killed. With
// afterHandler the delay counts from the moment the program catches that signal: before that
// the signal's default action ends any program, which says nothing about this one.
struct RunControl {
    int signal = 0;
    double afterSeconds = 0.0;
    double deadlineSeconds = 600.0;
    bool afterHandler = false;
};

// args exclude the program name. extraEnv holds "NAME=value" entries added to the environment
// and bare "NAME" entries removed from it.
ProgramRun runProgram(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv = {},
                      const RunControl& control = {});
