#!/bin/sh
# A Windows build of the module: the expected PE format, exactly its two
# entry points exported, imports from nothing but system DLLs and the host
# services DLL (the C and C++ runtimes are linked in), and float arithmetic
# in SSE2 scalar instructions, not the x87 unit: the backdrop placement
# computes with them (a float the 32-bit calling convention returns in the
# x87 register may still be stored from there). The checked module's DLL
# (fourth argument `checked`) has the same exports and imports and no
# backdrop placement of its own.
#   check_windows_dll.sh OBJDUMP DLL FORMAT [checked]
set -eu
objdump=$1 dll=$2 format=$3 kind=${4:-driver}
"$objdump" -f "$dll" | grep -q "file format $format" || { echo "$dll: not $format" >&2; exit 1; }
dump=$("$objdump" -p "$dll")
exports=$(printf '%s\n' "$dump" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && !/Ordinal/ {print $NF}' | sort | tr '\n' ' ')
if [ "$exports" != "ZqGDDescription ZqGDOpenChannel " ]; then
    echo "$dll exports: $exports" >&2
    exit 1
fi
imports=$(printf '%s\n' "$dump" | awk '/DLL Name:/ {print tolower($3)}' | sort -u)
for name in $imports; do
    case "$name" in
        kernel32.dll|user32.dll|gdi32.dll|opengl32.dll|glu32.dll|msvcrt.dll|zqhost.dll|api-ms-win-crt-*.dll) ;;
        *) echo "$dll imports $name" >&2; exit 1 ;;
    esac
done
if [ "$kind" = checked ]; then
    echo "$dll: $format, exports $exports, imports" $imports
    exit 0
fi
placement=$("$objdump" -d "$dll" | sed -n '/<_*Z17SetBackdropAnglesP10ViewRecordff>:$/,/^$/p')
if ! printf '%s\n' "$placement" | grep -qE '[[:space:]](subss|mulss|addss)[[:space:]]'; then
    echo "$dll: no SSE scalar arithmetic in the backdrop placement" >&2
    exit 1
fi
if printf '%s\n' "$placement" | grep -E '[[:space:]]f(add|sub|mul|div|ild|ist)[a-z]*[[:space:]]'; then
    echo "$dll: x87 arithmetic in the backdrop placement" >&2
    exit 1
fi
echo "$dll: $format, exports $exports, imports" $imports", floats in SSE2"
