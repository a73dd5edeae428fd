#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages that building, running and testing Varnolt need,
# skipping the ones already there.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite
    qt6-charts-dev libqt6opengl6-dev qt6-multimedia-dev
    libsqlite3-dev sqlite3 libxcb1-dev
    xvfb xauth x11-utils x11-apps trayer openbox xdotool util-linux iproute2 faketime iperf3 jq strace tzdata
    clang libclang-rt-14-dev
    python3
    fonts-dejavu-core fonts-noto-core
    dbus-daemon dbus-bin python3-gi gir1.2-glib-2.0
    dpkg-dev lintian desktop-file-utils appstream
    libminiupnpc-dev miniupnpd python3-prometheus-client
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
