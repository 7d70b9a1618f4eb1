#!/usr/bin/env bash
# The Debian package as a viewer gets it: built by ./package.sh, passed by the distribution's own
# checks (lintian, desktop-file-validate, appstreamcli, groff and mandoc on the manual page) and
# two of ours that they lack, installed into this machine with apt-get, run from /usr/bin (its
# frame must be the build's and the release's screenshot), and removed without leaving a file.
# Faults seeded into copies of the package must be caught. Needs root, as it installs into the
# machine; under CI=true anything that keeps a check from running fails the test instead.
#   tests/package/package_test.sh [PROGRAM]   PROGRAM: the build to compare frames with
#                                             (build/release/app/veldrin)
set -euo pipefail
cd "$(dirname "$0")/../.."
reference="${1:-build/release/app/veldrin}"

fail() { echo "package test: FAILED: $*" >&2; exit 1; }
cannot() {
  [ "${CI:-}" != true ] || fail "$* (under CI every check must run)"
  echo "package test: skipped: $*" >&2
  exit 0
}
[ "$(id -u)" -eq 0 ] || cannot "installing the package needs root"
tools/install-deps.sh package || cannot "the packaging tools cannot be installed"
[ -x "$reference" ] || fail "no program at $reference to compare the installed one's frame with"
if dpkg-query -W -f='${db:Status-Status}' veldrin 2>/dev/null | grep -qx installed; then
  fail "veldrin is installed on this machine already; apt-get remove veldrin, then run the test again"
fi

