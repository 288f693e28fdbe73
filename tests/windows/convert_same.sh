#!/bin/sh
# kitforge-cli.exe under Wine converts the shipped examples byte for byte as the Linux build
# does, into every format, with and without comments, and saves under a Japanese name.
# Usage: convert_same.sh LINUX_CLI WINDOWS_CLI WORKDIR (Wine's environment set by the caller)
set -eu
linux=$(realpath "$1")
windows=$(realpath "$2")
work=$3
examples=$(realpath "$(dirname "$0")/../fuzz/examples")
rm -rf "$work"
mkdir -p "$work/linux" "$work/windows"
cd "$work"
failures=0
compared=0
for input in kit/basic.kfg import/basic.mid import/basic.syx import/basic.txt; do
  for format in kfg mid prt txt syx; do
    for option in "" --no-comment; do
      out=$(basename "$input" | tr . _)$option.$format
      # Relative names: the .mid keeps the path it was written to when set 1 has no name.
      # A failed conversion shows as a missing file.
      (cd linux && "$linux" convert $option "$examples/$input" "$out" 2>/dev/null) || true
      (cd windows && wine "$windows" convert $option "$examples/$input" "$out" 2>/dev/null) || true
      compared=$((compared + 1))
      if ! cmp -s "linux/$out" "windows/$out"; then
        echo "differs: convert $option $input -> .$format" >&2
        failures=$((failures + 1))
      fi
    done
  done
done
# The name comes in through the UTF-16 command line and reaches the disk as it is.
name="ドラム 太鼓.kfg"
(cd windows && wine "$windows" convert "$examples/kit/basic.kfg" "$name") || true
compared=$((compared + 1))
if ! cmp -s "windows/$name" linux/basic_kfg.kfg; then
  echo "differs or missing: $name" >&2
  failures=$((failures + 1))
fi
echo "kitforge-cli.exe convert: $((compared - failures)) of $compared outputs as on Linux"
[ "$failures" -eq 0 ]
