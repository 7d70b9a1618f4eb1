#!/usr/bin/env bash
# Builds the show for 64-bit Windows: build/windows/veldrin.exe, one file with the images, the
# track and the icon inside, linked statically, importing only Windows' own DLLs.
#   ./windows.sh                  build
#   ./windows.sh --tests          build the Windows test programs too (ctest --test-dir build/windows-cmake)
#   ./windows.sh --run [OPTIONS]  build, then play it here under Wine on an 800x600 X screen
#                                 (OPTIONS as veldrin.exe's; VELDRIN_WINE_SCREEN picks another size)
# Installs the mingw-w64 cross compiler, Wine and Xvfb from Debian when missing; libmpg123,
# libpng, KissFFT and GoogleTest are cross-built from Debian's own source packages
# (tools/windows-deps.sh, sharing the browser build's fetching and cache), zlib is Debian's
# mingw package.
set -euo pipefail
cd "$(dirname "$0")"
run=0
tests=OFF
case "${1:-}" in
  "") ;;
  --run) run=1; shift ;;
  --tests) tests=ON; shift; [ $# -eq 0 ] || { echo "usage: $0 [--tests | --run [OPTIONS]]" >&2; exit 2; } ;;
  *) echo "usage: $0 [--tests | --run [OPTIONS]]" >&2; exit 2 ;;
esac
tools/install-deps.sh windows
tools/windows-deps.sh

# The toolchain counts only when the build folder is made.
toolchain=()
[ -f build/windows-cmake/CMakeCache.txt ] || toolchain=(--toolchain platform/win32/toolchain.cmake)
cmake -S . -B build/windows-cmake "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release -DVELDRIN_TESTS="$tests" \
  -DVELDRIN_BENCH=OFF >/dev/null
cmake --build build/windows-cmake -j"$(nproc)"

mkdir -p build/windows
x86_64-w64-mingw32-strip -o build/windows/veldrin.exe build/windows-cmake/app/veldrin.exe
echo "windows.sh: build/windows/veldrin.exe ($(stat -c %s build/windows/veldrin.exe) bytes)" >&2

# The release archive (veldrin-win64.zip: the .exe, its info text and a screenshot) is packed
# from build/windows/ here.

[ $run = 1 ] || exit 0
# An X screen of 800x600 lets the display switch succeed; on a larger one the switch fails and
# its box would wait for a click nobody can give on a headless screen.
exec tools/wine-run --prefix build/windows-cmake/wine-prefix --screen "${VELDRIN_WINE_SCREEN:-800x600}" \
  build/windows/veldrin.exe "$@"