began=$SECONDS
./package.sh
version="$(sed -n 's/^project(veldrin VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
deb="$PWD/build/package/veldrin_${version}_$(dpkg-architecture -qDEB_HOST_ARCH).deb"
work="$(mktemp -d)"
installed=0
finish() {
  [ $installed = 0 ] || apt-get remove -y -qq veldrin >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap finish EXIT
dpkg-deb -R "$deb" "$work/good"

# Every icon a menu entry names must be in the package: no tool of the distribution looks.
icons_present() {
  local entry icon found=0
  for entry in "$1"/usr/share/applications/*.desktop; do
    icon="$(sed -n 's/^Icon=//p' "$entry")"
    compgen -G "$1/usr/share/icons/hicolor/*/apps/$icon.*" >/dev/null ||
      { echo "$(basename "$entry") names icon '$icon', which the package does not carry"; return 1; }
    found=1
  done
  [ $found = 1 ] || { echo "no menu entry"; return 1; }
}

# Every library the program loads must come from a package it depends on. lintian notices only
# when no library is declared at all; this is asked of the files' owners, not of the tool that
# wrote the field.
depends_cover_libraries() {
  local depends soname owners
  depends="$(sed -n 's/^Depends: //p' "$1/DEBIAN/control" | tr ',|' '\n\n' | sed 's/^ *//; s/[ (].*//')"
  for soname in $(readelf -d "$1/usr/bin/veldrin" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    owners="$(dpkg -S "*/$soname" 2>/dev/null | sed 's/: .*//' | tr ',' '\n' | sed 's/^ *//; s/:.*//' | sort -u)"
    [ -n "$owners" ] || { echo "no package here provides $soname"; return 1; }
    grep -qxF -f <(printf '%s\n' "$owners") <<< "$depends" ||
      { echo "$soname comes from $(echo $owners), which Depends does not name"; return 1; }
  done
}

# The distribution's checks. Each prints nothing when the package is clean.
out="$(lintian --fail-on error,warning "$deb" 2>&1)" || fail "lintian: $out"
for entry in "$work"/good/usr/share/applications/*.desktop; do
  out="$(desktop-file-validate "$entry" 2>&1)" && [ -z "$out" ] || fail "desktop-file-validate: $out"
done
appstreamcli validate-tree --no-net "$work/good" || fail "appstreamcli validate-tree"
man="$work/good/usr/share/man/man6/veldrin.6.gz"
out="$(zcat "$man" | groff -ww -man -z 2>&1)" && [ -z "$out" ] || fail "groff -ww: $out"
mandoc -Tlint "$man" || fail "mandoc -Tlint"
out="$(icons_present "$work/good")" || fail "$out"
out="$(depends_cover_libraries "$work/good")" || fail "$out"
grep -qx 'Suggests: ffmpeg' "$work/good/DEBIAN/control" || fail "the package does not suggest ffmpeg"
echo "package test: lintian, desktop-file-validate, appstreamcli, groff, mandoc and our checks are clean" >&2

# Seeded faults: each check must fail on a package that has its fault.
caught() {
  local what="$1" out
  shift
  out="$("$@" 2>&1)" && fail "a package with $what passed"
  echo "package test: caught $what: $(grep -v 'running with root' <<< "$out" | head -n 1)" >&2
}
cp -a "$work/good" "$work/no-icon"
rm -r "$work/no-icon/usr/share/icons"
sed -i '\| usr/share/icons/|d' "$work/no-icon/DEBIAN/md5sums"
caught "a menu entry without its icon" icons_present "$work/no-icon"
cp -a "$work/good" "$work/no-png"
sed -i '/^Depends:/s/ *libpng[^,]*,\?//' "$work/no-png/DEBIAN/control"
caught "no dependency on libpng" depends_cover_libraries "$work/no-png"
cp -a "$work/good" "$work/no-depends"
sed -i '/^Depends:/d' "$work/no-depends/DEBIAN/control"
dpkg-deb --root-owner-group -b "$work/no-depends" "$work/no-depends.deb" >/dev/null
caught "no dependencies at all" lintian --fail-on error,warning "$work/no-depends.deb"

# The release archive: the package itself, the info text in LF, the screenshot.
mkdir "$work/release"
tar -C "$work/release" -xzf build/package/veldrin-linux-x86_64.tar.gz
cmp -s "$work/release/$(basename "$deb")" "$deb" || fail "the archive's package is not the one built"
! grep -q $'\r' "$work/release/veldrin.txt" || fail "the archive's info text has CR line ends"

# Installed, run from its installed path, removed.
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 install -y -qq --no-install-recommends "$deb" >/dev/null
installed=1
[ "$(command -v veldrin)" = /usr/bin/veldrin ] || fail "veldrin is not found at /usr/bin/veldrin"
[ "$(/usr/bin/veldrin --version)" = "veldrin $version" ] || fail "/usr/bin/veldrin --version: $(/usr/bin/veldrin --version)"
frame_at_110() {
  timeout 120 "$1" --frames "$work/$2" --start 110 --end 110.01 2> "$work/$2.log" ||
    { cat "$work/$2.log" >&2; fail "$1 --frames"; }
}
frame_at_110 /usr/bin/veldrin installed
frame_at_110 "$reference" built
cmp -s "$work/installed/frame-000000.png" "$work/built/frame-000000.png" ||
  fail "the installed program's frame at 110 s differs from the build's"
cmp -s "$work/installed/frame-000000.png" "$work/release/veldrin.png" ||
  fail "the installed program's frame at 110 s differs from the release's screenshot"
echo "package test: /usr/bin/veldrin says 'veldrin $version' and draws the build's frame at 110 s" >&2

dpkg -L veldrin | grep -vx '/.' > "$work/files"
DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=300 remove -y -qq veldrin >/dev/null
installed=0
status="$(dpkg-query -W -f='${db:Status-Status}' veldrin 2>/dev/null || echo not-installed)"
[ "$status" = not-installed ] || fail "after apt-get remove dpkg still has veldrin as '$status'"
while read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then
    # dpkg keeps a folder only while something else is in it or another package owns it.
    [ -n "$(ls -A "$path")" ] || dpkg -S "$path" >/dev/null 2>&1 || fail "left behind: the empty folder $path"
  elif [ -e "$path" ] || [ -L "$path" ]; then
    fail "left behind: $path"
  fi
done < "$work/files"
echo "package test: installed, ran and removed cleanly; $((SECONDS - began)) s in all" >&2
