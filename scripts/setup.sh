#!/usr/bin/env bash
# Checks for the Debian packages the build needs and builds everything into
# ./build. As root it installs what is missing; as anyone else it names the
# one apt-get line to run as root and stops, so no password prompt or sudo is
# ever needed. Safe to run again; downloads nothing but Debian packages.
set -euo pipefail
cd "$(dirname "$0")/.."

# help2man writes the tools' man pages, rsvg-convert (librsvg2-bin) renders
# the icons, dpkg-dev brings dpkg-buildflags for the hardening flags.
PACKAGES=(build-essential cmake pkg-config dpkg-dev qtbase5-dev qtbase5-dev-tools libqt5serialport5-dev
          help2man librsvg2-bin ${EXTRA_PACKAGES:-})
missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    if [ "$(id -u)" -ne 0 ]; then
        echo "Missing Debian packages: ${missing[*]}" >&2
        echo "Install them as root, then run this script again:" >&2
        echo >&2
        echo "    apt-get install ${missing[*]}" >&2
        echo >&2
        exit 1
    fi
    echo "Installing: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

BUILD_DIR="${BUILD_DIR:-build}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" ${CMAKE_EXTRA_ARGS:-}
cmake --build "$BUILD_DIR" -j"$(nproc)"
