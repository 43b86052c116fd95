#!/usr/bin/env bash
# Retakes the README's pictures under Xvfb against the virtual board.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD_DIR="${BUILD_DIR:-build}"
command -v xvfb-run >/dev/null || { apt-get install -y -qq xvfb xauth; }
"$BUILD_DIR/sim/quorvel-vboard" --tcp 127.0.0.1:4001 --board-type 1 --firmware 0.0.6 --bootloader 0.0.7 --quiet &
board=$!
trap 'kill $board 2>/dev/null || true' EXIT
sleep 1
xvfb-run -a -s "-screen 0 1280x1000x24" "$BUILD_DIR/tools/screenshots/quorvel-screenshots" docs/screenshots
