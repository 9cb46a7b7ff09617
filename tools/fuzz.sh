#!/usr/bin/env bash
# Builds the native fuzz targets (build/native) and runs each for SECONDS,
# one at a time, printing one line per target. New inputs and findings stay
# in build/native/fuzz-work/<target>; a crash's input is named on its line.
# Usage: tools/fuzz.sh SECONDS [target...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}/native
seconds=${1:?usage: tools/fuzz.sh SECONDS [target...]}
shift

mkdir -p "$build"
CC=clang CXX=clang++ cmake -S "$root/tests/native" -B "$build" -G Ninja > "$build-configure.log" 2>&1 || {
    cat "$build-configure.log"; exit 1; }
cmake --build "$build" -j2 > "$build-build.log" 2>&1 || { cat "$build-build.log"; exit 1; }

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$root"/tests/fuzz/fuzz_*.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

failed=0
for target in "${targets[@]}"; do
    work=$build/fuzz-work/$target
    mkdir -p "$work/corpus" "$work/artifacts"
    log=$work/last.log
    rc=0
    # Inputs up to 4 MB; libFuzzer lengthens them step by step.
    "$build/$target" -max_total_time="$seconds" -timeout=30 -max_len=4194304 -rss_limit_mb=4096 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        "$work/corpus" "$root/tests/fuzz/corpus/$target" > "$log" 2>&1 || rc=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    asserts=$(grep '^assertions:' "$log" | tail -1 | sed 's/^assertions: *//')
    if [ $rc -eq 0 ]; then
        printf '%-16s ok     %9s runs  %3ss  assertions: %s\n' "$target" "${runs:-?}" "$seconds" "$asserts"
    else
        failed=1
        finding=$(sed -n 's/.*Test unit written to //p' "$log" | tail -1)
        printf '%-16s FAILED exit %d  %s  (log %s)\n' "$target" "$rc" "${finding:-no input written}" "$log"
    fi
done
exit $failed
