#!/usr/bin/env bash
# Builds everything (installing what it needs from Debian) and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
cmake --preset release -DVELDRIN_TESTS=ON -DVELDRIN_BENCH=ON >/dev/null
cmake --build --preset release -j"$(nproc)"
ctest --preset release
