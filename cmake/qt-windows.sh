#!/bin/sh
# Builds Qt for Windows (MinGW-w64) from Debian's own qt6-base source, the same version as the
# host's Qt tools (a cross build of Qt runs the host's moc, rcc and uic), and installs it into a
# cache outside any build folder, keyed by the version and the options, so a machine builds it
# once. Prints the install prefix on its last line.
#   cmake/qt-windows.sh [CACHE_DIR]
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/kitforge}
jobs=$(nproc 2>/dev/null || echo 2)

version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev)

# Only what Kitforge links; OpenGL stays on because 6.4's Windows platform plugin does not
# compile without it, and tablet events go because Debian's source drops the wintab headers.
# Direct2D 1.1 makes a second Windows platform plugin, JPEG an image format nothing here reads:
# a tenth of the build. Optimized for size, as an editor's widgets need no more speed, which
# also compiles a sixth faster and makes the zip smaller.
options="-DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release -DFEATURE_optimize_size=ON
  -DFEATURE_direct2d1_1=OFF -DFEATURE_jpeg=OFF -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF
  -DFEATURE_tabletevent=OFF -DFEATURE_opengl=ON -DFEATURE_icu=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
  -DFEATURE_sql_sqlite=OFF -DFEATURE_system_sqlite=OFF -DKITFORGE_MINGW_STATIC=OFF"
key=$(printf '%s\n%s\n' "$version" "$options" | cat - "$here/mingw-w64-x86_64.cmake" | sha256sum | cut -c1-12)
prefix="$cache/qt-$(echo "$version" | sed 's/[^A-Za-z0-9.]/_/g')-win64-$key"

if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work="$cache/qt-work-$key"
mkdir -p "$work"
cd "$work"

# The source from Debian's archive. A machine without source entries gets them derived from its
# own binary entries: the same archives, suites and keys.
if [ ! -d qt6-base ]; then
  if ! ls qt6-base_*.dsc >/dev/null 2>&1; then
    if ! apt-get source --download-only "qt6-base=$version" >/dev/null 2>&1; then
      sudo=""
      [ "$(id -u)" -ne 0 ] && sudo="sudo"
      for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        grep -q '^Types:.*deb-src' "$f" && continue
        grep -q '^Types: *deb *$' "$f" || continue
        sed 's/^Types: *deb *$/Types: deb-src/' "$f" \
          | $sudo tee "/etc/apt/sources.list.d/kitforge-src-$(basename "$f")" >/dev/null
      done
      if [ -f /etc/apt/sources.list ]; then
        sed -n 's/^deb \(.*\)$/deb-src \1/p' /etc/apt/sources.list \
          | $sudo tee /etc/apt/sources.list.d/kitforge-src.list >/dev/null
      fi
      $sudo apt-get update -qq
      apt-get source --download-only "qt6-base=$version" >/dev/null
    fi
  fi
  rm -rf qt6-base.tmp
  dpkg-source -x qt6-base_*.dsc qt6-base.tmp >/dev/null
  mv qt6-base.tmp qt6-base
fi

# shellcheck disable=SC2086  # the options are words on purpose
cmake -S qt6-base -B build -G Ninja -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-x86_64.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_INSTALL_PREFIX="$prefix" $options >configure.log 2>&1 \
  || { tail -40 configure.log >&2; exit 1; }
cmake --build build -j "$jobs" >&2
cmake --install build >/dev/null
touch "$prefix/.complete"
cd "$cache"
rm -rf "$work"
echo "$prefix"
