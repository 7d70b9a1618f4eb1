// debugPrint on Windows: every message to the debugger channel (OutputDebugStringA, which a
// debugger or DebugView shows), and to stderr as well with --debug.
#include "platform/debug_print.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include <windows.h>

bool debugOutput = false;

void debugPrint(const char* format, ...) {
    constexpr std::size_t kLongest = 1023;  // characters of one message; longer ones are cut
    char buffer[kLongest + 2];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, kLongest + 1, format, args);
    va_end(args);
    std::size_t end = length < 0 ? 0 : std::size_t(length);
    if (end > kLongest) end = kLongest;
    buffer[end] = '\0';
    // The debugger channel gets the text as formatted, without a line end.
    OutputDebugStringA(buffer);
    if (!debugOutput) return;
    buffer[end] = '\n';
    std::fwrite(buffer, 1, end + 1, stderr);
}
