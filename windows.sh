#!/usr/bin/env bash
# Builds the show for 64-bit Windows: build/windows/veldrin.exe, one file with the images, the
# track and the icon inside, linked statically, importing only Windows' own DLLs. Building needs
# only the cross compiler; what runs the .exe (packing, tests, playing) needs Wine and Xvfb.
#   ./windows.sh                  build
#   ./windows.sh --tests          build the Windows test programs too (ctest --preset windows runs
#                                 them under Wine)
#   ./windows.sh --pack           build, then pack the release archive build/windows/veldrin-win64.zip
#                                 (the .exe, an info text and a screenshot the .exe draws under Wine)
#   ./windows.sh --run [OPTIONS]  build, then play it here under Wine on an 800x600 X screen
#                                 (OPTIONS as veldrin.exe's; VELDRIN_WINE_SCREEN picks another size)
# --tests and --pack go together. Installs the mingw-w64 cross compiler (and Wine and Xvfb when
# something is run) from Debian when missing; libmpg123, libpng, KissFFT and GoogleTest are
# cross-built from Debian's own source packages (tools/windows-deps.sh, sharing the browser
# build's fetching and cache), zlib is Debian's mingw package.
set -euo pipefail
cd "$(dirname "$0")"
usage() { echo "usage: $0 [--tests] [--pack] | --run [OPTIONS]" >&2; exit 2; }
run=0
do_pack=0
tests=OFF
while [ $# -gt 0 ]; do
  case "$1" in
    --run) [ $do_pack = 0 ] && [ $tests = OFF ] || usage; run=1; shift; break ;;
    --tests) tests=ON; shift ;;
    --pack) do_pack=1; shift ;;
    *) usage ;;
  esac
done
tools/install-deps.sh windows
[ $run = 0 ] && [ $do_pack = 0 ] || tools/install-deps.sh wine
tools/windows-deps.sh

cmake --preset windows -DVELDRIN_TESTS="$tests" >/dev/null
cmake --build --preset windows -j"$(nproc)"

mkdir -p build/windows
x86_64-w64-mingw32-strip -o build/windows/veldrin.exe build/windows-cmake/app/veldrin.exe
echo "windows.sh: build/windows/veldrin.exe ($(stat -c %s build/windows/veldrin.exe) bytes)" >&2

if [ $run = 1 ]; then
  # An X screen of 800x600 lets the display switch succeed; on a larger one the switch fails and
  # its box would wait for a click nobody can give on a headless screen.
  exec tools/wine-run --prefix build/windows-cmake/wine-prefix --screen "${VELDRIN_WINE_SCREEN:-800x600}" \
    build/windows/veldrin.exe "$@"
fi
[ $do_pack = 1 ] || exit 0

# The release archive, in the form demos are passed around in: the .exe, a plain-text info file
# (CRLF, for Notepad) with the program's own usage, and a screenshot the .exe itself drew under
# Wine. Fixed dates inside, so the same build packs the same archive.
prefix=build/windows-cmake/wine-prefix
wine() { tools/wine-run --prefix "$prefix" --screen 1024x768 "$@"; }
pack=build/windows/pack
rm -rf "$pack" && mkdir -p "$pack/shot"
wine build/windows/veldrin.exe --help > "$pack/usage.txt"
wine build/windows/veldrin.exe --version > "$pack/version.txt"
# Wine starts the program in this folder (as Z:\...), so the relative path holds.
wine build/windows/veldrin.exe --frames "$pack/shot" --start 110 --end 110.01 2> "$pack/shot.log" ||
  { cat "$pack/shot.log" >&2; exit 1; }
cp "$pack/shot/frame-000000.png" "$pack/veldrin.png"
python3 - "$pack" <<'PY'
import sys
pack = sys.argv[1]
usage = open(f"{pack}/usage.txt", encoding="utf-8").read().replace("\r\n", "\n").rstrip("\n")
version = open(f"{pack}/version.txt", encoding="utf-8").read().split()[-1]
lines = open("platform/win32/veldrin.txt", encoding="utf-8").read().split("\n")[2:]
text = "\n".join(lines).replace("@USAGE@", usage).replace("@VERSION@", version)
open(f"{pack}/veldrin.txt", "w", encoding="utf-8", newline="\r\n").write(text)
PY
cp build/windows/veldrin.exe "$pack/veldrin.exe"
touch -d 2006-06-01T00:00:00Z "$pack/veldrin.exe" "$pack/veldrin.txt" "$pack/veldrin.png"
rm -f build/windows/veldrin-win64.zip
(cd "$pack" && TZ=UTC zip -q -X ../veldrin-win64.zip veldrin.exe veldrin.txt veldrin.png)
echo "windows.sh: build/windows/veldrin-win64.zip ($(stat -c %s build/windows/veldrin-win64.zip) bytes)" >&2

