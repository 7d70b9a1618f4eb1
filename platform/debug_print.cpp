// debugPrint: one formatting for every port; stderr with --debug, and the port's debugger
// channel when it is heard.
#include "platform/debug_print.h"

#include <cstdarg>
#include <cstddef>
#include <cstdio>

bool debugOutput = false;

void debugPrint(const char* format, ...) {
    const bool channel = debugChannelHeard();
    if (!debugOutput && !channel) return;
    constexpr std::size_t kLongest = 1023;  // characters of one message; longer ones are cut
    char buffer[kLongest + 2];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, kLongest + 1, format, args);
    va_end(args);
    std::size_t end = length < 0 ? 0 : std::size_t(length);
    if (end > kLongest) end = kLongest;
    buffer[end] = '\0';
    // A debugger shows each message on a line of its own; stderr needs the line end spelled out.
    if (channel) debugChannelSend(buffer);
    if (!debugOutput) return;
    // One write per line: stderr is unbuffered, and a catch-up prints thousands of them.
    buffer[end] = '\n';
    std::fwrite(buffer, 1, end + 1, stderr);
}
