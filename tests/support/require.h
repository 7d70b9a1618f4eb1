// What a test needs of the machine and cannot test without: a GL context, a browser, Wine, a
// sound server, ffmpeg. Outside CI a test that lacks it is skipped and says why; under CI=true
// it fails, because there a failed install or a broken driver must not turn a suite into green
// skips.
#pragma once

#include <cstdlib>
#include <cstring>

#include <gtest/gtest.h>

inline bool inCi() {
    const char* ci = std::getenv("CI");
    return ci != nullptr && std::strcmp(ci, "true") == 0;
}

// In a test body or a fixture's SetUp.
#define REQUIRE_OR_SKIP(condition, why)                          \
    do {                                                         \
        if (!(condition)) {                                      \
            if (inCi()) FAIL() << (why) << " (required in CI)";  \
            GTEST_SKIP() << (why);                               \
        }                                                        \
    } while (false)
