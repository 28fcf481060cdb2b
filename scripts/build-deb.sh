#!/usr/bin/env bash
# Builds the .deb as a packager would (a Release build with Debian's hardening flags, in
# its own tree, warnings as errors as everywhere in CI), packs it a second time from a fresh
# staging folder with every build output's time moved and checks that the two packages are
# the same bytes, checks that its Installed-Size is dpkg's count, checks it with lintian,
# installs it with apt-get, runs echora-cli --help and starts echora from /usr/bin on the
# desktop rig, then removes it and whatever its installation brought along. Prints the
# package's size and its installed size. Runs as root, or through sudo for apt-get.
#   scripts/build-deb.sh [--keep]   (--keep leaves the package installed)
# An echora package that is installed already is left alone: the script then does not
# install this one, unless --keep asks for it to replace that one.
set -euo pipefail
cd "$(dirname "$0")/.."
keep=false
[ "${1:-}" = --keep ] && keep=true

as_root() {
  if [ "$(id -u)" -eq 0 ]; then
    "$@"
  elif command -v sudo >/dev/null; then
    sudo "$@"
  else
    echo "build-deb: need root or sudo for: $*" >&2
    return 1
  fi
}
apt_get() { as_root env DEBIAN_FRONTEND=noninteractive apt-get -y -qq "$@" >/dev/null; }
installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

bash scripts/setup.sh
# What only this script needs.
for p in lintian dpkg-dev; do
  installed "$p" || apt_get install --no-install-recommends "$p"
done

# Every time in the package is the last commit's, so that the same tree packs into the
# same bytes; outside a checkout, the change log's date.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null ||
                      date -d "$(sed -n 's/^ -- .*  //p' data/changelog.in)" +%s)
fi
export SOURCE_DATE_EPOCH

tree=build-deb
mkdir -p "$tree"
# Stripped as Debian's own packages are: without the compiler's .comment and .note notes.
printf '#!/bin/sh\nexec strip --remove-section=.comment --remove-section=.note "$@"\n' \
  >"$tree/strip"
chmod +x "$tree/strip"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)" \
  LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_STRIP="$PWD/$tree/strip" -DECHORA_WERROR=ON -DECHORA_BUILD_TESTS=OFF \
  -DECHORA_BUILD_BENCHMARKS=OFF >/dev/null
nice -n 10 cmake --build "$tree" -j 2

# package DIR: installs the build into a fresh staging folder under DIR and packs it there.
package() {
  local dir
  dir=$(realpath "$1")
  rm -rf "$dir/_CPack_Packages" "$dir"/echora_*.deb
  (cd "$tree" && cpack -G DEB -B "$dir" >"$dir/cpack.log" 2>&1) || { cat "$dir/cpack.log"; exit 1; }
}
package "$tree"
deb=$(ls "$tree"/echora_*.deb)

echo "== packing again, with the build's outputs touched"
again=$tree/again
mkdir -p "$again"
touch "$tree"/app/echora "$tree"/tools/echora-cli "$tree"/data/*.gz "$tree"/data/*.xml
package "$again"
if ! cmp "$deb" "$again/$(basename "$deb")"; then
  echo "FAILED: two packings of the same build differ; their members and files:" >&2
  diff <(ar tv "$deb") <(ar tv "$again/$(basename "$deb")") >&2 || true
  diff <(dpkg-deb -I "$deb") <(dpkg-deb -I "$again/$(basename "$deb")") >&2 || true
  diff <(dpkg-deb -c "$deb") <(dpkg-deb -c "$again/$(basename "$deb")") >&2 || true
  exit 1
fi
rm -rf "$again"
echo "ok: the package is the same bytes when packed again"

# As dpkg-gencontrol counts: each file and link rounded up to KiB, 1 KiB for a directory.
counted=$(dpkg-deb -c "$deb" | awk '/^d/ { kib += 1; next }
                                     /^l/ { kib += int((length($NF) + 1023) / 1024); next }
                                     { kib += int(($3 + 1023) / 1024) }
                                     END { print kib }')
declared=$(dpkg-deb --field "$deb" Installed-Size)
[ "$declared" = "$counted" ] || {
  echo "FAILED: Installed-Size is $declared, dpkg counts $counted" >&2
  exit 1
}
echo "ok: Installed-Size is dpkg's count ($counted KiB)"

echo "== lintian $deb"
lintian --display-info --fail-on error,warning "$deb" | tee "$tree/lintian.txt"
echo "(end of lintian's output)"
dpkg-deb --field "$deb" Package Version Section Depends Recommends Suggests Installed-Size
echo ".deb: $(stat -c %s "$deb") bytes"

if installed echora && ! $keep; then
  echo "note: echora $(dpkg-query -W -f='${Version}' echora) is installed already and is left" \
       "as it is, so the installed program is not tried; remove it first, or give --keep to" \
       "replace it with this build"
  exit 0
fi

echo "== installing"
# What the installation adds is removed again at the end: echora, and any package it
# pulled in. A package that left only its configuration behind is returned to that state.
states() { dpkg-query -W -f='${Package}:${Architecture} ${db:Status-Abbrev}\n' | LC_ALL=C sort; }
before=$(states)
apt_get install --no-install-recommends --reinstall "./$deb"
if ! $keep; then
  added=$(LC_ALL=C comm -13 <(echo "$before") <(states) | awk '$2 ~ /^ii/ { print $1 }')
  undo() {
    local purge=() remove=()
    for p in $added; do
      if grep -q "^$p " <<<"$before"; then remove+=("$p"); else purge+=("$p"); fi
    done
    [ ${#purge[@]} -eq 0 ] || apt_get purge "${purge[@]}"
    [ ${#remove[@]} -eq 0 ] || apt_get remove "${remove[@]}"
    echo "removed again: $added"
  }
  trap undo EXIT
fi
echo "installed: $(dpkg-query -W -f='${Package} ${Version}, ${Installed-Size} KiB' echora)"
/usr/bin/echora-cli --help >/dev/null
echo "ok: /usr/bin/echora-cli --help"
bash tests/desktop/installed_test.sh /usr/bin/echora "$tree/artifacts"
