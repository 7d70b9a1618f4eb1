// The suite's shared tests set environment variables the POSIX way; the Windows C runtime has
// its own call for it. Included ahead of every test source of the Windows build.
#pragma once

#ifdef __cplusplus
#include <cstdlib>

inline int setenv(const char* name, const char* value, int /*overwrite*/) { return _putenv_s(name, value); }
inline int unsetenv(const char* name) { return _putenv_s(name, ""); }
#endif
