#!/usr/bin/env bash
# Sets up, builds and runs the whole test suite (no display needed).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
BUILD_DIR="${BUILD_DIR:-build}"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$BUILD_DIR" --output-on-failure -j"$(nproc)" ${CTEST_EXTRA_ARGS:-}
