#!/usr/bin/env bash
# Sets up, builds, starts the virtual board on 127.0.0.1:4001 and then the
# program. Connect in "RS485 TCP" (the stored defaults reach the board).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR="${BUILD_DIR:-build}"
board_pid=""
if [ "${NO_VIRTUAL_BOARD:-0}" != 1 ] && [ -x "$BUILD_DIR/sim/quorvel-vboard" ]; then
    "$BUILD_DIR/sim/quorvel-vboard" --tcp 127.0.0.1:4001 &
    board_pid=$!
    trap '[ -n "$board_pid" ] && kill "$board_pid" 2>/dev/null || true' EXIT
fi
"$BUILD_DIR/app/Quorvel"
