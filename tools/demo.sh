#!/usr/bin/env bash
# Runs the controller under Wine, in a prefix of its own, with the diagnostic
# log switched on, and shows what it wrote.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
mkdir -p "$build"

bash "$root/tools/setup-deps.sh"
BUILD_DIR=$build bash "$root/tools/build.sh" > "$build/demo-build.log" 2>&1 || {
    cat "$build/demo-build.log"; exit 1; }

wine_dir=$build/demo-wine
harness=$root/tools/wine-harness.sh
trap '"$harness" stop "$wine_dir"' EXIT
echo "== Starting Wine (a prefix of its own in $wine_dir)"
"$harness" start "$wine_dir"

exe=$build/x86_64/service/service.exe
log=$build/demo.log
rm -f "$log"
winlog="Z:$(echo "$log" | tr / '\\')"
echo "== service.exe /LOGIT:$winlog /LOG:3 /install \"an argument with blanks\""
set +e
"$harness" run "$wine_dir" "$exe" "/LOGIT:$winlog" /LOG:3 /install "an argument with blanks"
code=$?
set -e
echo "== exit code: $code"
echo "== the diagnostic log ($log):"
cat "$log"
