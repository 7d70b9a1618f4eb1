#!/usr/bin/env bash
# Builds everything (installing what it needs from Debian) and runs every test: once optimised,
# once more under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer, and the
# threaded ones under ThreadSanitizer. The browser
# build is made first (./web.sh --build-only) and its tests run in the optimised pass, in
# Chromium, Firefox ESR and WebKitGTK (tools/page-driver.sh installs what drives them); where
# emscripten or the browsers cannot be installed they are skipped (outside CI). The
# Windows build (./windows.sh --tests) follows the optimised pass, its suite run under Wine, and
# then the Windows program's picture-against-sound test (a Linux test that drives Wine); then the
# Debian package's test (tests/package/), which installs the package into this machine.
#   ./test.sh           all of it
#   ./test.sh --quick   the optimised Linux suite only (the browser tests run if the page is built)
# Under CI=true a test that cannot run what it tests (no GL context, no browser, no Wine, no
# sound server) fails instead of being skipped.
set -euo pipefail
cd "$(dirname "$0")"
quick=0
case "${1:-}" in
  "") ;;
  --quick) quick=1 ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac
tools/install-deps.sh test
jobs="$(nproc)"
if [ $quick = 0 ]; then
  if tools/install-deps.sh web-test; then
    ./web.sh --build-only
    tools/page-driver.sh
  else
    echo "test.sh: emscripten or the browsers cannot be installed here; the browser tests cannot run" >&2
  fi
fi

cmake --preset release -DVELDRIN_TESTS=ON -DVELDRIN_BENCH=ON >/dev/null
cmake --build --preset release -j"$jobs"
windows_av='^PictureAgainstSound\.TheWindowsProgram'
ctest --preset release -E "$windows_av"
[ $quick = 0 ] || exit 0

# The Windows suite under Wine and Xvfb: one Wine server and X screen kept for the whole run (a
# test then starts in a fraction of a second instead of two), stopped however the run ends.
# Packing runs the .exe too (for the archive's usage text and screenshot), so the server is up
# before it. The suite plays into a private sound server, so that waveOut has a device.
tools/install-deps.sh windows
tools/install-deps.sh wine
wine_prefix=build/windows-cmake/wine-prefix
trap 'tools/wine-run --prefix "$wine_prefix" --stop' EXIT
tools/wine-run --prefix "$wine_prefix" --boot
# The mode switch's own screen too, made while no test runs on the other.
tools/wine-run --prefix "$wine_prefix" --screen 800x600 --boot
./windows.sh --tests --pack
build/release/tools/measure/with_sound_server ctest --preset windows
VELDRIN_WINDOWS_EXE="$PWD/build/windows/veldrin.exe" ctest --preset release -R "$windows_av"
tools/wine-run --prefix "$wine_prefix" --stop
trap - EXIT

# The Debian package: built, checked by the distribution's tools, installed into this machine, run
# from /usr/bin and removed (after the Windows archive, whose info text and screenshot it carries).
tests/package/package_test.sh build/release/app/veldrin

cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
# The browser tests exercise the page, which the sanitizers do not see into.
ctest --preset sanitize -E "WebPage|$windows_av"
# ThreadSanitizer over the tests where threads meet: the ring, the audio outputs, capture, the
# quit paths and whole-show runs (the preset names them; the live pacing test keeps time,
# which the sanitizer's slowdown does not allow).
cmake --preset thread >/dev/null
cmake --build --preset thread -j"$jobs"
ctest --preset thread
