#!/usr/bin/env bash
# Builds the .deb as a packager would (a Release build with Debian's hardening flags, in
# its own tree, warnings as errors as everywhere in CI), checks it with lintian, installs
# it with apt-get, runs echora-cli --help and starts echora from /usr/bin on the desktop
# rig, then removes it again. Prints the package's size and its installed size.
#   scripts/build-deb.sh [--keep]   (--keep leaves the package installed)
set -euo pipefail
cd "$(dirname "$0")/.."
keep=false
[ "${1:-}" = --keep ] && keep=true

bash scripts/setup.sh
# What only this script needs.
for p in lintian dpkg-dev; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$p" >/dev/null
done

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
rm -f "$tree"/echora_*.deb
(cd "$tree" && cpack -G DEB >/dev/null)
deb=$(ls "$tree"/echora_*.deb)

echo "== lintian $deb"
lintian --display-info --fail-on error,warning "$deb" | tee "$tree/lintian.txt"
echo "(end of lintian's output)"
dpkg-deb --field "$deb" Package Version Section Depends Installed-Size

echo "== installing"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --reinstall "./$deb" >/dev/null
$keep || trap 'DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq echora >/dev/null' EXIT
echo "installed: $(dpkg-query -W -f='${Package} ${Version}, ${Installed-Size} KiB' echora)"
echo ".deb: $(stat -c %s "$deb") bytes"
/usr/bin/echora-cli --help >/dev/null
echo "ok: /usr/bin/echora-cli --help"
bash tests/desktop/installed_test.sh /usr/bin/echora "$tree/artifacts"
