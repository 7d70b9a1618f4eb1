#!/usr/bin/env bash
# Builds everything (installing what it needs from Debian) and runs every test: once optimised,
# once more under AddressSanitizer, UndefinedBehaviorSanitizer and LeakSanitizer.
#   ./test.sh           both runs
#   ./test.sh --quick   the optimised run only
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh test
jobs="$(nproc)"

cmake --preset release -DVELDRIN_TESTS=ON -DVELDRIN_BENCH=ON >/dev/null
cmake --build --preset release -j"$jobs"
ctest --preset release

if [ "${1:-}" != --quick ]; then
  cmake --preset sanitize >/dev/null
  cmake --build --preset sanitize -j"$jobs"
  ctest --preset sanitize
fi
