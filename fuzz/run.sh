#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   bash fuzz/run.sh [SECONDS-PER-TARGET] [TARGET...]
# Prints, per target, the executions (in all and per second) and the coverage
# libFuzzer reached; exits
# non-zero when a target crashed (the input is kept under $BUILD_DIR/artifacts).
# The corpus of each target is kept in $BUILD_DIR/corpus, so later runs go on
# from where earlier ones stopped.
set -euo pipefail
cd "$(dirname "$0")/.."

SECONDS_PER_TARGET="${1:-60}"
shift || true
BUILD_DIR="${BUILD_DIR:-build-fuzz}"

if ! command -v clang++ >/dev/null 2>&1; then
    echo "fuzz/run.sh: clang++ is missing (Debian: apt-get install clang libclang-rt-14-dev)" >&2
    exit 2
fi

if [ $# -gt 0 ]; then
    TARGETS=("$@")
else
    TARGETS=()
    for source in fuzz/fuzz_*.cpp; do
        TARGETS+=("$(basename "$source" .cpp)")
    done
fi

cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1" \
    -DCMAKE_CXX_COMPILER=clang++ \
    -DQUORVEL_FUZZ=ON -DQUORVEL_BUILD_TESTS=OFF -DQUORVEL_BUILD_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" --target "${TARGETS[@]}" -j"$(nproc)"

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
export QT_QPA_PLATFORM=offscreen

failed=0
summary=()
for target in "${TARGETS[@]}"; do
    corpus="$BUILD_DIR/corpus/$target"
    artifacts="$BUILD_DIR/artifacts"
    log="$BUILD_DIR/logs/$target.log"
    mkdir -p "$corpus" "$artifacts" "$(dirname "$log")"
    echo "== $target: ${SECONDS_PER_TARGET}s"
    status=0
    "$BUILD_DIR/fuzz/$target" "$corpus" \
        -max_total_time="$SECONDS_PER_TARGET" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
        -print_final_stats=1 -artifact_prefix="$artifacts/$target-" >"$log" 2>&1 || status=$?
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
    done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
    [ -n "$done_line" ] || done_line=$(grep -E '^#[0-9]+[[:space:]]+[A-Z]+[[:space:]]+cov:' "$log" | tail -n 1 || true)
    cov=$(sed -n 's/.*cov: \([0-9]*\).*/\1/p' <<<"$done_line")
    ft=$(sed -n 's/.*ft: \([0-9]*\).*/\1/p' <<<"$done_line")
    corp=$(sed -n 's/.*corp: \([0-9]*\).*/\1/p' <<<"$done_line")
    if [ "$status" -ne 0 ]; then
        failed=1
        echo "   CRASH (exit $status); log: $log"
        grep -E 'ERROR|invariant broken|runtime error|SUMMARY|Test unit written' "$log" | head -n 20 || true
        result=CRASH
    else
        result=ok
    fi
    summary+=("$(printf '%-22s %12s %8s %8s %8s %8s  %s' "$target" "${execs:-?}" "${rate:-?}" "${cov:-?}" "${ft:-?}" \
        "${corp:-?}" "$result")")
done

echo
printf '%-22s %12s %8s %8s %8s %8s  %s\n' target executions exec/s cov ft corpus result
printf '%s\n' "${summary[@]}"
exit "$failed"
