// Whether work may go to a thread of its own. The browser page has just the one thread (a page
// on an ordinary web server cannot have shared memory), so there everything runs in turn.
#pragma once

#ifdef __EMSCRIPTEN__
constexpr bool kThreadsAvailable = false;
#else
constexpr bool kThreadsAvailable = true;
#endif
