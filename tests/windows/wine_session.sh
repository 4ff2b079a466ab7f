#!/bin/sh
# One Wine session for a whole test run: one X server, one Wine prefix made
# before any program starts, and one persistent Wine server. Programs that
# start and end one after the other (and two at a time) then never meet a
# Wine server that is shutting down, which drops their connection.
#
#   wine_session.sh start STATE   Xvfb on a free display, the prefix, the server
#   wine_session.sh run STATE PROGRAM [ARGUMENT...]
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

case $command in
start)
    # What an interrupted earlier run of this build may have left.
    stop
    rm -rf "$state"
    mkdir -p "$state"
    # Xvfb picks a free display and writes its number to descriptor 3.
    Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3> "$state/display" > "$state/xvfb.log" 2>&1 &
    echo $! > "$state/xvfb.pid"
    tries=0
    until [ -s "$state/display" ]; do
        tries=$((tries + 1))
        if [ $tries -gt 300 ] || ! kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
            echo "wine_session: Xvfb did not start" >&2
            cat "$state/xvfb.log" >&2
            exit 1
        fi
        sleep 0.1
    done
    DISPLAY=:$(cat "$state/display")
    export DISPLAY
    # The server needs the prefix's folder; wineboot then fills the prefix
    # through the server that is already there.
    mkdir -p "${WINEPREFIX:?}"
    "$wineserver" -p < /dev/null > /dev/null 2>&1
    "$wine" wineboot --init < /dev/null > "$state/wineboot.log" 2>&1 || { cat "$state/wineboot.log" >&2; exit 1; }
    echo "wine_session: display $DISPLAY, prefix ${WINEPREFIX:-~/.wine}, persistent server"
    ;;
run)
    [ -s "$state/display" ] || { echo "wine_session: no session in $state (start it first)" >&2; exit 1; }
    DISPLAY=:$(cat "$state/display")
    export DISPLAY
    exec "$wine" "$@"
    ;;
stop)
    stop
    ;;
*)
    echo "usage: wine_session.sh start|run|stop STATE [PROGRAM ...]" >&2
    exit 2
    ;;
esac
