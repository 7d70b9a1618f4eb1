# Cross-compiles for 64-bit Windows with Debian's mingw-w64 and runs what it builds under Wine:
#   cmake -S . -B build/windows-cmake --toolchain platform/win32/toolchain.cmake
# The libraries come from tools/windows-deps.sh (build/windows-deps/, or VELDRIN_WINDOWS_DEPS),
# found through their pkg-config files and CMake packages there and nowhere on the build machine.
# Every program is linked statically so it runs without the compiler's DLLs beside it; CTest and
# gtest_discover_tests run test programs through tools/wine-run with one Wine prefix per build
# folder (VELDRIN_WINE_SCREEN picks a test's screen size).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

# The -posix variants: the default -win32 ones have no std::thread or std::mutex in GCC 12.
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_ASM_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

get_filename_component(veldrin_root "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
set(VELDRIN_WINDOWS_DEPS "${veldrin_root}/build/windows-deps" CACHE PATH
    "Prefix of the cross-built libraries (tools/windows-deps.sh)")

set(CMAKE_FIND_ROOT_PATH "${VELDRIN_WINDOWS_DEPS}" /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees only the cross-built libraries' files, never the build machine's.
set(ENV{PKG_CONFIG_LIBDIR} "${VELDRIN_WINDOWS_DEPS}/lib/pkgconfig")
unset(ENV{PKG_CONFIG_PATH})
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

set(CMAKE_CROSSCOMPILING_EMULATOR "${veldrin_root}/tools/wine-run;--prefix;${CMAKE_BINARY_DIR}/wine-prefix")
# Test programs list their tests when CTest runs, not when they are built: building never needs
# Wine, and the first run of a fresh prefix (several seconds) is not cut short by discovery's timeout.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
