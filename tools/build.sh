#!/usr/bin/env bash
# Configures and builds both targets: the shipped 32-bit program (build/i686)
# and the x86_64 build with tests and benchmark (build/x86_64).
# BUILD_DIR overrides the "build" folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}

for arch in i686 x86_64; do
    args=(-S "$root" -B "$build/$arch" -G Ninja
          -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch.cmake")
    if [ "$arch" = x86_64 ]; then
        args+=(-DTARNI_I686_SERVICE="$build/i686/service/service.exe")
    fi
    cmake "${args[@]}" > "$build-$arch-configure.log" 2>&1 || {
        cat "$build-$arch-configure.log"; exit 1; }
    cmake --build "$build/$arch" -- -k 0
done
