// debugPrint over stderr.
#include "app/debug_print.h"

#include <cstdarg>
#include <cstdio>

bool debugOutput = false;

void debugPrint(const char* format, ...) {
    if (!debugOutput) return;
    char buffer[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    // A debugger shows each message on a line of its own; stderr needs the line end spelled out.
    std::fputs(buffer, stderr);
    std::fputc('\n', stderr);
}
