#!/usr/bin/env bash
# Soak run: N install/start/stop/uninstall cycles of the demo application
# under Wine's service control manager, in a prefix of its own.
#
#   tools/soak.sh N
#
# Every fifth cycle sends /stop right after /start, which can reach the
# service before the demo application has made its window. The service then
# stays stop pending (it does not retry), /stop still answers 0 after its 21
# queries, and the script ends the demo application itself; such cycles are
# counted apart. The script counts unexpected exit codes, cycles slower than
# 5 s (not the early stops) and processes left over, and prints a summary.
# It uses the binaries of an earlier build (tools/build.sh).
set -uo pipefail
cycles=${1:?number of cycles}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
bin=$build/x86_64/service
[ -f "$bin/service.exe" ] || { echo "soak: build first (tools/build.sh)"; exit 1; }

wine_dir=$build/soak-wine
harness=$root/tools/wine-harness.sh
"$harness" stop "$wine_dir"
trap '"$harness" stop "$wine_dir"' EXIT
"$harness" start "$wine_dir" || exit 1

app=$build/soak-app
rm -rf "$app"
mkdir -p "$app"
cp "$bin/service.exe" "$bin/demoapp.exe" "$bin"/demoapp*.chm "$bin"/demoapp*.ids "$app/"
name=TarniSoak
sed "s/^AppName=.*/AppName=$name/" "$root/examples/demoapp/service.cfg" > "$app/service.cfg"
winlog="Z:$(echo "$app/controller.log" | tr / '\\')"

# A controller that shows a box would wait for ever: 120 s is far beyond
# the longest verb (a /stop's 21 queries).
controller() {
    timeout 120 "$harness" run "$wine_dir" "$app/service.exe" "$@" "/LOGITAPPEND:$winlog" > /dev/null 2>&1
}
state() {
    "$harness" run "$wine_dir" "$build/x86_64/tests/scstate.exe" "$name" 2>/dev/null | sed -n 's/.*(\([0-9]\)).*/\1/p'
}
# The demo application and the service process run as Wine processes whose
# command line names their program in the soak folder.
leftovers() {
    pgrep -fa 'soak-app.(service|demoapp)\.exe' | grep -v pgrep
}
now_ms() { date +%s%3N; }

controller /stop
controller /uninstall

bad=0 slow=0 early=0 stuck=0 leftover=0
declare -A codes
for i in $(seq "$cycles"); do
    quick=$((i % 5 == 0))
    start=$(now_ms)
    for verb in /install /start /stop /uninstall; do
        if [ "$verb" = /stop ] && [ $quick = 0 ]; then
            sleep 1
        fi
        controller "$verb"
        rc=$?
        if [ $rc != 0 ]; then
            bad=$((bad + 1))
            codes["$verb $rc"]=$(( ${codes["$verb $rc"]:-0} + 1 ))
            echo "cycle $i: $verb exit code $rc"
        fi
        if [ "$verb" = /stop ] && [ "$(state)" != 1 ]; then
            if [ $quick = 1 ]; then
                early=$((early + 1))
                pkill -f 'soak-app.demoapp\.exe'
                for _ in $(seq 100); do
                    [ "$(state)" = 1 ] && break
                    sleep 0.1
                done
            fi
            if [ "$(state)" != 1 ]; then
                stuck=$((stuck + 1))
                echo "cycle $i: service not stopped after /stop (state $(state))"
            fi
        fi
    done
    elapsed=$(( $(now_ms) - start ))
    if [ $quick = 0 ] && [ $elapsed -gt 5000 ]; then
        slow=$((slow + 1))
        echo "cycle $i: took $elapsed ms"
    fi
    if [ -n "$(leftovers)" ]; then
        sleep 2
        if [ -n "$(leftovers)" ]; then
            leftover=$((leftover + 1))
            echo "cycle $i: processes left over:"
            leftovers
            pkill -f 'soak-app.(service|demoapp)\.exe'
        fi
    fi
    [ $((i % 50)) = 0 ] && echo "... $i cycles"
done

left=$(leftovers | wc -l)
echo "== $cycles cycles ($((cycles / 5)) with /stop right after /start)"
echo "   unexpected exit codes: $bad"
for key in "${!codes[@]}"; do
    echo "     $key: ${codes[$key]} time(s)"
done
echo "   stops before the window existed (demo application ended by the script): $early"
echo "   services not stopped after /stop: $stuck"
echo "   cycles slower than 5 s (early stops not counted): $slow"
echo "   cycles that left processes behind: $leftover"
echo "   processes left over at the end: $left"
echo "   controller log: $app/controller.log"
[ $bad = 0 ] && [ $stuck = 0 ] && [ $leftover = 0 ] && [ $left = 0 ]
