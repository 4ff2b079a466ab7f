#!/bin/sh
# Runs a command on an X server of its own: Xvfb picks a free display itself
# (-displayfd), so runs side by side never race for a display number as
# `xvfb-run -a` does. The server ends with the command.
#
#   with_xvfb.sh COMMAND [ARGUMENT...]
set -eu
own=$(mktemp -d "${TMPDIR:-/tmp}/zqgd-xvfb-XXXXXX")
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3> "$own/display" > "$own/xvfb.log" 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$own"' EXIT
tries=0
until [ -s "$own/display" ]; do
    tries=$((tries + 1))
    if [ $tries -gt 300 ] || ! kill -0 $xvfb 2>/dev/null; then
        echo "with_xvfb: Xvfb did not start" >&2
        cat "$own/xvfb.log" >&2
        exit 1
    fi
    sleep 0.1
done
DISPLAY=:$(cat "$own/display")
export DISPLAY
"$@"
