#!/usr/bin/env bash
# Owns one Wine prefix, one persistent wineserver and, when there is no
# display, one private Xvfb for a test run (or for the demo).
#
#   wine-harness.sh start DIR          create/boot the prefix in DIR/prefix
#   wine-harness.sh run DIR PROGRAM…   run a Windows program in it
#   wine-harness.sh stop DIR           stop the server and the private display
#
# Every Wine set-up call has its output redirected: Wine's background
# processes inherit it, and a pipe held open by them would hang the caller.
set -u

cmd=${1:?command}
dir=${2:?directory}
shift 2
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)

export WINEPREFIX="$dir/prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
log="$dir/harness.log"

display_for_run() {
    if [ -f "$dir/display" ]; then
        export DISPLAY=":$(cat "$dir/display")"
    fi
}

start_display() {
    if [ -n "${DISPLAY:-}" ] && [ ! -f "$dir/xvfb.pid" ]; then
        echo "${DISPLAY#:}" > "$dir/display"
        return
    fi
    if [ -f "$dir/xvfb.pid" ] && kill -0 "$(cat "$dir/xvfb.pid")" 2>/dev/null; then
        return
    fi
    rm -f "$dir/display.new"
    setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp \
        3>"$dir/display.new" </dev/null >>"$log" 2>&1 &
    echo $! > "$dir/xvfb.pid"
    for _ in $(seq 100); do
        [ -s "$dir/display.new" ] && break
        sleep 0.1
    done
    if [ ! -s "$dir/display.new" ]; then
        echo "wine-harness: Xvfb did not start (see $log)" >&2
        exit 1
    fi
    tr -d '\n' < "$dir/display.new" > "$dir/display"
}

set_keys() {
    # No window manager: unmanaged windows avoid a 2 s stall on every hide.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f
    # A crashing program ends instead of waiting behind the debugger's dialog.
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f
}

case "$cmd" in
start)
    start_display
    display_for_run
    if [ ! -f "$WINEPREFIX/.tarni-ready" ]; then
        wineserver -k >>"$log" 2>&1
        rm -rf "$WINEPREFIX"
        # A new prefix restarts its server once while it is set up; boot it
        # with a transient server first.
        wineboot >>"$log" 2>&1 </dev/null
        wineserver -w >>"$log" 2>&1
        set_keys >>"$log" 2>&1 </dev/null
        wineserver -w >>"$log" 2>&1
        touch "$WINEPREFIX/.tarni-ready"
    fi
    # A fresh prefix links the desktop and documents to the real home folder:
    # tests write there, so they get real folders inside the prefix.
    for folder in "$WINEPREFIX/drive_c/users/${USER:-$(id -un)}"/{Desktop,Documents}; do
        if [ -L "$folder" ]; then
            rm -f "$folder"
            mkdir -p "$folder"
        fi
    done
    # A persistent server makes each program run cheap; plain wineboot (never
    # wineboot -i) starts the service manager once.
    wineserver -p >>"$log" 2>&1
    wineboot >>"$log" 2>&1 </dev/null
    ;;
run)
    display_for_run
    exec wine "$@"
    ;;
stop)
    wineserver -k >>"$log" 2>&1
    if [ -f "$dir/xvfb.pid" ]; then
        kill "$(cat "$dir/xvfb.pid")" 2>/dev/null
        rm -f "$dir/xvfb.pid" "$dir/display" "$dir/display.new"
    fi
    exit 0
    ;;
*)
    echo "wine-harness: unknown command $cmd" >&2
    exit 2
    ;;
esac
