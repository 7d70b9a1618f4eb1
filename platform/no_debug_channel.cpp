// The desktop and the page have no debugger channel of their own: a debugger there reads stderr.
#include "platform/debug_print.h"

bool debugChannelHeard() { return false; }
void debugChannelSend(const char*) {}
