// debugPrint on Windows: every message to the debugger channel (OutputDebugStringA, which a
// debugger or DebugView shows), and to stderr as well with --debug.
#include "platform/debug_print.h"

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdio>

#include <windows.h>

bool debugOutput = false;

namespace {

// Whether anything can receive the channel: a debugger, or a listener on the system's debug
// buffer (DebugView and the like). With neither, OutputDebugStringA shows nothing anywhere, yet
// costs about a millisecond a call under Wine: 11,000 calls, over ten seconds, for a --start
// near the end. Looking for a listener is a system call, so its answer is kept for a second.
bool channelHeard() {
    if (IsDebuggerPresent()) return true;
    static std::atomic<ULONGLONG> checkedAt{0};
    static std::atomic<bool> listener{false};
    const ULONGLONG now = GetTickCount64() + 1;  // never 0, which means "not yet"
    const ULONGLONG last = checkedAt.load();
    if (last == 0 || now - last >= 1000) {
        bool found = false;
        for (const char* name : {"DBWIN_BUFFER_READY", "Global\\DBWIN_BUFFER_READY"}) {
            if (HANDLE ready = OpenEventA(SYNCHRONIZE, FALSE, name)) {
                CloseHandle(ready);
                found = true;
            }
        }
        listener.store(found);
        checkedAt.store(now);
    }
    return listener.load();
}

}  // namespace

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
    if (channelHeard()) OutputDebugStringA(buffer);
    if (!debugOutput) return;
    buffer[end] = '\n';
    std::fwrite(buffer, 1, end + 1, stderr);
}
