#!/bin/sh
# Kitforge developer entry point on Debian 12: installs what is missing, builds, then
#   ./kitforge.sh run    starts the editor
#   ./kitforge.sh test   runs every test (also the sanitizer builds, the fuzzers, the
#                        ALSA tests in a VM and the Windows build's tests under Wine)
#   ./kitforge.sh bench  runs the benchmarks
#   ./kitforge.sh windows  builds dist/kitforge-<version>-win64.zip: Kitforge for Windows,
#                        cross-built with MinGW-w64 on a Qt and FluidSynth built from Debian's
#                        own sources (once per machine, kept in ~/.cache/kitforge)
#   ./kitforge.sh windows-test   the same, then only the Windows part of the tests, under Wine
#   ./kitforge.sh windows-side   the Windows build and zip alone, its output short: what a test
#                        run starts beside its Linux phases
#   ./kitforge.sh deb    builds dist/kitforge_<version>_<arch>.deb from the Linux tree and checks it
#                        with lintian
#   ./kitforge.sh deb-test   the same, then installs it in a clean Debian 12 root and uses it there
set -eu
cd "$(dirname "$0")"
action=${1:-run}
[ $# -gt 0 ] && shift

packages="cmake ninja-build g++ dpkg-dev clang libclang-rt-14-dev pkg-config qt6-base-dev qt6-base-private-dev libasound2-dev
  libjack-jackd2-dev jackd2 libgtest-dev python3-mido fonts-ipafont-gothic qt6-translations-l10n
  desktop-file-utils appstream man-db libfluidsynth-dev fluid-soundfont-gm fluid-soundfont-gs
  qemu-system-x86 busybox-static cpio kmod strace"

# The Debian package is made with debhelper, checked with lintian and tried in a root of mmdebstrap's.
case "$action" in test|deb|deb-test)
  packages="$packages debhelper lintian" ;;
esac
case "$action" in test|deb-test)
  packages="$packages mmdebstrap" ;;
esac

# The Windows build is made from Debian's own cross compiler and sources, and run under Wine.
case "$action" in test|windows|windows-test|windows-side)
  packages="$packages g++-mingw-w64-x86-64-posix mingw-w64-tools dpkg-dev wine wine64 xvfb xauth x11-utils
    xdotool xclip timgm6mb-soundfont" ;;
esac

install_missing() {
  missing=""
  for p in $packages; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
  done
  [ -z "$missing" ] && return 0
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing:$missing"
  $sudo apt-get update -qq
  # jackd2 asks about real-time priority; the default answer is fine.
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
}

build() {  # build DIR [cmake options]
  dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
}

jobs=$(nproc 2>/dev/null || echo 2)

# The Linux tree, with Debian's hardening flags: its programs are what the package holds. Absolute
# source paths stay in its debugging information, for a debugger run from anywhere.
linux_configure() {
  flags=$(DEB_BUILD_MAINT_OPTIONS="hardening=+all reproducible=-fixfilepath,-fixdebugpath" \
    dpkg-buildflags --export=sh)
  eval "$flags"
  cmake -S . -B build -G Ninja -DCMAKE_CXX_FLAGS="$CPPFLAGS $CXXFLAGS" -DCMAKE_EXE_LINKER_FLAGS="$LDFLAGS" >/dev/null
}

linux_build() {
  linux_configure
  cmake --build build -j "$jobs"
}

# Each phase's seconds, printed as a table when the run ends, passed or failed, so a log shows
# where the time went.
phases=$(mktemp)
phase_name=""
cleanups=""
at_exit() {  # at_exit COMMAND: run when the script ends, the last registered first
  cleanups="$1; $cleanups"
}
finish() {
  rc=$?
  trap - EXIT
  [ -n "$phase_name" ] && printf '%s (failed)\t%s\n' "$phase_name" $(($(date +%s) - phase_start)) >>"$phases"
  eval "$cleanups"
  if [ -n "${KITFORGE_PHASES_OUT:-}" ]; then
    cp "$phases" "$KITFORGE_PHASES_OUT"
  elif [ -s "$phases" ]; then
    printf '\n%-60s %7s\n' phase seconds
    awk -F '\t' '{ printf "%-60s %7d\n", $1, $2 }' "$phases"
    printf '%-60s %7d\n' "whole run" $(($(date +%s) - run_start))
  fi
  rm -f "$phases"
  exit "$rc"
}
run_start=$(date +%s)
trap finish EXIT
trap 'exit 130' INT TERM
phase() {  # phase NAME COMMAND...
  phase_name=$1
  phase_start=$(date +%s)
  shift
  "$@"
  printf '%s\t%s\n' "$phase_name" $(($(date +%s) - phase_start)) >>"$phases"
  phase_name=""
}

