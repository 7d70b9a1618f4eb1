// The Windows entry point. The program is a GUI program (no console window of its own), but
// its messages, --help and --version belong on the console it was started from, when there is
// one; output redirected to a file or a pipe stays where it was sent.
#include <cstdio>
#include <cstdlib>

#include <windows.h>

#include "app/program.h"

namespace {

bool usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

void attachParentConsole() {
    const bool outputMissing = !usable(GetStdHandle(STD_OUTPUT_HANDLE));
    const bool errorsMissing = !usable(GetStdHandle(STD_ERROR_HANDLE));
    if ((outputMissing || errorsMissing) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        if (outputMissing) std::freopen("CONOUT$", "w", stdout);
        if (errorsMissing) std::freopen("CONOUT$", "w", stderr);
    }
    // --debug writes a line a frame: none may wait in a buffer.
    std::setvbuf(stderr, nullptr, _IONBF, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    attachParentConsole();
    const int status = runProgram(__argc, __argv);
    std::fflush(stdout);
    return status;
}
