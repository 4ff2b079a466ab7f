#!/bin/sh
# One Wine session for a whole test run: one Wine prefix made before any
# program starts, and one persistent Wine server (with the X server that the
# prefix's own services use). Programs that
# start and end one after the other (and two at a time) then never meet a
# Wine server that is shutting down, which drops their connection.
#
#   wine_session.sh start STATE   Xvfb on a free display, the prefix, the server
#   wine_session.sh run STATE PROGRAM [ARGUMENT...]   on an Xvfb of its own
#   wine_session.sh stop STATE    the server and Xvfb end
#
# WINEPREFIX names the prefix; STATE is a folder of this run's own where the
# display number and the X server's process id are kept.
set -eu
command=$1
state=$2
shift 2
wine=${ZQGD_WINE64:-wine64}
wineserver=${ZQGD_WINESERVER:-wineserver}

stop() {
    "$wineserver" -k 2>/dev/null || true
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null || true
        rm -f "$state/xvfb.pid"
    fi
}

# Waits until the Xvfb of process PID has written its display number into
# FOLDER/display.
await_display() {
    tries=0
    until [ -s "$1/display" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 300 ] || ! kill -0 "$2" 2>/dev/null; then
            echo "wine_session: Xvfb did not start" >&2
            cat "$1/xvfb.log" >&2
            exit 1
        fi
        sleep 0.1
    done
}

case $command in
start)
    # What an interrupted earlier run of this build may have left.
    stop
    rm -rf "$state"
    mkdir -p "$state"
    # Xvfb picks a free display and writes its number to descriptor 3.
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3> "$state/display" > "$state/xvfb.log" 2>&1 &
    echo $! > "$state/xvfb.pid"
    await_display "$state" "$(cat "$state/xvfb.pid")"
    DISPLAY=:$(cat "$state/display")
    export DISPLAY
    # The server needs the prefix's folder; wineboot then fills the prefix
    # through the server that is already there.
    mkdir -p "${WINEPREFIX:?}"
    "$wineserver" -p < /dev/null > "$state/wineserver.log" 2>&1 || { cat "$state/wineserver.log" >&2; exit 1; }
    "$wine" wineboot --init < /dev/null > "$state/wineboot.log" 2>&1 || { cat "$state/wineboot.log" >&2; exit 1; }
    echo "wine_session: display $DISPLAY, prefix ${WINEPREFIX:-~/.wine}, persistent server"
    exit 0
    ;;
run)
    [ -s "$state/display" ] || { echo "wine_session: no session in $state (start it first)" >&2; exit 1; }
    # Each program gets an X server of its own: the suites read back what
    # their windows show, and two programs' windows on one screen would
    # cover each other.
    exec "$(dirname "$0")/../with_xvfb.sh" "$wine" "$@"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: wine_session.sh start|run|stop STATE [PROGRAM ...]" >&2
    exit 2
    ;;
esac
