#!/usr/bin/env bash
# A Wine session for the end-to-end tests and the scripts: a Wine prefix of their own, a virtual X
# display and a wineserver kept alive.
#   wine_session.sh start <state folder> <wine loader>   make the prefix (once), start Xvfb and a
#                                                        wineserver (WINE_SESSION_USE_DISPLAY=1: use
#                                                        $DISPLAY instead of Xvfb)
#   wine_session.sh run <state folder> <program> [args]  run a Windows program there
#   wine_session.sh stop <state folder>                  stop the wineserver and Xvfb
set -euo pipefail
command=$1
state=$2
shift 2

# The wineserver beside the loader (wineserver64 beside wine64, wineserver32 beside wine), else
# the one on the PATH.
wineserver_for() {
    local bits=32
    case "$1" in *64) bits=64 ;; esac
    local server
    server="$(dirname "$1")/wineserver$bits"
    [ -x "$server" ] && echo "$server" || echo wineserver
}

case "$command" in
start)
    wine=$1
    mkdir -p "$state"
    # Leave nothing of an earlier run behind.
    if [ -f "$state/env" ]; then bash "$0" stop "$state" || true; fi
    # Xvfb and the wineserver outlive this script: they must not inherit what the caller holds
    # open beyond the standard streams (a lock taken with flock would stay taken while they run).
    for fd in /proc/$$/fd/*; do
        fd=${fd##*/}
        case $fd in 0 | 1 | 2 | 255) ;; *) eval "exec $fd>&-" ;; esac
    done
    export WINEPREFIX="$state/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    case "$wine" in *wine64) export WINEARCH=win64 ;; *) export WINEARCH=win32 ;; esac
    server=$(wineserver_for "$wine")

    xvfb=
    if [ -n "${WINE_SESSION_USE_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then
        # Show the windows on the display of the person who runs this.
        display=${DISPLAY#:}
    else
        display=
        for n in $(seq 91 140); do
            if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=$n; break; fi
        done
        [ -n "$display" ] || { echo "wine_session: no free X display number" >&2; exit 1; }
        setsid Xvfb ":$display" -screen 0 1024x768x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 &
        xvfb=$!
        for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
        [ -e "/tmp/.X11-unix/X$display" ] || { echo "wine_session: Xvfb did not start" >&2; cat "$state/xvfb.log" >&2; exit 1; }
    fi
    export DISPLAY=":$display"

    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine_session: making the Wine prefix $WINEPREFIX"
        "$wine" wineboot -i </dev/null >/dev/null 2>&1 || true
        "$server" -w
        # A crash must end the process, not wait in winedbg's dialog.
        "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
        # Without a window manager, a managed window that closes waits two seconds for one.
        "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1
        "$server" -w
    fi
    # A wineserver kept alive makes every later Wine process start fast. Prime it first, so that
    # Wine's helper processes do not hold the test runner's output open.
    "$server" -p </dev/null >/dev/null 2>&1
    "$wine" cmd /c exit </dev/null >/dev/null 2>&1 || true
    cat >"$state/env" <<ENV
export WINEPREFIX='$WINEPREFIX' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml=' DISPLAY=':$display'
WINE='$wine'
SERVER='$server'
XVFB_PID='$xvfb'
ENV
    echo "wine_session: display :$display, prefix $WINEPREFIX"
    ;;
run)
    # shellcheck disable=SC1091
    source "$state/env"
    exec "$WINE" "$@"
    ;;
stop)
    [ -f "$state/env" ] || exit 0
    # shellcheck disable=SC1091
    source "$state/env"
    "$SERVER" -k 2>/dev/null || true
    [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true
    rm -f "$state/env"
    ;;
*)
    echo "usage: wine_session.sh start|run|stop <state folder> ..." >&2
    exit 2
    ;;
esac
