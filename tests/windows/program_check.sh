#!/bin/sh
# kitforge.exe under Wine on a display of its own: it starts with the settings the registry holds
# under HKEY_CURRENT_USER\Software\Vondrel\Kitforge, its main window shows, a second copy ends
# at once (the named mutex) without a window, and at exit its settings are there as string values.
# Usage: program_check.sh KITFORGE_EXE WORKDIR (Wine's environment set by the caller)
set -eu
exe=$(realpath "$1")
work=$2
rm -rf "$work"
mkdir -p "$work"
key='HKCU\Software\Vondrel\Kitforge'

fail() {
  echo "program_check: $*" >&2
  exit 1
}

# Waits for a condition, checked every tenth of a second, failing after a generous bound that only
# a hung program reaches.
wait_for() {  # wait_for SECONDS DESCRIPTION COMMAND...
  bound=$(($1 * 10)); what=$2; shift 2
  while ! "$@" >/dev/null 2>&1; do
    bound=$((bound - 1))
    [ "$bound" -gt 0 ] || fail "timed out waiting for $what"
    sleep 0.1
  done
}

# A display of our own: the first free number from 90.
display=90
while [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
first=""
cleanup() {
  [ -n "$first" ] && kill "$first" 2>/dev/null
  kill "$xvfb" 2>/dev/null
  wait 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=":$display"
wait_for 30 "the display" xwininfo -root

wine reg delete "$key" /f >/dev/null 2>&1 || true
# Preview off, read from the registry: with it on, a machine without MIDI devices would stop the
# start at the box that says so.
wine reg add "$key" /v Preview /t REG_SZ /d 0 /f >/dev/null 2>&1 || fail "cannot write $key"

shown() { xwininfo -root -tree | grep -q '"Kitforge - '; }
wine "$exe" >"$work/first.log" 2>&1 &
first=$!
wait_for 120 "the main window" shown
echo "program_check: the main window shows"

# The second copy: it ends by itself, with 0, while the first runs.
wine "$exe" >"$work/second.log" 2>&1 &
second=$!
second_ended() { ! kill -0 "$second" 2>/dev/null; }
wait_for 60 "the second copy to end" second_ended
wait "$second" || fail "the second copy ended with $?"
kill -0 "$first" 2>/dev/null || fail "the first copy ended too"
echo "program_check: a second copy ends at once"

# Closed as a user closes it (WM_CLOSE), the program writes its settings.
wine taskkill /IM "$(basename "$exe")" >/dev/null 2>&1
first_ended() { ! kill -0 "$first" 2>/dev/null; }
wait_for 60 "the program to end" first_ended
first=""
wine reg query "$key" >"$work/settings.txt" 2>&1 || fail "no settings under $key"
grep -q 'Preview[[:space:]]*REG_SZ[[:space:]]*0' "$work/settings.txt" || fail "no string value Preview=0: $(cat "$work/settings.txt")"
grep -q 'Velocity[[:space:]]*REG_SZ[[:space:]]*127' "$work/settings.txt" || fail "no string value Velocity=127"
echo "program_check: settings in the registry ($(grep -c REG_SZ "$work/settings.txt") string values)"
