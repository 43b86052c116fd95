#!/usr/bin/env bash
# A long run of the window against the virtual board (bench/bench_soak.cpp):
# CYCLES connect/readout/disconnect cycles and a firmware transfer, with the
# RX/TX dump on. Runs it twice: in the plain build for the memory figures, and
# in the sanitizer build, where LeakSanitizer reports any leak when it ends.
# Not a test (it takes minutes); prints figures and fails on a failed cycle,
# a dump past its line limit, a wrong image on the board or a leak.
#   bash tools/soak.sh [CYCLES] [pty|tcp]
set -euo pipefail
cd "$(dirname "$0")/.."

CYCLES="${1:-1000}"
LINK="${2:-pty}"
PLAIN="${PLAIN_BUILD_DIR:-build}"
ASAN="${ASAN_BUILD_DIR:-build-asan}"

cmake -S . -B "$PLAIN" >/dev/null
cmake --build "$PLAIN" --target bench_soak quorvel-vboard -j"$(nproc)" >/dev/null
cmake -S . -B "$ASAN" -DCMAKE_BUILD_TYPE=Debug -DQUORVEL_SANITIZE=ON >/dev/null
cmake --build "$ASAN" --target bench_soak quorvel-vboard -j"$(nproc)" >/dev/null

# Wall time and peak memory too, when GNU time is there.
measure() {
    if [ -x /usr/bin/time ]; then
        /usr/bin/time -f "wall %e s, peak rss %M KiB" "$@"
    else
        "$@"
    fi
}

echo "== plain build ($PLAIN)"
measure "$PLAIN/bench/bench_soak" "$CYCLES" "$LINK"

# Its resident memory includes AddressSanitizer's quarantine of freed blocks
# (256 MiB by default); ASAN_OPTIONS=quarantine_size_mb=0 shows the program's own.
echo "== sanitizer build ($ASAN), LeakSanitizer on"
ASAN_OPTIONS="detect_leaks=1" LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp" \
    measure "$ASAN/bench/bench_soak" "$CYCLES" "$LINK"
echo "no leak reported"
