#!/usr/bin/env bash
# Makes the Linux release the way Debian builds packages, from debian/ with debhelper:
#   build/package/veldrin_<version>_amd64.deb        apt install ./… installs it with what it needs
#   build/package/veldrin-linux-x86_64.tar.gz        the .deb, the info text and the screenshot the
#                                                    Windows archive carries (the text in LF)
# The source is copied under build/package/ and built there, so the checkout stays as it was.
# Installs what it needs from Debian when missing; the text and the screenshot come from
# build/windows/veldrin-win64.zip, which ./windows.sh --pack makes first when it is not there yet.
set -euo pipefail
cd "$(dirname "$0")"
tools/install-deps.sh package

# One version, said in four places: refuse to package when they disagree.
version="$(sed -n 's/^project(veldrin VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)"
changelog="$(dpkg-parsechangelog -l debian/changelog -S Version)"
release="$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' platform/sdl/veldrin.metainfo.xml | head -n 1)"
if [ -z "$version" ] || [ "$changelog" != "$version" ] || [ "$release" != "$version" ]; then
  echo "package.sh: CMakeLists.txt says '$version', debian/changelog '$changelog', the metainfo's latest release" \
       "'$release'" >&2
  exit 1
fi

out=build/package
tree="$out/tree/veldrin-$version"
rm -rf "$out/tree" && mkdir -p "$tree"
tar -C . --exclude=./build --exclude=./.git --exclude=./out -cf - . | tar -C "$tree" -xf -
# nocheck: the suite runs in test.sh, against the same sources.
(cd "$tree" && DEB_BUILD_OPTIONS="nocheck parallel=$(nproc)" dpkg-buildpackage -b -us -uc) > "$out/build.log" 2>&1 ||
  { tail -n 40 "$out/build.log" >&2; echo "package.sh: the package build failed; all of it is in $out/build.log" >&2
    exit 1; }
arch="$(dpkg-architecture -qDEB_HOST_ARCH)"
deb="veldrin_${version}_${arch}.deb"
mv "$out/tree/$deb" "$out/$deb"
echo "package.sh: $out/$deb ($(stat -c %s "$out/$deb") bytes)" >&2

[ -f build/windows/veldrin-win64.zip ] || ./windows.sh --pack
pack="$out/pack"
rm -rf "$pack" && mkdir -p "$pack"
python3 - build/windows/veldrin-win64.zip "$pack" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1]) as z:
    open(f"{sys.argv[2]}/veldrin.txt", "wb").write(z.read("veldrin.txt").replace(b"\r\n", b"\n"))
    open(f"{sys.argv[2]}/veldrin.png", "wb").write(z.read("veldrin.png"))
PY
cp "$out/$deb" "$pack/"
# Fixed owners and dates, so the same package packs the same archive.
tar -C "$pack" --sort=name --owner=0 --group=0 --numeric-owner --mtime=2006-06-01T00:00:00Z \
  -cf - "$deb" veldrin.txt veldrin.png | gzip -n -9 > "$out/veldrin-linux-x86_64.tar.gz"
echo "package.sh: $out/veldrin-linux-x86_64.tar.gz ($(stat -c %s "$out/veldrin-linux-x86_64.tar.gz") bytes)" >&2
