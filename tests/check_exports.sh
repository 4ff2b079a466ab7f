#!/bin/sh
# The driver module exports exactly ZqGDDescription and ZqGDOpenChannel.
set -eu
symbols=$(nm -D --defined-only "$1" | awk '{print $3}' | sort | tr '\n' ' ')
if [ "$symbols" != "ZqGDDescription ZqGDOpenChannel " ]; then
    echo "exported: $symbols" >&2
    exit 1
fi
