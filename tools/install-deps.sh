#!/usr/bin/env bash
# Installs the Debian 12 packages Vornel needs to build, run and test, skipping those already
# present; given package names, those instead (the Windows scripts name theirs). Runs as root, or
# through sudo where it is installed.
set -euo pipefail

packages=("$@")
[ ${#packages[@]} -gt 0 ] || packages=(
    g++ cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-serialport-dev libgl-dev
    libgtest-dev libbenchmark-dev
    fonts-dejavu-core fonts-liberation fonts-texgyre fonts-freefont-ttf
    python3 python3-serial xvfb xauth xdotool xclip imagemagick socat picocom
    dpkg-dev file man-db lintian appstream desktop-file-utils
    metacity weston qt6-wayland x11-utils
    dbus-daemon dbus-bin at-spi2-core python3-pyatspi
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

as_root=()
if [ "$(id -u)" -ne 0 ]; then
    as_root=(sudo)
fi
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" >/dev/null
