#!/bin/sh
# Inside the clean Debian 12 root that clean_root_test.sh makes, as its root user: the package
# installed as a user installs it, then used, then purged. The lines that start with "package:"
# are the test's own; what apt and dpkg say goes to standard error, into the mmdebstrap log.
# Usage: in_root.sh install|check (from /tmp/kitforge-test, which holds the package, the
# examples and the build tree's outputs)
set -eu
cd /tmp/kitforge-test
# Each line ends with the seconds since the test began (the root's making included).
say() { echo "package: $* [$(($(date +%s) - ${KITFORGE_ROOT_START:-$(date +%s)})) s]"; }
fail() {
  echo "package: FAILED: $*"
  exit 1
}
apt_get() {
  apt-get -q -y -o Dpkg::Options::=--force-unsafe-io "$@" >&2
}

# Waits for a condition, checked every tenth of a second; the bound only ends a hang.
wait_for() {  # wait_for SECONDS DESCRIPTION COMMAND...
  bound=$(($1 * 10)); what=$2; shift 2
  while ! "$@" >/dev/null 2>&1; do
    bound=$((bound - 1))
    [ "$bound" -gt 0 ] || fail "timed out waiting for $what"
    sleep 0.1
  done
}

install_package() {
  before=$(dpkg-query -W -f='${Package}\n' | wc -l)
  say "a clean Debian 12 root: $(cut -d' ' -f1 /etc/debian_version 2>/dev/null), $before packages"
  # As on a desktop that installs a downloaded package: its Recommends come too.
  apt_get -o APT::Install-Recommends=true install ./kitforge_*.deb
  after=$(dpkg-query -W -f='${Package}\n' | wc -l)
  size=$(dpkg-query -W -f='${Installed-Size}\n' | awk '{ kib += $1 } END { print int(kib / 1024) }')
  say "apt-get install ./$(basename kitforge_*.deb): kitforge $(dpkg-query -W -f='${Version}' kitforge) and $((after - before - 1)) packages it needs ($size MB installed in all)"
  for p in fluid-soundfont-gm fluid-soundfont-gs fonts-ipafont-gothic qt6-translations-l10n; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || fail "$p did not come with it"
  done
}

check_cli() {
  version=$(dpkg-query -W -f='${Version}' kitforge)
  got=$(kitforge-cli --version)
  [ "$got" = "kitforge-cli $version" ] || fail "kitforge-cli --version says '$got', the package is $version"
  say "kitforge-cli --version: $got"
  # The tables of the installed data folder, nothing beside the program.
  kitforge-cli tables >tables.txt || fail "kitforge-cli tables"
  cmp -s tables.txt expected/tables.txt || fail "kitforge-cli tables lists other sets than the build tree's"
  mkdir -p out
  compared=0
  for input in kit/basic.kfg import/basic.mid import/basic.syx import/basic.txt; do
    for format in kfg mid prt txt syx; do
      out=$(basename "$input" | tr . _).$format
      # Relative names, as the build tree's were written (a .mid keeps the path it was written to).
      (cd out && kitforge-cli convert "../examples/$input" "$out" 2>/dev/null) || fail "convert $input to .$format"
      cmp -s "out/$out" "expected/$out" || fail "convert $input to .$format differs from the build tree's"
      compared=$((compared + 1))
    done
  done
  say "kitforge-cli convert: $compared outputs (.kfg .mid .prt .txt .syx) byte for byte as the build tree's"
  # The built-in synth on the SoundFonts the package recommends.
  kitforge-cli render examples/kit/basic.kfg out/basic.wav 2>/dev/null || fail "kitforge-cli render"
  [ "$(wc -c <out/basic.wav)" -gt 100000 ] || fail "kitforge-cli render wrote next to nothing"
  say "kitforge-cli render: $(wc -c <out/basic.wav) bytes of WAV on Debian's FluidR3"
}

