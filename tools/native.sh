#!/usr/bin/env bash
# The native step: builds framework/text, framework/containers and their
# tests and fuzz targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build/native), then runs the unit tests, every
# corpus input, one 3 MB input and each fuzz target for a few seconds.
# Extra arguments go to ctest (-R fuzz_hash, ...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}/native

CC=clang CXX=clang++ cmake -S "$root/tests/native" -B "$build" -G Ninja > "$build-configure.log" 2>&1 || {
    cat "$build-configure.log"; exit 1; }
cmake --build "$build" -j2
cd "$build"
ctest --output-on-failure -j2 "$@"