# Qt and FluidSynth for Windows are built once per machine, into a cache; on a fresh one that
# is most of a test run's work.
windows_deps_start() {
  # A session of its own, so that the whole build stops with the run.
  echo "Qt and FluidSynth for Windows: from the cache, or built once into it (logs: build-win/deps.*.log)"
  setsid -w cmake/windows-deps.sh build-win &
  deps_pid=$!
  at_exit "kill -TERM -- -$deps_pid 2>/dev/null || true"
}

windows_deps_wait() {
  [ -n "${deps_pid:-}" ] || windows_deps_start
  if ! wait "$deps_pid" || [ ! -s build-win/deps.qt ]; then
    tail -40 build-win/deps.qt.log >&2
    echo "kitforge.sh: Qt for Windows could not be built (build-win/deps.qt.log)" >&2
    exit 1
  fi
  cat build-win/deps.times >>"$phases"
  qt=$(tail -1 build-win/deps.qt)
  fluidsynth=$(tail -1 build-win/deps.fluidsynth)
  if [ -z "$fluidsynth" ]; then
    tail -20 build-win/deps.fluidsynth.log >&2
    echo "kitforge.sh: FluidSynth for Windows could not be built: the Windows build has no built-in synth" >&2
  fi
}

windows_build() {
  [ -n "${qt:-}" ] || windows_deps_wait
  build build-win -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DKITFORGE_BENCH=OFF \
    -DKITFORGE_MINGW_STATIC=OFF -DKITFORGE_WINDOWS_QT="$qt" -DKITFORGE_WINDOWS_FLUIDSYNTH="$fluidsynth"
}

windows_test() {
  # The Linux kitforge-cli, whose output the Windows one must match.
  linux_configure
  cmake --build build --target kitforge-cli winmm_vm_test
  # The build's own Wine prefix (as the tests' emulator uses), with one server kept for the
  # whole run: a server that exits between two tests can cut the next one's connection. Its
  # background programs start here, away from the pipes ctest reads a test listing from.
  export WINEPREFIX="$PWD/build-win/wine" WINEDEBUG=-all
  mkdir -p "$WINEPREFIX"
  # One left by an interrupted run would refuse the new one.
  wineserver -k >/dev/null 2>&1 || true
  wineserver -p
  at_exit "wineserver -k"
  wine cmd /c exit 0 </dev/null >/dev/null 2>&1
  phase "Windows tests under Wine" ctest --test-dir build-win --output-on-failure -j "$jobs"
  phase "Linux and Windows outputs compared" \
    tests/windows/convert_same.sh build/bin/kitforge-cli build-win/bin/kitforge-cli.exe build-win/convert_same
  # The program as a user unpacks it: nothing from the build tree beside it.
  phase "unpacked program under Wine" tests/windows/program_check.sh "$package_dir/kitforge.exe" build-win/program_check
  # WinMM both ways through Wine's ALSA MIDI driver, against the kernel sequencer in the test
  # VM: the unpacked kitforge-cli.exe sends a kit to a virtual port and fetches one from it,
  # and kitforge.exe, on an X display of the VM's own, is driven by keys.
  phase "WinMM in the ALSA VM" winmm_vm
}

winmm_vm() {
  tests/midi/alsa/run_vm.sh build/tests/midi/alsa/vm-cache build-win/winmm_vm build/bin/winmm_vm_test \
    "$PWD/$package_dir/kitforge-cli.exe" "$WINEPREFIX" "$PWD/$package_dir/kitforge.exe" || [ $? -eq 77 ]
}

