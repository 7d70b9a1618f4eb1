#!/usr/bin/env bash
# Installs the Debian packages a purpose needs, only those that are missing.
#   tools/install-deps.sh build   the program itself
#   tools/install-deps.sh test    the program, its tests and benchmarks
#   tools/install-deps.sh capture the program and the ffmpeg program its --capture uses
#   tools/install-deps.sh web     the browser build (web.sh): emscripten, and what fetches sources
#   tools/install-deps.sh web-test  that and the browsers the tests run the page in: Chromium,
#                                 Firefox ESR and WebKitGTK's MiniBrowser with its WebDriver, the
#                                 last two in windows on Xvfb
#   tools/install-deps.sh node    Node.js and npm, which run the browsers' driver (tools/page-driver.sh)
#   tools/install-deps.sh page-sound  that, Firefox ESR, Xvfb and PulseAudio: the page's picture
#                                 against its sound (veldrin_bench avsync)
#   tools/install-deps.sh package the Debian package (package.sh) and the distribution's checks of it
#   tools/install-deps.sh windows the Windows build: the mingw-w64 cross compiler and what fetches
#                                 and builds the libraries' sources
#   tools/install-deps.sh wine    what runs the Windows build here: Wine, Xvfb to run it headless,
#                                 zip for its release archive
set -euo pipefail

build=(build-essential cmake pkg-config libsdl2-dev libpulse-dev libgl-dev libglu1-mesa-dev libegl-dev libgl1-mesa-dri
       libpng-dev zlib1g-dev libmpg123-dev libkissfft-dev)
# pulseaudio: the private sound server the picture-against-sound tests play into.
test=("${build[@]}" libgtest-dev libgmock-dev libbenchmark-dev ffmpeg pulseaudio libpulse-dev)
web=(emscripten python3 patch xz-utils bzip2)
# groff-base and mandoc: two readings of the manual page; python3 unpacks the Windows archive's info text.
package=("${build[@]}" dpkg-dev debhelper lintian desktop-file-utils appstream groff-base mandoc python3)
windows=(g++-mingw-w64-x86-64 libz-mingw-w64-dev python3 cmake make pkg-config patch xz-utils bzip2)
wine=(wine64 xvfb xauth zip)
browsers=(chromium firefox-esr webkit2gtk-driver xvfb xauth)

case "${1:-build}" in
  build) wanted=("${build[@]}") ;;
  capture) wanted=("${build[@]}" ffmpeg) ;;
  test) wanted=("${test[@]}") ;;
  web) wanted=("${web[@]}") ;;
  web-test) wanted=("${web[@]}" "${browsers[@]}") ;;
  node) wanted=(nodejs npm) ;;
  page-sound) wanted=("${web[@]}" chromium firefox-esr xvfb xauth pulseaudio) ;;
  package) wanted=("${package[@]}") ;;
  windows) wanted=("${windows[@]}") ;;
  wine) wanted=("${wine[@]}") ;;
  *) echo "usage: $0 build|test|capture|web|web-test|node|page-sound|package|windows|wine" >&2; exit 2 ;;
esac

# One query for all: the scripts call this on every run.
installed="$(dpkg-query -W -f='${Package} ${Status}\n' "${wanted[@]}" 2>/dev/null | sed -n 's/ install ok installed$//p' || true)"
missing=()
for package in "${wanted[@]}"; do
  grep -qxF "$package" <<< "$installed" || missing+=("$package")
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
