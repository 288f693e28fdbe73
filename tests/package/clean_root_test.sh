#!/bin/sh
# The package as a user installs it. A clean Debian 12 root, made by mmdebstrap (variant apt)
# from this machine's own Debian archive entries in a folder of its own, where the package goes
# in with apt-get install ./kitforge_*.deb, so that a dependency it forgot shows; then in_root.sh
# uses it, compares it with the build tree and purges it.
#
# The root lives in namespaces of its own (mmdebstrap's unshare mode: for root a mount and PID
# namespace, for a user with subordinate ids a user namespace too), so none of its mounts or
# processes outlasts the run however it ends. For root a private mount namespace around it all
# keeps its mounts from the machine's; the root is made in memory there when the machine has it to
# spare, so that its gigabyte never goes to the disk and vanishes with the namespace. Its
# downloads are kept between runs in ${XDG_CACHE_HOME:-~/.cache}/kitforge/debian-12-root, less
# what the archive no longer serves.
# Usage: clean_root_test.sh DEB KITFORGE_CLI WORKDIR    (exit 77: cannot be run here, and why)
set -eu
deb=$(realpath "$1")
cli=$(realpath "$2")
work=$3
here=$(cd "$(dirname "$0")" && pwd)
cache=${XDG_CACHE_HOME:-$HOME/.cache}/kitforge/debian-12-root
start=$(date +%s)

command -v mmdebstrap >/dev/null || { echo "package: skipped: no mmdebstrap"; exit 77; }
if [ "$(id -u)" -ne 0 ] && ! grep -qs "^$(id -un):" /etc/subuid; then
  echo "package: skipped: not root, and no subordinate ids for $(id -un) in /etc/subuid"
  exit 77
fi

rm -rf "$work"
mkdir -p "$work/files/expected" "$cache"
work=$(realpath "$work")

# This machine's Debian 12 entries, for binary packages: deb822 files and one-line lists.
sources=$work/debian.sources
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] || continue
  awk 'BEGIN { RS = ""; ORS = "\n\n" }
       /(^|\n)Types:[^\n]*[ \t]deb([ \t\n]|$)/ && /(^|\n)Suites:[^\n]*[ \t]bookworm/ && !/(^|\n)Enabled:[ \t]*no/ {
         sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb"); print }' "$f"
done >"$sources"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
  [ -f "$f" ] && grep -E '^deb[ \t]+(\[[^]]*\][ \t]+)?[^ \t]+[ \t]+bookworm(-updates|-security)?[ \t]' "$f"
done >>"$sources" || true
grep -q . "$sources" || { echo "package: FAILED: no Debian 12 (bookworm) entries in /etc/apt" >&2; exit 1; }

# What the build tree writes, for the installed program to match: the same relative names.
cp "$deb" "$here/in_root.sh" "$work/files/"
cp -R "$here/../fuzz/examples" "$work/files/examples"
"$cli" tables >"$work/files/expected/tables.txt"
for input in kit/basic.kfg import/basic.mid import/basic.syx import/basic.txt; do
  for format in kfg mid prt txt syx; do
    out=$(basename "$input" | tr . _).$format
    (cd "$work/files/expected" && "$cli" convert "../examples/$input" "$out" 2>/dev/null)
  done
done

proxy=""
eval "$(apt-config shell proxy Acquire::http::Proxy)"
set -- --mode=unshare --variant=apt --skip=essential/unlink --aptopt='Acquire::Languages "none"'
[ -n "$proxy" ] && set -- "$@" --aptopt="Acquire::http::Proxy \"$proxy\""
set -- "$@" \
  --setup-hook='mkdir -p "$1/var/cache/apt/archives"' \
  --setup-hook="sync-in $cache /var/cache/apt/archives/" \
  --customize-hook='mkdir -p "$1/tmp/kitforge-test"' \
  --customize-hook="sync-in $work/files /tmp/kitforge-test/" \
  --customize-hook='chroot "$1" sh /tmp/kitforge-test/in_root.sh install' \
  --customize-hook='chroot "$1" sh -c "apt-get -qq autoclean; ls /var/cache/apt/archives >/tmp/kitforge-test/archives.list"' \
  --customize-hook="sync-out /var/cache/apt/archives $cache" \
  --customize-hook="download /tmp/kitforge-test/archives.list $work/archives.list" \
  --customize-hook='chroot "$1" sh /tmp/kitforge-test/in_root.sh check'
run_mmdebstrap() {
  if [ "$(id -u)" -ne 0 ]; then
    # In /tmp: the user namespace's root may not enter a home folder of mode 700.
    mmdebstrap "$@"
    return
  fi
  # Made here, so that a run killed outright leaves nothing where the next does not look.
  mkdir -m 1777 "$work/tmp"
  TMPDIR=$work/tmp unshare --mount --propagation private -- sh -c '
    if [ "$(awk "/^MemAvailable:/ { print int(\$2 / 1048576) }" /proc/meminfo)" -ge 6 ]; then
      mount -t tmpfs -o mode=1777,size=4g kitforge-root "$TMPDIR"
    fi
    exec mmdebstrap "$@"' mmdebstrap "$@"
}
status=0
# Hooks keep the environment: in_root.sh counts its seconds from here.
export KITFORGE_ROOT_START=$start
run_mmdebstrap "$@" bookworm /dev/null "$sources" 2>"$work/mmdebstrap.log" || status=$?
# mmdebstrap sends what its hooks print to its log: the test's own lines are shown from there.
grep '^package: ' "$work/mmdebstrap.log" || true

# The cache keeps what the archive still serves.
if [ -s "$work/archives.list" ]; then
  for f in "$cache"/*.deb; do
    [ -e "$f" ] && ! grep -qxF "$(basename "$f")" "$work/archives.list" && rm -f "$f"
  done
fi
if [ "$status" -ne 0 ]; then
  grep -v '^package: ' "$work/mmdebstrap.log" | tail -40 >&2
  echo "package: FAILED: the clean root test ended with $status ($work/mmdebstrap.log)" >&2
  exit 1
fi
echo "package: in a clean Debian 12 root in $(($(date +%s) - start)) s ($(du -sm "$cache" | cut -f1) MB of downloads cached in $cache)"
