#!/bin/sh
# cmake --install into a folder of the test's own puts the program, its data, the desktop
# entry, the .kfg file type, the icons, the AppStream metainfo and the man pages where a desktop
# finds them, each valid to its own tools, and the installed program finds its tables there.
set -eu
build=$1 work=$2
rm -rf "$work"
cmake --install "$build" --prefix "$work" >/dev/null
for f in bin/kitforge bin/kitforge-cli share/kitforge/Drum_set.csv share/kitforge/DrumInst.csv \
  share/kitforge/kitforge.html share/applications/kitforge.desktop share/mime/packages/kitforge.xml \
  share/icons/hicolor/scalable/apps/kitforge.svg share/metainfo/org.vondrel.kitforge.metainfo.xml \
  share/man/man1/kitforge.1 share/man/man1/kitforge-cli.1; do
  [ -e "$work/$f" ] || { echo "missing $f"; exit 1; }
done
for size in 16 22 24 32 48 64 128 256; do
  [ -s "$work/share/icons/hicolor/${size}x${size}/apps/kitforge.png" ] || { echo "missing ${size}px icon"; exit 1; }
  # A theme takes an icon for the size its folder names.
  # Width and height: the low bytes of the PNG header's two 32-bit numbers.
  [ "$(od -An -tu1 -j18 -N6 "$work/share/icons/hicolor/${size}x${size}/apps/kitforge.png" | awk '{ print $1 * 256 + $2, $5 * 256 + $6 }')" = "$size $size" ] ||
    { echo "the ${size}px icon is not $size x $size"; exit 1; }
done
desktop-file-validate "$work/share/applications/kitforge.desktop"
grep -q '^Exec=kitforge %f$' "$work/share/applications/kitforge.desktop"
grep -q '^MimeType=application/x-kitforge-kit;$' "$work/share/applications/kitforge.desktop"
appstreamcli validate --no-net "$work/share/metainfo/org.vondrel.kitforge.metainfo.xml" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log"; exit 1; }

# The file type and its handler as a desktop's databases see them.
update-mime-database "$work/share/mime" 2>"$work/mime.log" || { cat "$work/mime.log"; exit 1; }
grep -qx 'application/x-kitforge-kit:\*\.kfg' "$work/share/mime/globs" || { echo "no *.kfg in the mime database"; exit 1; }
update-desktop-database "$work/share/applications"
grep -qx 'application/x-kitforge-kit=kitforge.desktop;' "$work/share/applications/mimeinfo.cache" ||
  { echo "kitforge.desktop does not open kits"; exit 1; }

# The pages as man shows them, without a word from groff.
for page in kitforge kitforge-cli; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$work/share/man/man1/$page.1" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "man $page: $warnings"; exit 1; }
  LC_ALL=C.UTF-8 man -l "$work/share/man/man1/$page.1" 2>/dev/null | grep -q "^NAME" || { echo "man $page shows nothing"; exit 1; }
done

# The installed program, with no tables beside it, finds those of its prefix.
"$build/bin/kitforge-cli" tables >"$work/tables.build"
"$work/bin/kitforge-cli" tables >"$work/tables.installed" || { echo "the installed kitforge-cli finds no tables"; exit 1; }
cmp -s "$work/tables.build" "$work/tables.installed" || { echo "the installed tables list other sets"; exit 1; }
version=$(sed -n 's/^project(Kitforge VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
[ "$("$work/bin/kitforge-cli" --version)" = "kitforge-cli $version" ] || { echo "kitforge-cli --version is not $version"; exit 1; }
echo "1 passed, 0 failed"
