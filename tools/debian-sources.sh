#!/usr/bin/env bash
# Fetches Debian's own source packages of the libraries the cross builds compile themselves (the
# browser's and the Windows build), once, into a shared cache: each unpacked with Debian's patches
# applied into build/debian-sources/NAME. apt-get source does the fetching, so every file is
# checked against the signed package lists; no mirror address is written down anywhere.
#   tools/debian-sources.sh NAME...    NAME: mpg123 libpng zlib kissfft googletest
# The version taken is, in this order, the one the desktop build's development package came from
# (so every build decodes and compresses alike), the release version named below, then any other
# version apt offers: security revisions come and go on the mirrors, a release version stays.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -gt 0 ] || { echo "usage: $0 mpg123|libpng|zlib|kissfft|googletest..." >&2; exit 2; }

deps="${VELDRIN_DEBIAN_SOURCES:-$PWD/build/debian-sources}"
mkdir -p "$deps"
# Two builds started at once must not unpack into the same folder.
exec 9>"$deps/.lock"
flock 9

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
  [ -s "$deps/apt/sources.list" ] || { echo "debian-sources: apt names no Debian suite to fetch sources from" >&2; exit 1; }
  apt_private apt-get update >/dev/null
  touch "$deps/apt/ready"
}

# fetch NAME SOURCE DEV-PACKAGE RELEASE-VERSION
fetch() {
  local name="$1" source="$2" dev="$3" release="$4"
  [ -f "$deps/$name/.veldrin-fetched" ] && return
  prepare_apt
  local work="$deps/download/$source"
  rm -rf "$work" "$deps/$name"
  mkdir -p "$work"
  local installed offered fetched=""
  installed="$(dpkg-query -W -f='${source:Version}' "$dev" 2>/dev/null || true)"
  offered="$(apt_private apt-cache showsrc "$source" 2>/dev/null | sed -n 's/^Version: //p')"
  for version in $installed $release $offered; do
    # A missing detached signature of an upstream tarball makes apt exit non-zero although every
    # file listed with a checksum has arrived and matched: what counts is the .dsc and tarballs.
    (cd "$work" && apt_private apt-get source --download-only "$source=$version" >/dev/null 2>&1) || true
    if ls "$work"/*.dsc "$work"/*.orig.tar.* "$work"/*.debian.tar.* >/dev/null 2>&1; then
      fetched="$version"
      break
    fi
    rm -f "$work"/*
  done
  [ -n "$fetched" ] || { echo "debian-sources: cannot fetch the Debian source of $source" >&2; exit 1; }
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
  mv "$top" "$deps/$name"
  echo "$source $fetched" > "$deps/$name/.veldrin-fetched"
  rm -rf "$work"
  echo "debian-sources: $source $fetched from Debian" >&2
}

for name in "$@"; do
  case "$name" in
    mpg123) fetch mpg123 mpg123 libmpg123-dev 1.31.2-1+deb12u1 ;;
    libpng) fetch libpng libpng1.6 libpng-dev 1.6.39-2+deb12u5 ;;
    zlib) fetch zlib zlib zlib1g-dev 1:1.2.13.dfsg-1 ;;
    kissfft) fetch kissfft kissfft libkissfft-dev 131.1.0-4.1~deb12u1 ;;
    googletest) fetch googletest googletest libgtest-dev 1.12.1-0.2 ;;
    *) echo "debian-sources: no recipe for $name" >&2; exit 2 ;;
  esac
done