package_name() {
  version=$(sed -n 's/^project(Kitforge VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  name=kitforge-$version-win64
  package_dir=build-win/package/$name
}

windows_package() {
  package_name
  rm -rf build-win/package
  cmake --install build-win --prefix "$package_dir" >/dev/null
  # Symbols only make the download larger (MinGW's libstdc++ DLL carries 20 MB of them).
  find "$package_dir" \( -name '*.exe' -o -name '*.dll' \) -exec x86_64-w64-mingw32-strip --strip-unneeded {} +
  mkdir -p dist
  rm -f "dist/$name.zip"
  (cd build-win/package && cmake -E tar cf "../../dist/$name.zip" --format=zip "$name")
  echo "dist/$name.zip"
}

# The Windows side of a test run goes beside the Linux phases, which leave cores idle while
# servers start and programs are waited on: Qt and FluidSynth (from the cache, or built once into
# it), the Windows build and its zip, in a session of its own so that all of it stops with the
# run. Its output is in build-win/side.log, its phases join the run's table.
windows_side_start() {
  mkdir -p build-win
  rm -f build-win/side.times
  echo "The Windows build, beside the Linux phases: build-win/side.log"
  KITFORGE_PHASES_OUT=build-win/side.times setsid -w ./kitforge.sh windows-side >build-win/side.log 2>&1 &
  side_pid=$!
  at_exit "kill -TERM -- -$side_pid 2>/dev/null || true"
}

windows_side_wait() {
  if ! wait "$side_pid"; then
    tail -60 build-win/side.log >&2
    echo "kitforge.sh: the Windows build failed (build-win/side.log)" >&2
    exit 1
  fi
  awk -F '\t' '{ printf "%s (beside the Linux phases)\t%s\n", $1, $2 }' build-win/side.times >>"$phases"
  grep "kitforge.sh:" build-win/side.log >&2 || true
  package_name
}

deb_name() {
  version=$(sed -n 's/^project(Kitforge VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
  deb=dist/kitforge_${version}_$(dpkg --print-architecture).deb
}

# The package from the Linux tree as it is built (debian/rules installs it, debhelper does the
# rest: dependencies from dpkg-shlibdeps, stripping, compressed man pages, the copyright), made in
# build/deb so that the checkout stays clean. lintian must find no error and no warning.
deb_package() {
  deb_name
  changelog=$(dpkg-parsechangelog -l debian/changelog -S Version)
  if [ "$changelog" != "$version" ]; then
    echo "kitforge.sh: debian/changelog is at $changelog, CMakeLists.txt at $version: add an entry (dch -v $version)" >&2
    exit 1
  fi
  cmake --build build --target kitforge kitforge-cli -j "$jobs"
  rm -rf build/deb
  mkdir -p build/deb/kitforge dist
  cp -R debian build/deb/kitforge/
  tree=$PWD/build
  if ! (cd build/deb/kitforge && KITFORGE_BUILD="$tree" dpkg-buildpackage -b -us -uc -d) >build/deb/build.log 2>&1; then
    tail -30 build/deb/build.log >&2
    echo "kitforge.sh: the package could not be made (build/deb/build.log)" >&2
    exit 1
  fi
  mv "build/deb/$(basename "$deb")" "$deb"
  echo "$deb: $(du -k "$deb" | cut -f1) KiB"
  dpkg-deb -f "$deb" Depends Recommends
  # Errors and warnings fail; what lintian only notes is shown.
  lintian --info --display-info --fail-on error,warning "$deb"
  echo "lintian: no error, no warning"
}

deb_test() {
  tests/package/clean_root_test.sh "$deb" build/bin/kitforge-cli build/deb/clean_root || [ $? -eq 77 ]
}

install_missing
case "$action" in
run)
  linux_build
  rm -f "$phases"
  exec build/bin/kitforge "$@" ;;
test)
  windows_side_start
  phase "Linux build" linux_build
  phase "Linux tests" ctest --test-dir build --output-on-failure -j "$jobs"
  # The tested tree as a Debian package, and that package installed in a clean Debian 12 root.
  phase "Debian package and lintian" deb_package
  phase "the package in a clean Debian 12 root" deb_test
  # Core again under AddressSanitizer and UndefinedBehaviorSanitizer, with the fuzzers.
  phase "sanitizer build" build build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DKITFORGE_GUI=OFF -DKITFORGE_BENCH=OFF -DKITFORGE_SANITIZE=ON -DKITFORGE_FUZZ=ON
  phase "sanitizer tests" ctest --test-dir build-asan --output-on-failure -j "$jobs"
  # The sender and its transports' threads under ThreadSanitizer.
  phase "thread sanitizer build" build build-tsan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
    -DKITFORGE_GUI=OFF -DKITFORGE_BENCH=OFF -DKITFORGE_TSAN=ON
  phase "thread sanitizer tests" ctest --test-dir build-tsan --output-on-failure -j "$jobs"
  # Kitforge built for Windows, under Wine.
  phase "waiting for the Windows build" windows_side_wait
  windows_test ;;
windows-side)
  phase "waiting for Qt and FluidSynth" windows_deps_wait
  phase "Windows build" windows_build
  phase "Windows zip" windows_package ;;
bench)
  linux_build
  server=kitforge-bench
  pidfile=build/bench-jackd.pid
  tests/midi/jack/jack_server.sh start "$server" "$pidfile"
  at_exit "tests/midi/jack/jack_server.sh stop $server $pidfile"
  build/bin/kitforge-files-bench
  build/bin/kitforge-library-bench
  build/bin/kitforge-synth-bench
  JACK_DEFAULT_SERVER=$server build/bin/kitforge-midi-bench
  JACK_DEFAULT_SERVER=$server build/bin/kitforge-fetch-bench
  JACK_DEFAULT_SERVER=$server build/bin/kitforge-verify-bench
  # Servers of its own, killed and stopped under it.
  build/bin/kitforge-jack-fault-bench
  # With a server running, as on a desktop where the port opens at start.
  JACK_DEFAULT_SERVER=$server build/bin/kitforge-startup-bench ;;
windows)
  windows_build
  windows_package ;;
windows-test)
  windows_build
  windows_package
  windows_test ;;
deb)
  linux_configure
  deb_package ;;
deb-test)
  linux_configure
  deb_package
  deb_test ;;
*)
  echo "usage: $0 run|test|bench|deb|deb-test|windows|windows-test|windows-side" >&2; exit 2 ;;
esac
