#!/usr/bin/env bash
# Builds everything (installing what it needs from Debian) and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
# No display is needed: without one the tests draw through SDL's offscreen driver.
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
cmake --preset release -DVELDRIN_TESTS=ON -DVELDRIN_BENCH=ON >/dev/null
cmake --build --preset release -j"$(nproc)"
ctest --preset release
