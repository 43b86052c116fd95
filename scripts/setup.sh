#!/usr/bin/env bash
# Installs what the build needs from Debian's packages (when missing) and
# builds everything into ./build. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(build-essential cmake qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev)
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_EXTRA_ARGS:-}
cmake --build "$BUILD_DIR" -j"$(nproc)"
