#!/usr/bin/env bash
# Builds the show for the browser into build/web/ (index.html, veldrin.js and veldrin.wasm, the
# tab's icon and the link preview's poster: a static folder for any web server) and serves it on
# http://127.0.0.1:8000/.
#   ./web.sh               build, then serve (Ctrl-C stops)
#   ./web.sh --build-only  only build
#   --url ADDRESS          the address the folder will be served from (https://host/path/): the
#                          link preview's tags then name the poster absolutely, as chats and feeds
#                          need; without it they are relative to the page
# Installs emscripten from Debian when missing. libmpg123, libpng, zlib and KissFFT are compiled
# from Debian's own source packages, which tools/debian-sources.sh fetches once into
# build/debian-sources/ (shared with the Windows build).
set -euo pipefail
cd "$(dirname "$0")"
build_only=0
url=""
while [ $# -gt 0 ]; do
  case "$1" in
    --build-only) build_only=1 ;;
    --url) [ $# -ge 2 ] || { echo "$0: --url needs an address" >&2; exit 2; }; url="$2"; shift ;;
    *) echo "usage: $0 [--build-only] [--url ADDRESS]" >&2; exit 2 ;;
  esac
  shift
done
case "$url" in
  ""|http://*|https://*) ;;
  *) echo "$0: --url wants an absolute http:// or https:// address, not $url" >&2; exit 2 ;;
esac
tools/install-deps.sh web
tools/install-deps.sh build

deps="$PWD/build/debian-sources"
tools/debian-sources.sh mpg123 libpng zlib kissfft

# Debian's emscripten finds its JavaScript modules there when the node on PATH is not Debian's.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
emcmake cmake -S . -B build/web-cmake -DCMAKE_BUILD_TYPE=Release -DVELDRIN_WEB_SOURCES="$deps" \
  -DVELDRIN_WEB_OUT="$PWD/build/web" -DVELDRIN_WEB_URL="$url" >/dev/null
cmake --build build/web-cmake -j"$(nproc)"

# The poster is the show at 110 s as the desktop program draws it, the moment the reference frames
# hold at the show's own size.
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" --target veldrin
poster="$(mktemp -d)"
trap 'rm -rf "$poster"' EXIT
build/release/app/veldrin --frames "$poster" --start 110 --end 110.01 >/dev/null
mv "$poster/frame-000000.png" build/web/poster.png
echo "web.sh: the page is in build/web/" >&2

[ $build_only = 1 ] && exit 0
echo "veldrin: serving build/web/ on http://127.0.0.1:8000/ (Ctrl-C stops)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build/web
