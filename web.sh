#!/usr/bin/env bash
# Builds the show for the browser into build/web/ (index.html, veldrin.js and veldrin.wasm: a
# static folder for any web server) and serves it on http://127.0.0.1:8000/.
#   ./web.sh               build, then serve (Ctrl-C stops)
#   ./web.sh --build-only  only build
# Installs emscripten from Debian when missing. libmpg123, libpng, zlib and KissFFT are compiled
# from Debian's own source packages, which tools/debian-sources.sh fetches once into
# build/debian-sources/ (shared with the Windows build).
set -euo pipefail
cd "$(dirname "$0")"
case "${1:-}" in
  ""|--build-only) ;;
  *) echo "usage: $0 [--build-only]" >&2; exit 2 ;;
esac
tools/install-deps.sh web

deps="$PWD/build/debian-sources"
tools/debian-sources.sh mpg123 libpng zlib kissfft

# Debian's emscripten finds its JavaScript modules there when the node on PATH is not Debian's.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
emcmake cmake -S . -B build/web-cmake -DCMAKE_BUILD_TYPE=Release -DVELDRIN_WEB_SOURCES="$deps" \
  -DVELDRIN_WEB_OUT="$PWD/build/web" >/dev/null
cmake --build build/web-cmake -j"$(nproc)"
echo "web.sh: the page is in build/web/" >&2

[ "${1:-}" = --build-only ] && exit 0
echo "veldrin: serving build/web/ on http://127.0.0.1:8000/ (Ctrl-C stops)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build/web
