#!/usr/bin/env bash
# The controller at work under Wine, in a prefix of its own: installs the demo
# application as a service, starts it, shows the state and the application's
# log, stops it and removes it, printing every exit code.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
mkdir -p "$build"

bash "$root/tools/setup-deps.sh" || exit 1
BUILD_DIR=$build bash "$root/tools/build.sh" > "$build/demo-build.log" 2>&1 || {
    cat "$build/demo-build.log"; exit 1; }

wine_dir=$build/demo-wine
harness=$root/tools/wine-harness.sh
"$harness" stop "$wine_dir"
trap '"$harness" stop "$wine_dir"' EXIT
echo "== Starting Wine (a prefix of its own in $wine_dir)"
"$harness" start "$wine_dir" || exit 1

# The controller's folder: service.exe, service.cfg and the hosted application.
app=$build/demo-app
rm -rf "$app"
mkdir -p "$app"
cp "$build/x86_64/service/service.exe" "$build/x86_64/service/demoapp.exe" "$root/examples/demoapp/service.cfg" "$app/"
winlog="Z:$(echo "$app/controller.log" | tr / '\\')"

controller() {
    echo "== service.exe $*"
    "$harness" run "$wine_dir" "$app/service.exe" "$@" "/LOGITAPPEND:$winlog"
    echo "   exit code: $?"
}
state() {
    "$harness" run "$wine_dir" "$build/x86_64/tests/scstate.exe" TarniDemo
}

# A service left behind by an interrupted run would make /install fail.
"$harness" run "$wine_dir" "$app/service.exe" /stop > /dev/null 2>&1
"$harness" run "$wine_dir" "$app/service.exe" /uninstall > /dev/null 2>&1

echo "== service.cfg:"
sed 's/^/   /' "$app/service.cfg"
controller /install
state
controller /start
sleep 2
state
echo "== demoapp.log while the service runs:"
sed 's/^/   /' "$app/demoapp.log"
controller /stop
state
echo "== demoapp.log after the stop:"
tail -n 1 "$app/demoapp.log" | sed 's/^/   /'
controller /uninstall
state
echo "== The controller's diagnostic log is $app/controller.log"
