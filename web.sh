#!/usr/bin/env bash
# Builds the show for the browser into build/web/ (index.html, veldrin.js and veldrin.wasm: a
# static folder for any web server) and serves it on http://127.0.0.1:8000/.
#   ./web.sh               build, then serve (Ctrl-C stops)
#   ./web.sh --build-only  only build
# Installs emscripten from Debian when missing. libmpg123, libpng, zlib and KissFFT are compiled
# from Debian's own source packages, fetched once with apt-get source (which checks them against
# the signed package lists) into build/web-deps/.
set -euo pipefail
cd "$(dirname "$0")"
case "${1:-}" in
  ""|--build-only) ;;
  *) echo "usage: $0 [--build-only]" >&2; exit 2 ;;
esac
tools/install-deps.sh web

deps="$PWD/build/web-deps"
mkdir -p "$deps"

# apt with a private list of Debian's source packages: the machine's own lists name binary
# packages only.
apt_private() {
  local tool="$1"
  shift
  "$tool" -q -o Dir::Etc::SourceList="$deps/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent \
    -o Dir::State::Lists="$deps/apt/lists" -o Dir::Cache="$deps/apt/cache" -o APT::Sandbox::User=root "$@"
}

prepare_apt() {
  [ -f "$deps/apt/ready" ] && return
  mkdir -p "$deps/apt/lists/partial" "$deps/apt/cache/archives/partial"
  # The suites the machine's own lists use, as deb-src lines.
  local suites
  suites="$(apt-get indextargets --format '$(SITE) $(RELEASE)' 'Created-By: Packages' 2>/dev/null | sort -u)"
  : > "$deps/apt/sources.list"
  while read -r site release; do
    [ -n "$site" ] && echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $site $release main" \
      >> "$deps/apt/sources.list"
  done <<< "$suites"
  [ -s "$deps/apt/sources.list" ] || { echo "web.sh: apt names no Debian suite to fetch sources from" >&2; exit 1; }
  apt_private apt-get update >/dev/null
  touch "$deps/apt/ready"
}

# fetch SOURCE FOLDER DEV-PACKAGE: the source package in the version the desktop build's
# development package came from (the newest one apt offers when that is gone), unpacked with
# Debian's patches applied into build/web-deps/FOLDER.
fetch() {
  local source="$1" folder="$2" dev="$3"
  [ -f "$deps/$folder/.veldrin-fetched" ] && return
  prepare_apt
  local work="$deps/download/$source"
  rm -rf "$work" "$deps/$folder"
  mkdir -p "$work"
  local installed versions fetched=""
  installed="$(dpkg-query -W -f='${source:Version}' "$dev" 2>/dev/null || true)"
  versions="$(apt_private apt-cache showsrc "$source" 2>/dev/null | sed -n 's/^Version: //p')"
  for version in $installed $versions; do
    # A missing detached signature of an upstream tarball makes apt exit non-zero although every
    # file listed with a checksum has arrived and matched: what counts is the .dsc and tarballs.
    (cd "$work" && apt_private apt-get source --download-only "$source=$version" >/dev/null 2>&1) || true
    if ls "$work"/*.dsc "$work"/*.orig.tar.* "$work"/*.debian.tar.* >/dev/null 2>&1; then
      fetched="$version"
      break
    fi
    rm -f "$work"/*
  done
  [ -n "$fetched" ] || { echo "web.sh: cannot fetch the Debian source of $source" >&2; exit 1; }
  mkdir -p "$work/tree"
  for tarball in "$work"/*.orig.tar.*; do
    case "$tarball" in *.asc) continue ;; esac
    tar -xf "$tarball" -C "$work/tree"
  done
  local top
  top="$(find "$work/tree" -mindepth 1 -maxdepth 1 -type d | head -n 1)"
  tar -xf "$work"/*.debian.tar.* -C "$top"
  if [ -f "$top/debian/patches/series" ]; then
    grep -v '^\s*\(#\|$\)' "$top/debian/patches/series" | while read -r patch options; do
      patch -d "$top" -s ${options:--p1} < "$top/debian/patches/$patch"
    done
  fi
  mv "$top" "$deps/$folder"
  echo "$source $fetched" > "$deps/$folder/.veldrin-fetched"
  rm -rf "$work"
  echo "web.sh: $source $fetched from Debian" >&2
}

fetch mpg123 mpg123 libmpg123-dev
fetch libpng1.6 libpng libpng-dev
fetch zlib zlib zlib1g-dev
fetch kissfft kissfft libkissfft-dev

# Debian's emscripten finds its JavaScript modules there when the node on PATH is not Debian's.
export NODE_PATH="${NODE_PATH:-/usr/share/nodejs}"
emcmake cmake -S . -B build/web-cmake -DCMAKE_BUILD_TYPE=Release -DVELDRIN_WEB_SOURCES="$deps" \
  -DVELDRIN_WEB_OUT="$PWD/build/web" >/dev/null
cmake --build build/web-cmake -j"$(nproc)"
echo "web.sh: the page is in build/web/" >&2

[ "${1:-}" = --build-only ] && exit 0
echo "veldrin: serving build/web/ on http://127.0.0.1:8000/ (Ctrl-C stops)"
exec python3 -m http.server 8000 --bind 127.0.0.1 --directory build/web