check_window() {
  home=/tmp/kitforge-home run=/tmp/kitforge-run
  mkdir -p "$home/.config/Vondrel"
  mkdir -m 700 "$run"
  conf=$home/.config/Vondrel/Kitforge.conf
  # Preview off: this root has no MIDI, and a box would stop the start.
  printf '[General]\nPreview=0\n' >"$conf"
  HOME=$home XDG_RUNTIME_DIR=$run KITFORGE_STARTUP_STEPS=1 \
    kitforge -platform offscreen examples/kit/basic.kfg >window.log 2>&1 &
  program=$!
  painted() { grep -q "first paint" window.log || ! kill -0 "$program"; }
  wait_for 60 "the window" painted
  kill -0 "$program" 2>/dev/null || { cat window.log; fail "kitforge ended by itself"; }
  kill -TERM "$program"
  status=0
  wait "$program" || status=$?
  [ "$status" -eq 0 ] || { cat window.log; fail "kitforge ended with $status on SIGTERM"; }
  # Written at exit, and only when the tables were found: Velocity was not in the file before.
  grep -qx 'Velocity=127' "$conf" || { cat "$conf"; fail "no settings written at exit"; }
  grep -qx 'Preview=0' "$conf" || fail "Preview not kept"
  say "kitforge -platform offscreen: shown with a kit open, ended by SIGTERM, $(grep -c = "$conf") settings written"
}

check_desktop() {
  # The desktop's own tools, installed after the checks above so that nothing of theirs stood in for
  # a dependency the package forgot. Their triggers take in what the package put down.
  apt_get --no-install-recommends install man-db shared-mime-info desktop-file-utils xdg-utils
  handler=$(xdg-mime query default application/x-kitforge-kit)
  [ "$handler" = kitforge.desktop ] || fail "xdg-mime: application/x-kitforge-kit opens with '$handler'"
  grep -qx 'application/x-kitforge-kit:\*\.kfg' /usr/share/mime/globs || fail "the mime database has no *.kfg"
  [ -f /usr/share/mime/application/x-kitforge-kit.xml ] || fail "the mime database has no application/x-kitforge-kit"
  desktop-file-validate /usr/share/applications/kitforge.desktop || fail "desktop-file-validate"
  say "*.kfg is application/x-kitforge-kit, opened with $handler"
  for page in kitforge kitforge-cli; do
    where=$(man -w "$page") || fail "man -w $page"
    say "man -w $page: $where"
  done
}

check_purge() {
  dpkg-query -L kitforge >files.list
  apt_get purge kitforge
  case "$(dpkg-query -W -f='${Status}' kitforge 2>/dev/null || true)" in
  "" | *not-installed) ;;
  *) fail "dpkg still holds kitforge after the purge" ;;
  esac
  left=$(mktemp)
  while read -r path; do
    if [ "$path" = /. ]; then
      continue
    elif [ -d "$path" ] && [ ! -L "$path" ]; then
      # A folder stays only where another package has it too.
      dpkg-query -S "$path" >/dev/null 2>&1 || echo "$path/" >>"$left"
    elif [ -e "$path" ] || [ -L "$path" ]; then
      echo "$path" >>"$left"
    fi
  done <files.list
  # What its scripts or the triggers might have made beside its own files.
  find /etc /opt /usr /var -iname '*kitforge*' >>"$left"
  [ ! -e /usr/share/mime/application/x-kitforge-kit.xml ] || echo "the mime type" >>"$left"
  ! grep -q kitforge /usr/share/applications/mimeinfo.cache || echo "the handler in mimeinfo.cache" >>"$left"
  if [ -s "$left" ]; then
    sort -u "$left" | sed 's/^/left: /'
    fail "apt-get purge kitforge left $(sort -u "$left" | wc -l) things behind"
  fi
  say "apt-get purge kitforge: none of its $(wc -l <files.list) paths left, nor anything named after it, its mime type or its handler"
}

case "$1" in
install) install_package ;;
check)
  check_cli
  check_window
  check_desktop
  check_purge ;;
*) echo "usage: $0 install|check" >&2; exit 2 ;;
esac
