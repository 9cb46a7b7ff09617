#!/usr/bin/env bash
# Runs the benchmark under Wine in a prefix of its own (build/bench-wine),
# after an earlier build (tools/build.sh or tools/test.sh).
#
#   tools/bench.sh           every measurement
#   tools/bench.sh window    one of: strings, start, window, dialog, idle, crash
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bench=$build/x86_64/tests/bench/benchmark.exe
[ -f "$bench" ] || { echo "bench: build first (tools/build.sh)"; exit 1; }
wine_dir=$build/bench-wine
harness=$root/tools/wine-harness.sh
[ -f "$wine_dir/prefix/.tarni-ready" ] ||
    echo "== Creating the benchmark's Wine prefix in $wine_dir (once; about 10 s and 700 MB)"
"$harness" start "$wine_dir" || exit 1
trap '"$harness" stop "$wine_dir"' EXIT
"$harness" run "$wine_dir" "$bench" "$@"
