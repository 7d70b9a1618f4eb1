#!/usr/bin/env bash
# Cross-builds the libraries the Windows build links, static and x86-64, into build/windows-deps/
# (or VELDRIN_WINDOWS_DEPS): libmpg123, libpng, KissFFT (float) and GoogleTest from Debian's own
# source packages (tools/debian-sources.sh), zlib from Debian's libz-mingw-w64-dev. It writes
# pkg-config files under the names the desktop build asks for (libmpg123, libpng, zlib,
# kissfft-float), each listing what a static link needs; GoogleTest installs its CMake package.
# platform/win32/toolchain.cmake points CMake at both. A library is rebuilt only when its source
# version or its recipe below changes.
#   tools/windows-deps.sh
set -euo pipefail
cd "$(dirname "$0")/.."
root="$PWD"
[ $# -eq 0 ] || { echo "usage: $0" >&2; exit 2; }
tools/install-deps.sh windows

out="${VELDRIN_WINDOWS_DEPS:-$root/build/windows-deps}"
src="$root/build/debian-sources"
toolchain="$root/platform/win32/toolchain.cmake"
host=x86_64-w64-mingw32
mingw="/usr/$host"
jobs="$(nproc)"
mkdir -p "$out/stamps" "$out/logs" "$out/lib/pkgconfig" "$out/include"
exec 9>"$out/.lock"
flock 9

# What a library's build depends on: its source version and its recipe's text.
stamp_of() {
  local name="$1" version
  case "$name" in
    zlib) version="$(dpkg-query -W -f='${Version}' libz-mingw-w64-dev)" ;;
    *) version="$(cat "$src/$name/.veldrin-fetched")" ;;
  esac
  echo "$version $(declare -f "build_$name" | sha1sum | cut -c1-12)"
}

# Runs a build step with its output in the library's log, shown only when the step fails.
logged() {
  "$@" >>"$log" 2>&1 </dev/null || { tail -n 40 "$log" >&2; echo "windows-deps: failed, see $log" >&2; return 1; }
}

# pc NAME DESCRIPTION VERSION CFLAGS LIBS
pc() {
  cat > "$out/lib/pkgconfig/$1.pc" <<EOF
prefix=$out
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: $1
Description: $2 (static, cross-built for Windows by tools/windows-deps.sh)
Version: $3
Cflags: $4
Libs: $5
EOF
}

# The static archive only: with the import library beside it the linker would pick the DLL.
build_zlib() {
  cp "$mingw/lib/libz.a" "$out/lib/"
  cp "$mingw/include/zlib.h" "$mingw/include/zconf.h" "$out/include/"
  pc zlib "zlib compression library" "$(sed -n 's/^#define ZLIB_VERSION "\(.*\)"/\1/p' "$out/include/zlib.h")" \
    "-I\${includedir}" "-L\${libdir} -lz"
}

cmake_build() {
  local name="$1"
  shift
  rm -rf "$out/build/$name"
  logged cmake -S "$src/$name" -B "$out/build/$name" --toolchain "$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DVELDRIN_WINDOWS_DEPS="$out" -DCMAKE_INSTALL_PREFIX="$out" -DCMAKE_INSTALL_LIBDIR=lib \
    -DCMAKE_INSTALL_INCLUDEDIR=include "$@"
  logged cmake --build "$out/build/$name" -j"$jobs"
  logged cmake --install "$out/build/$name"
  rm -rf "$out/build/$name"
}

build_libpng() {
  cmake_build libpng -DPNG_SHARED=OFF -DPNG_STATIC=ON -DPNG_EXECUTABLES=OFF -DPNG_TESTS=OFF \
    -DZLIB_LIBRARY="$out/lib/libz.a" -DZLIB_INCLUDE_DIR="$out/include"
  rm -rf "$out/lib/libpng" "$out/bin"
  pc libpng "PNG reference library" "$(sed -n 's/^#define PNG_LIBPNG_VER_STRING "\(.*\)"/\1/p' "$out/include/png.h")" \
    "-I\${includedir}/libpng16" "-L\${libdir} -lpng16 -lz"
}

# Without the install folders named, KissFFT installs to folders at the root of the file system
# (it includes GNUInstallDirs only on UNIX); cmake_build names them.
build_kissfft() {
  cmake_build kissfft -DKISSFFT_DATATYPE=float -DKISSFFT_STATIC=ON -DKISSFFT_TEST=OFF -DKISSFFT_TOOLS=OFF \
    -DKISSFFT_PKGCONFIG=OFF
  pc kissfft-float "KISS FFT, float" "$(cut -d' ' -f2 "$src/kissfft/.veldrin-fetched" | sed 's/-.*//')" \
    "-I\${includedir}/kissfft -Dkiss_fft_scalar=float" "-L\${libdir} -lkissfft-float"
}

build_googletest() {
  cmake_build googletest -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON
}

# mpg123's own build system with its x86-64 decoders, outside the shared source folder; only
# the library is built (1.31 cannot leave out its programs any other way).
build_mpg123() {
  local build="$out/build/mpg123"
  rm -rf "$build"
  mkdir -p "$build"
  (cd "$build" && logged "$src/mpg123/configure" --host="$host" CC="$host-gcc-posix" --prefix="$out" \
    --enable-static --disable-shared --with-cpu=x86-64 --disable-modules --with-audio=win32 \
    --enable-network=no --disable-dependency-tracking)
  logged make -C "$build" -j"$jobs" src/libmpg123/libmpg123.la
  cp "$build/src/libmpg123/.libs/libmpg123.a" "$out/lib/"
  cp "$build/src/libmpg123/mpg123.h" "$src/mpg123/src/libmpg123/fmt123.h" "$out/include/"
  pc libmpg123 "MPEG audio decoder" "$(sed -n 's/^#define PACKAGE_VERSION "\(.*\)"/\1/p' "$build/src/config.h")" \
    "-I\${includedir}" "-L\${libdir} -lmpg123 -lshlwapi"
  rm -rf "$build"
}

tools/debian-sources.sh mpg123 libpng kissfft googletest
for name in zlib libpng kissfft googletest mpg123; do
  stamp="$(stamp_of "$name")"
  [ "$(cat "$out/stamps/$name" 2>/dev/null)" = "$stamp" ] && continue
  echo "windows-deps: building $name" >&2
  rm -f "$out/stamps/$name"
  log="$out/logs/$name.log"
  : > "$log"
  start=$SECONDS
  "build_$name"
  echo "$stamp" > "$out/stamps/$name"
  echo "windows-deps: $name built in $((SECONDS - start)) s" >&2
done
