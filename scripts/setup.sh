#!/usr/bin/env bash
# Installs the Debian packages the project builds and tests with, only those missing.
# Runs as root, or through sudo.
set -euo pipefail

packages=(g++ cmake ninja-build ccache pkg-config clang-format googletest libgtest-dev libgmock-dev
          libbenchmark-dev sox libpulse-dev libdbus-1-dev libsndfile1-dev libsoxr-dev libcli11-dev
          pulseaudio pulseaudio-utils qt6-base-dev qt6-svg-dev libxcb1-dev xvfb openbox trayer xdotool
          x11-utils imagemagick xclip time man-db desktop-file-utils appstream weston
          xwayland qt6-wayland dbus libglib2.0-bin xfce4-panel xfwm4 xfconf
          at-spi2-core python3-pyatspi qt6ct)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "setup: need root or sudo to install ${missing[*]}" >&2; exit 1; }
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
