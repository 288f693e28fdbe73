#!/bin/sh
# Starts or stops a private JACK server with the dummy driver for the transport tests.
# usage: jack_server.sh start|stop NAME PIDFILE
set -u
action=$1 name=$2 pidfile=$3
export JACK_NO_AUDIO_RESERVATION=1
case "$action" in
start)
  if [ -f "$pidfile" ]; then kill "$(cat "$pidfile")" 2>/dev/null; rm -f "$pidfile"; fi
  # Servers killed outright leave their shared memory and registry entries behind; with no
  # server running at all they are only litter, and a full registry refuses every new server.
  if command -v pgrep >/dev/null && ! pgrep -x jackd >/dev/null 2>&1; then rm -f /dev/shm/jack-shm-registry /dev/shm/jack_* 2>/dev/null; fi
  # 1024 frames: shorter periods xrun on small loaded machines and lose whole cycles.
  jackd --no-mlock -n "$name" -d dummy -r 48000 -p 1024 >"$pidfile.log" 2>&1 &
  echo $! >"$pidfile"
  i=0
  while [ $i -lt 100 ]; do
    if JACK_DEFAULT_SERVER="$name" jack_lsp >/dev/null 2>&1; then exit 0; fi
    if ! kill -0 "$(cat "$pidfile")" 2>/dev/null; then cat "$pidfile.log"; exit 1; fi
    sleep 0.1; i=$((i + 1))
  done
  echo "jackd did not come up"; cat "$pidfile.log"; exit 1 ;;
stop)
  [ -f "$pidfile" ] || exit 0
  pid=$(cat "$pidfile"); kill "$pid" 2>/dev/null
  i=0; while kill -0 "$pid" 2>/dev/null && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
  kill -9 "$pid" 2>/dev/null; rm -f "$pidfile"; exit 0 ;;
esac
exit 2
