#!/bin/sh
# cmake --install into a folder of the test's own puts the program, its data, the desktop
# entry, the .kfg file type and the icons where a desktop finds them.
set -eu
build=$1 work=$2
rm -rf "$work"
cmake --install "$build" --prefix "$work" >/dev/null
for f in bin/kitforge bin/kitforge-cli share/kitforge/Drum_set.csv share/kitforge/DrumInst.csv \
  share/kitforge/kitforge.html share/applications/kitforge.desktop share/mime/packages/kitforge.xml \
  share/icons/hicolor/scalable/apps/kitforge.svg; do
  [ -e "$work/$f" ] || { echo "missing $f"; exit 1; }
done
for size in 16 22 24 32 48 64 128 256; do
  [ -s "$work/share/icons/hicolor/${size}x${size}/apps/kitforge.png" ] || { echo "missing ${size}px icon"; exit 1; }
done
desktop-file-validate "$work/share/applications/kitforge.desktop"
grep -q '^Exec=kitforge %f$' "$work/share/applications/kitforge.desktop"
grep -q 'glob pattern="\*.kfg"' "$work/share/mime/packages/kitforge.xml"
echo "1 passed, 0 failed"
