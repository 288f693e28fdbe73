#!/bin/sh
# Builds FluidSynth for Windows (MinGW-w64) as a DLL, the built-in synth's, from Debian's own
# fluidsynth source, of a version whose OS layer can be plain C++ (osal=cpp11): no GLib, which
# Debian does not build for MinGW. Installs it into a cache outside any build folder,
# keyed by the version and the options, so a machine builds it once. Prints the install prefix
# on its last line.
#   cmake/fluidsynth-windows.sh [CACHE_DIR]
# Where Debian's archive does not serve the fluidsynth source, the upstream release archive kept
# beside the project stands in (KITFORGE_FLUIDSYNTH_ARCHIVE, checked against its sha256), or an
# upstream git repository: KITFORGE_FLUIDSYNTH_GIT=<repository> KITFORGE_FLUIDSYNTH_TAG=<tag>.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
cache=${1:-${XDG_CACHE_HOME:-$HOME/.cache}/kitforge}
jobs=$(nproc 2>/dev/null || echo 2)

# Debian 12's own fluidsynth (2.3) and 13's (2.4) need GLib; osal=cpp11 came with 2.5.
suite=unstable
version=2.6.1+dfsg-2
# FluidSynth 2.5 and later compute their tables at compile time with gcem (header only).
gcem_version=1.18.0-2
git_repo=${KITFORGE_FLUIDSYNTH_GIT:-}
git_tag=${KITFORGE_FLUIDSYNTH_TAG:-}
archive=${KITFORGE_FLUIDSYNTH_ARCHIVE:-$here/../../shared/third_party/fluidsynth-2.6.0.tar.xz}
archive_version=2.6.0
[ -f "$archive" ] && archive=$(realpath "$archive")
archive_sha256=1529209b7806ea2177736098a9df2a58b4035acabb4f148db581e572c5c028b6
source="Debian's fluidsynth $version"
if [ -n "$git_repo" ]; then
  [ -n "$git_tag" ] || { echo "KITFORGE_FLUIDSYNTH_GIT needs KITFORGE_FLUIDSYNTH_TAG" >&2; exit 2; }
  version="upstream-$git_tag"
  # A tag can move: the commit is what was built.
  commit=$(git -C "$git_repo" rev-parse "$git_tag^{commit}")
  source="FluidSynth $git_tag"
fi

# Only the library and Windows' own audio: WASAPI, DirectSound and waveOut. Kitforge renders
# through the synth and talks MIDI itself, so no file output, MIDI drivers, shell or network.
# Without libsndfile FluidSynth reads SoundFont 2 only, not the compressed SF3.
options="-DBUILD_SHARED_LIBS=ON -DCMAKE_BUILD_TYPE=Release -Dosal=cpp11 -Dwindows-version=0x0601
  -Denable-dsound=ON -Denable-wasapi=ON -Denable-waveout=ON -Denable-winmidi=OFF
  -Denable-libsndfile=OFF -Denable-aufile=OFF -Denable-readline=OFF -Denable-sdl3=OFF
  -Denable-pulseaudio=OFF -Denable-jack=OFF -Denable-alsa=OFF -Denable-pipewire=OFF -Denable-oss=OFF
  -Denable-portaudio=OFF -Denable-dbus=OFF -Denable-systemd=OFF -Denable-midishare=OFF
  -Denable-ladspa=OFF -Denable-libinstpatch=OFF -Denable-network=OFF -Denable-ipv6=OFF
  -Denable-openmp=OFF -Denable-signalsmith=OFF -Denable-threads=ON -DKITFORGE_MINGW_STATIC=OFF"
key_of() {  # key_of VERSION COMMIT
  printf '%s\n%s\n%s\n%s\n' "$1" "$2" "$gcem_version" "$options" | cat - "$here/mingw-w64-x86_64.cmake" \
    | sha256sum | cut -c1-12
}
prefix_of() {  # prefix_of VERSION KEY
  echo "$cache/fluidsynth-$(echo "$1" | sed 's/[^A-Za-z0-9.]/_/g')-win64-$2"
}
key=$(key_of "$version" "${commit:-}")
prefix=$(prefix_of "$version" "$key")
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi
# A machine that once built from the archive, Debian's source not being served, keeps that build.
if [ -z "$git_repo" ]; then
  archive_key=$(key_of "upstream-$archive_version" "$archive_sha256")
  archive_prefix=$(prefix_of "upstream-$archive_version" "$archive_key")
  if [ -f "$archive_prefix/.complete" ]; then
    echo "$archive_prefix"
    exit 0
  fi
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
missing=""
for p in dpkg-dev xz-utils cmake ninja-build g++-mingw-w64-x86-64-posix; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  $sudo apt-get update -qq
  # shellcheck disable=SC2086  # one word a package
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing >&2
fi

work="$cache/fluidsynth-work-$key"
mkdir -p "$work"
cd "$work"

# A step's chatter is shown only when it fails.
quiet() {
  "$@" >"$work/step.log" 2>&1 || { cat "$work/step.log" >&2; return 1; }
}

