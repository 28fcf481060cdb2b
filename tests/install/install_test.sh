#!/usr/bin/env bash
# `cmake --install` into a staging folder, checked as a distribution would check it: exactly
# the programs and their desktop files and nothing else (no test or benchmark), a desktop
# entry that desktop-file-validate accepts, a machine-readable copyright file granting the
# About box's licence, metainfo that appstreamcli accepts with the entry and icon it names,
# icons whose pictures have the size of their folder, and man pages that are data/'s,
# compressed without a name or time, and that man formats without a warning
# (tests/doc/man_page_test.sh holds the pages to the programs' --help).
#   install_test.sh BUILD_DIR STAGING_DIR
set -uo pipefail
build=$1
stage=$2
id=com.tarnwick.echora
srcdir=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/../support/checks.sh"

rm -rf "$stage"
cmake --install "$build" --prefix "$stage/usr" >"$build/install-test.log" 2>&1 || {
  cat "$build/install-test.log"; exit 1; }
usr=$stage/usr

expected="bin/echora
bin/echora-cli
share/applications/$id.desktop
share/doc/echora/changelog.gz
share/doc/echora/copyright
share/icons/hicolor/128x128/apps/$id.png
share/icons/hicolor/16x16/apps/$id.png
share/icons/hicolor/22x22/apps/$id.png
share/icons/hicolor/24x24/apps/$id.png
share/icons/hicolor/256x256/apps/$id.png
share/icons/hicolor/32x32/apps/$id.png
share/icons/hicolor/48x48/apps/$id.png
share/icons/hicolor/64x64/apps/$id.png
share/icons/hicolor/scalable/apps/$id.svg
share/man/man1/echora-cli.1.gz
share/man/man1/echora.1.gz
share/metainfo/$id.metainfo.xml"
installed=$(cd "$usr" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort)
check "exactly the programs and their desktop files are installed" test "$installed" = "$expected"
[ "$installed" = "$expected" ] || diff <(echo "$expected") <(echo "$installed")

entry=$usr/share/applications/$id.desktop
check "desktop-file-validate accepts the entry" desktop-file-validate "$entry"
field() { sed -n "s/^$1=//p" "$entry"; }
check "the entry starts the installed program" test -x "$usr/bin/$(field Exec)"
check "the entry is in Audio and AudioVideo, as a Qt program" \
  test "$(field Categories)" = "AudioVideo;Audio;Qt;"
check "the entry has keywords and the window class" test -n "$(field Keywords)" -a \
  "$(field StartupWMClass)" = echora
check "the entry's icon is the application id" test "$(field Icon)" = "$id"

metainfo=$usr/share/metainfo/$id.metainfo.xml
check "appstreamcli validates the metainfo" appstreamcli validate --no-net "$metainfo"
# The whole tree: the launchable's desktop entry and its icon must be found there too.
check "appstreamcli validates the installed tree" appstreamcli validate-tree --no-net "$usr"
check "the metainfo launches the installed entry" \
  grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo"
check "the metainfo's release is the programs' version" grep -q \
  "<release version=\"$("$usr/bin/echora-cli" --version | cut -d' ' -f2)\"" "$metainfo"

copyright=$usr/share/doc/echora/copyright
check "the copyright file is machine-readable" grep -qx \
  'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' "$copyright"
# The licence the About box grants, its two string literals joined.
granted=$(sed -n '/"Echora is free to use/{N;s/"\s*\n\s*"//;s/^\s*"//;s/\\n.*//;p}' \
            "$srcdir/app/about_box.cpp")
licence=$(sed -n '/^License: Echora-freeware$/,/^$/{/^ /p}' "$copyright" | sed 's/^ //' | paste -sd' ')
check "the copyright's licence is the About box's words" test -n "$granted" -a "$licence" = "$granted"
check "the metainfo names the same licence" \
  grep -q "<project_license>LicenseRef-Echora-freeware</project_license>" "$metainfo"

icons_fit=true
for size in 16 22 24 32 48 64 128 256; do
  actual=$(identify -format '%wx%h' "$usr/share/icons/hicolor/${size}x$size/apps/$id.png")
  [ "$actual" = "${size}x$size" ] || { echo "the $size icon is $actual"; icons_fit=false; }
done
check "every icon has the size of its folder" $icons_fit
check "the scalable icon is an SVG" grep -q '<svg ' "$usr/share/icons/hicolor/scalable/apps/$id.svg"

for program in echora echora-cli; do
  page=$usr/share/man/man1/$program.1.gz
  # As lintian formats it: any message from man or groff is a fault of the page.
  messages=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  check "man formats $program.1 without a warning" test -z "$messages"
  [ -z "$messages" ] || echo "$messages"
  check "the installed page of $program is data/$program.1" \
    bash -c "zcat \"\$1\" | cmp -s - \"\$2\"" _ "$page" "$srcdir/data/$program.1"
  # gzip -n: no file name and a zero time in the header, so that two builds agree.
  check "the page of $program is compressed without a name or time" \
    test "$(od -An -tx1 -j3 -N5 "$page" | tr -d ' ')" = 0000000000
done

finish
