#!/usr/bin/env bash
# Builds the fuzz targets (fuzz preset: clang, libFuzzer, ASan + UBSan) and runs each for
# SECONDS (default 60) on a scratch copy of the committed corpus and regression inputs, so the
# committed corpus never grows. Exits non-zero on any finding; the failing input is left in
# build/fuzz/runs/TARGET/artifacts/.
#   fuzz/run.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-60}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target png_fuzzer mp3_fuzzer -j2

status=0
for target in png mp3; do
  work="build/fuzz/runs/$target"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp fuzz/corpus/"$target"/* "$work/corpus/"
  if [ -d fuzz/regressions/"$target" ]; then
    find fuzz/regressions/"$target" -type f -exec cp {} "$work/corpus/" \;
  fi
  echo "== ${target}_fuzzer for ${seconds} s"
  # close_fd_mask=2: the decoders' one-line complaints about bad input would flood the log;
  # sanitizer reports and the targets' own findings still come through.
  if ! "build/fuzz/fuzz/${target}_fuzzer" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
      -max_total_time="$seconds" -print_final_stats=1 -close_fd_mask=2 \
      -artifact_prefix="$work/artifacts/" "$work/corpus"; then
    echo "!! ${target}_fuzzer found a problem: $(ls "$work/artifacts")"
    status=1
  fi
done
exit "$status"
