#!/usr/bin/env bash
# Installs what is missing, runs the native step (text and containers under
# the sanitizers, corpus regression, short fuzz runs), then builds both
# targets and runs every test under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
mkdir -p "$build"

bash "$root/tools/setup-deps.sh"
BUILD_DIR=$build bash "$root/tools/native.sh"
BUILD_DIR=$build bash "$root/tools/build.sh"
cd "$build/x86_64"
ctest --output-on-failure --timeout 600 "$@"
