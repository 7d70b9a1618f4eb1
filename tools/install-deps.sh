#!/usr/bin/env bash
# Installs the Debian packages a purpose needs, only those that are missing.
#   tools/install-deps.sh build   the program itself
#   tools/install-deps.sh test    the program, its tests and benchmarks
#   tools/install-deps.sh capture the program and the ffmpeg program its --capture uses
set -euo pipefail

build=(build-essential cmake pkg-config libsdl2-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri
       libpng-dev zlib1g-dev libmpg123-dev libkissfft-dev)
test=("${build[@]}" libgtest-dev libgmock-dev libbenchmark-dev ffmpeg)

case "${1:-build}" in
  build) wanted=("${build[@]}") ;;
  capture) wanted=("${build[@]}" ffmpeg) ;;
  test) wanted=("${test[@]}") ;;
  *) echo "usage: $0 build|test|capture" >&2; exit 2 ;;
esac

missing=()
for package in "${wanted[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}" >&2
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "Run as root, or install: ${missing[*]}" >&2; exit 1; }
  as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
