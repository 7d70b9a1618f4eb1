// debugPrint over stderr.
#include "platform/debug_print.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>

bool debugOutput = false;

void debugPrint(const char* format, ...) {
    if (!debugOutput) return;
    constexpr std::size_t kLongest = 1023;  // characters of one message; longer ones are cut
    char buffer[kLongest + 2];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, kLongest + 1, format, args);
    va_end(args);
    // A debugger shows each message on a line of its own; stderr needs the line end spelled out.
    // One write per line: stderr is unbuffered, and a catch-up prints thousands of them.
    std::size_t end = length < 0 ? 0 : std::size_t(length);
    if (end > kLongest) end = kLongest;
    buffer[end] = '\n';
    std::fwrite(buffer, 1, end + 1, stderr);
}
