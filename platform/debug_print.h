// debugPrint: the per-frame trace channel. Off unless --debug asks for it; then it goes to
// stderr, formatted into a 1024-byte buffer, one message a line. Where the port has a debugger
// channel (Windows), every message also goes there while something listens to it.
#pragma once

extern bool debugOutput;

void debugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The port's debugger channel: whether anything receives it now, and one message into it
// (without a line end). Ports without one answer false.
bool debugChannelHeard();
void debugChannelSend(const char* text);
