#!/usr/bin/env bash
# Runs the tray sample (examples/trayapp) under Wine, in the demo's prefix, on
# your display (or a private Xvfb when DISPLAY is not set). Arguments go to
# the program, for example /CRASHDUMP.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
mkdir -p "$build"
bash "$root/tools/setup-deps.sh" || exit 1
BUILD_DIR=$build bash "$root/tools/build.sh" > "$build/trayapp-build.log" 2>&1 || {
    cat "$build/trayapp-build.log"; exit 1; }
harness=$root/tools/wine-harness.sh
wine_dir=$build/demo-wine
"$harness" start "$wine_dir" || exit 1
trap '"$harness" stop "$wine_dir"' EXIT
"$harness" run "$wine_dir" "$build/x86_64/examples/trayapp/trayapp.exe" "$@"
echo "trayapp exit code: $?"
