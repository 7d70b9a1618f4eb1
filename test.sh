#!/usr/bin/env bash
# Builds everything (installing what it needs from Debian) and runs every test: once optimised,
# once more under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, and the
# threaded ones under ThreadSanitizer. The browser
# build is made first (./web.sh --build-only) and its tests run in the optimised pass, in
# headless Chromium; where emscripten or Chromium cannot be installed they are skipped. The
# Windows build (./windows.sh --tests) follows the optimised pass, its suite run under Wine, and
# then the Windows program's picture-against-sound test (a Linux test that drives Wine); then the
# Debian package's test (tests/package/), which installs the package into this machine.
#   ./test.sh           all three runs
#   ./test.sh --quick   the optimised run only
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
jobs="$(nproc)"
if tools/install-deps.sh web-test; then
  ./web.sh --build-only
else
  echo "test.sh: emscripten or Chromium cannot be installed here; the browser tests will be skipped" >&2
fi

cmake --preset release -DVELDRIN_TESTS=ON -DVELDRIN_BENCH=ON >/dev/null
cmake --build --preset release -j"$jobs"
windows_av='^PictureAgainstSound\.TheWindowsProgram'
ctest --preset release -E "$windows_av"

# The Windows suite under Wine and Xvfb: one Wine server and X screen kept for the whole run (a
# test then starts in a fraction of a second instead of two), stopped however the run ends.
# windows.sh runs the .exe too (for the archive's usage text and screenshot), so the server is up
# before it.
tools/install-deps.sh windows
wine_prefix=build/windows-cmake/wine-prefix
trap 'tools/wine-run --prefix "$wine_prefix" --stop' EXIT
tools/wine-run --prefix "$wine_prefix" --boot
# The mode switch's own screen too, made while no test runs on the other.
tools/wine-run --prefix "$wine_prefix" --screen 800x600 --boot
./windows.sh --tests
ctest --test-dir build/windows-cmake -j"$jobs" --output-on-failure
VELDRIN_WINDOWS_EXE="$PWD/build/windows/veldrin.exe" ctest --preset release -R "$windows_av"
tools/wine-run --prefix "$wine_prefix" --stop
trap - EXIT

# The Debian package: built, checked by the distribution's tools, installed into this machine, run
# from /usr/bin and removed (after the Windows archive, whose info text and screenshot it carries).
tests/package/package_test.sh build/release/app/veldrin

if [ "${1:-}" != --quick ]; then
  cmake --preset sanitize >/dev/null
  cmake --build --preset sanitize -j"$jobs"
  # The browser tests exercise the page, which the sanitizers do not see into.
  ctest --preset sanitize -E "^WebPage\\.|$windows_av"
  # ThreadSanitizer over the tests where threads meet: the ring, the audio outputs, capture, the
  # quit paths and whole-show runs (the preset names them; the live pacing test keeps time,
  # which the sanitizer's slowdown does not allow).
  cmake --preset thread >/dev/null
  cmake --build --preset thread -j"$jobs"
  ctest --preset thread
fi
