// debugPrint: the per-frame trace channel. Off unless --debug asks for it; then it goes to
// stderr, formatted into a 1024-byte buffer, one message a line.
#pragma once

extern bool debugOutput;

void debugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
