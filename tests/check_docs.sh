#!/bin/sh
# Generates the host's reference from the public headers into a fresh folder,
# with every Doxygen warning an error (an undocumented public member
# included), then checks that it describes every slot of both operation
# tables in detail, in slot order, with its status (the empty slots have
# their one line).
set -eu
source=$(cd "$(dirname "$0")/.." && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
ZQGD_SOURCE=$source ZQGD_DOCS_OUT=$out doxygen "$source/docs/Doxyfile"

# The slots of a table as its header declares them, one per line.
slots() {
    sed -n "/^\(typedef \)\{0,1\}struct $2 {/,/^}/p" "$source/include/zqgd/$1" |
        sed -n 's/.*(\*\([A-Za-z0-9_]*\))(.*/\1/p; s/^ *DrawPolygonsFunction \([A-Za-z]*\);.*/\1/p'
}

# The members the reference documents in detail, with "status" after those
# that have a Status paragraph.
documented() {
    awk 'BEGIN { RS = "<h2 class=\"memtitle\">" }
         NR > 1 {
             name = $0; sub(/<\/h2>.*/, "", name); sub(/.*<\/span>/, "", name)
             print name (index($0, "<dt>Status</dt>") ? " status" : "")
         }' "$out/html/struct$1.html"
}

check() {
    count=$(slots "$1" "$2" | wc -l)
    if [ "$count" -ne "$3" ]; then
        echo "$2: $count slots in the header, $3 expected" >&2
        exit 1
    fi
    slots "$1" "$2" | awk '!/^empty/ { print $0 " status" }' > "$out/$2.expected"
    documented "$2" > "$out/$2.documented"
    if ! diff "$out/$2.expected" "$out/$2.documented" >&2; then
        echo "$2: the reference differs from the header's slots (above)" >&2
        exit 1
    fi
}

check driver.h ChannelOps 23
check view.h ViewOps 16
