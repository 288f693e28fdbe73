#!/bin/sh
# Builds Qt and FluidSynth for Windows into the machine's cache (each script keeps what it built
# before), at the lowest priority, and leaves in DIR what the Windows build needs of them:
#   deps.qt, deps.fluidsynth  their install prefixes (deps.fluidsynth empty: no built-in synth)
#   deps.times                each one's seconds, as rows of the run's phase table
#   deps.*.log                their output
#   cmake/windows-deps.sh DIR
set -eu
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
mkdir -p "$dir"
rm -f "$dir/deps.qt" "$dir/deps.fluidsynth" "$dir/deps.times"
t0=$(date +%s)
nice -n 19 "$here/qt-windows.sh" >"$dir/deps.qt.tmp" 2>"$dir/deps.qt.log"
t1=$(date +%s)
# Without FluidSynth's source there is no built-in synth, and the Windows build goes on without.
nice -n 19 "$here/fluidsynth-windows.sh" >"$dir/deps.fluidsynth.tmp" 2>"$dir/deps.fluidsynth.log" \
  || : >"$dir/deps.fluidsynth.tmp"
t2=$(date +%s)
printf 'Qt for Windows\t%s\nFluidSynth for Windows\t%s\n' \
  $((t1 - t0)) $((t2 - t1)) >"$dir/deps.times"
mv "$dir/deps.fluidsynth.tmp" "$dir/deps.fluidsynth"
mv "$dir/deps.qt.tmp" "$dir/deps.qt"
