#!/usr/bin/env bash
# Builds the demo (installing what it needs from Debian) and plays it. Arguments go to the demo.
set -euo pipefail
cd "$(dirname "$0")"
need=build
for arg in "$@"; do [ "$arg" = --capture ] && need=capture; done
tools/install-deps.sh "$need"
cmake --preset release -DVELDRIN_TESTS=OFF -DVELDRIN_BENCH=OFF >/dev/null
cmake --build --preset release -j"$(nproc)"
exec build/release/app/veldrin "$@"