# The sources come through an apt of the script's own (its lists under the work folder), so the
# machine's apt configuration stays as it was: source entries for $suite derived from the
# machine's Debian entries, the same archive and keys.
apt_get() {
  apt-get -o Dir::Etc::SourceList="$work/apt/none.list" -o Dir::Etc::SourceParts="$work/apt/sources" \
    -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" "$@"
}
fetch_sources() {  # fetch_sources PACKAGE=VERSION...
  if [ ! -d apt/lists ]; then
    # shellcheck disable=SC1091  # the machine's own
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    mkdir -p apt/sources apt/lists/partial apt/cache/archives/partial
    : >apt/none.list
    for f in /etc/apt/sources.list.d/*.sources; do
      [ -f "$f" ] || continue
      # deb822: each stanza of binary entries on the release's main suite becomes a source entry.
      awk -v codename="$codename" -v suite="$suite" 'BEGIN { RS = ""; ORS = "\n\n" }
        /(^|\n)Types:[^\n]*deb([ \n]|$)/ && match($0, /(^|\n)Suites:[^\n]*/) {
          n = split(substr($0, RSTART, RLENGTH), words, /[ \t\n]+/)
          main = 0
          for (i = 1; i <= n; i++) if (words[i] == codename) main = 1
          if (!main) next
          sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src")
          sub(/(^|\n)Suites:[^\n]*/, "\nSuites: " suite)
          sub(/^\n/, "")
          print
        }' "$f" >>apt/sources/debian.sources
    done
    if [ -f /etc/apt/sources.list ]; then
      sed -n "s/^deb \(.*\) $codename \(.*\)$/deb-src \1 $suite \2/p" /etc/apt/sources.list >apt/sources/debian.list
    fi
    quiet apt_get update
  fi
  quiet apt_get source --download-only "$@"
}

if [ ! -d gcem ]; then
  ls gcem_*.dsc >/dev/null 2>&1 || fetch_sources "gcem=$gcem_version"
  rm -rf gcem.tmp
  quiet dpkg-source -x gcem_*.dsc gcem.tmp
  mv gcem.tmp gcem
fi

if [ ! -d fluidsynth ]; then
  rm -rf fluidsynth.tmp
  if [ -n "$git_repo" ]; then
    mkdir fluidsynth.tmp
    git -C "$git_repo" archive "$git_tag" | tar -x -C fluidsynth.tmp
  else
    if ls fluidsynth_*.dsc >/dev/null 2>&1 || fetch_sources "fluidsynth=$version" 2>"$work/fetch.log"; then
      quiet dpkg-source -x fluidsynth_*.dsc fluidsynth.tmp
    elif [ -f "$archive" ]; then
      # Checked before anything of it is unpacked: a damaged or replaced archive builds nothing.
      if [ "$(sha256sum "$archive" | cut -d' ' -f1)" != "$archive_sha256" ]; then
        echo "$archive is not FluidSynth $archive_version's release archive (sha256 differs)" >&2
        exit 1
      fi
      echo "Debian's fluidsynth $version is not served from $suite; building FluidSynth" \
        "$archive_version from $archive" >&2
      mkdir fluidsynth.tmp
      tar -xJf "$archive" -C fluidsynth.tmp --strip-components=1 "fluidsynth-$archive_version/"
      echo archive >fluidsynth.origin
    else
      cat "$work/fetch.log" >&2
      echo "Debian's fluidsynth $version could not be fetched from $suite, and $archive is missing;" \
        "an upstream repository can stand in: KITFORGE_FLUIDSYNTH_GIT=<repository>" \
        "KITFORGE_FLUIDSYNTH_TAG=<tag>" >&2
      exit 1
    fi
  fi
  mv fluidsynth.tmp fluidsynth
fi
# The build from the archive is kept under its own key, so the choice shows in the name.
if [ -f fluidsynth.origin ]; then
  rm -rf "$prefix"
  version="upstream-$archive_version"
  prefix=$archive_prefix
  source="FluidSynth $archive_version"
fi

# The host's pkg-config would offer Linux libraries to a Windows build.
# shellcheck disable=SC2086  # the options are words on purpose
PKG_CONFIG_LIBDIR="$work/no-pkgconfig" cmake -S fluidsynth -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$here/mingw-w64-x86_64.cmake" -DGCEM_INCLUDE_DIR="$work/gcem/include" \
  -DCMAKE_INSTALL_PREFIX="$prefix" $options >configure.log 2>&1 \
  || { tail -40 configure.log >&2; exit 1; }
cmake --build build -j "$jobs" >&2
cmake --install build >/dev/null
# The library is what ships; FluidSynth's own program is not. Its licence goes beside the DLL,
# and where its source came from into the zip's README.
rm -f "$prefix/bin/fluidsynth.exe"
mkdir -p "$prefix/share/kitforge"
cp fluidsynth/LICENSE "$prefix/share/kitforge/FluidSynth-LICENSE.txt"
echo "$source" >"$prefix/share/kitforge/source.txt"
touch "$prefix/.complete"
cd "$cache"
rm -rf "$work"
echo "$prefix"
