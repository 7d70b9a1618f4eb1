// The whole program from its command line to its exit status, whatever entry point the platform
// calls (main on the desktop, WinMain on Windows).
#pragma once

// 0 when the show ran (or --help/--version answered), 2 for bad usage, 1 for a run-time failure
// (its message already given).
int runProgram(int argc, char** argv);
