#!/usr/bin/env bash
# The controller at work under Wine, in a prefix of its own: installs the demo
# application as a service, starts it, shows the state and the application's
# log, stops it and removes it, printing every exit code; then does the same
# through the controller dialog (service.exe /GUI), driven by a program as a
# person would, and photographs the notice and the dialog in English and
# German into the build folder's "screenshots".
#
#   tools/demo.sh          the demo
#   tools/demo.sh --docs   the demo, then the pictures copied to docs/
set -uo pipefail
docs=0
[ "${1:-}" = "--docs" ] && docs=1
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
mkdir -p "$build"

echo "== Installing what is missing (Debian packages; about a minute on a bare machine)"
bash "$root/tools/setup-deps.sh" > "$build/demo-setup.log" 2>&1 || {
    cat "$build/demo-setup.log"; exit 1; }
echo "== Building both targets (a few minutes the first time; log: $build/demo-build.log)"
BUILD_DIR=$build bash "$root/tools/build.sh" > "$build/demo-build.log" 2>&1 || {
    cat "$build/demo-build.log"; exit 1; }

wine_dir=$build/demo-wine
harness=$root/tools/wine-harness.sh
"$harness" stop "$wine_dir"
trap '"$harness" stop "$wine_dir"' EXIT
echo "== Starting Wine (a prefix of its own in $wine_dir)"
"$harness" start "$wine_dir" || exit 1
# Wine does not find its own fonts on these machines: without them in the
# prefix every text is DejaVu Sans and the caption buttons show as letters.
cp -n /usr/share/wine/fonts/* "$wine_dir/prefix/drive_c/windows/Fonts/" 2>/dev/null

# The controller's folder: service.exe, service.cfg and the hosted application.
app=$build/demo-app
rm -rf "$app"
mkdir -p "$app"
bin=$build/x86_64/service
cp "$bin/service.exe" "$bin/demoapp.exe" "$bin"/demoapp*.chm "$bin"/demoapp*.ids "$root/examples/demoapp/service.cfg" "$app/"
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

# The dialog refuses Install and Start from Windows Vista on (unless
# /ADVGUI); Wine reports Windows XP to this program so that they run.
"$harness" run "$wine_dir" reg add 'HKCU\Software\Wine\AppDefaults\service.exe' /v Version /d winxp /f > /dev/null 2>&1
# A notice switched off in an earlier run would not be shown.
"$harness" run "$wine_dir" reg delete 'HKCU\Software\Tarni\DemoApp' /f > /dev/null 2>&1

driver() {
    "$harness" run "$wine_dir" "$build/x86_64/tests/guidriver.exe" "$@"
}
shots=$build/screenshots
mkdir -p "$shots"
# The part of the screen that one window covers, as a PNG.
photograph() {
    local geometry
    geometry=$(driver geometry "$1" | tr -d '\r')
    xwd -root -silent -display ":$(cat "$wine_dir/display")" | /usr/bin/convert xwd:- -crop "$geometry" +repage "$shots/$2.png"
    echo "   picture: $shots/$2.png"
}
dialog_run() {
    local language=$1
    shift
    echo "== service.exe $* (the controller dialog)"
    "$harness" run "$wine_dir" "$app/service.exe" "$@" "/LOGITAPPEND:$winlog" &
    gui=$!
    driver notice
    photograph notice "notice-$language"
    driver close-notice
    driver dialog
}
dialog_end() {
    driver press Done
    wait "$gui"
    echo "   exit code: $?"
}

dialog_run english /GUI
driver press Install
driver press Start
driver wait running
photograph dialog dialog-english
driver press Stop
driver wait stopped
driver press Uninstall
dialog_end
state

dialog_run german /GUI /LANG:GER
photograph dialog dialog-german
dialog_end

if [ "$docs" = 1 ]; then
    mkdir -p "$root/docs"
    cp "$shots"/*.png "$root/docs/"
    echo "== The pictures are copied to docs/"
fi
echo "== The controller's diagnostic log is $app/controller.log"
