#!/bin/sh
# Installs into a scratch prefix and builds the example host
# (examples/triangle_host.c) against the installed package, once through
# pkg-config and once through find_package(zqgd). Each build runs with no
# library path, font path or other variable of ours set, from an empty
# folder: it loads the installed module, draws a lit triangle and text, and
# checks their pixels and that no memory block is left, once through the
# module and once through the checked module, which must report nothing.
# Then the installed font is removed: an installed copy takes its fonts from
# its own prefix and never from the build tree (which a host may have
# deleted), so the text must vanish although the build tree's font is still
# there. The hosts are built like the build's own programs: ZQGD_HOST_CC is
# their compiler, ZQGD_HOST_CFLAGS its flags, ZQGD_TOOLCHAIN_FILE the CMake
# toolchain, ZQGD_EMULATOR runs them (all empty for a native build).
set -eu
build=$1
emulator=${ZQGD_EMULATOR:-}
toolchain=${ZQGD_TOOLCHAIN_FILE:+-DCMAKE_TOOLCHAIN_FILE=$ZQGD_TOOLCHAIN_FILE}
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
test -f "$prefix/share/zqgd/fonts/6x12.bdf"
test -x "$prefix/bin/zqviewer"
mkdir "$work/run"

# Runs an example host from the empty folder with none of our variables.
run() {
    # shellcheck disable=SC2086
    (cd "$work/run" && env -u LD_LIBRARY_PATH -u ZQGD_FONT_PATH $emulator "$@")
}

# pkg-config: the run path comes with the package's link flags.
PKG_CONFIG_PATH=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
export PKG_CONFIG_PATH
module=$(pkg-config --variable=module zqgd)
checked=$(pkg-config --variable=checked_module zqgd)
test -f "$module"
test -f "$checked"
# shellcheck disable=SC2046,SC2086
${ZQGD_HOST_CC:-cc} ${ZQGD_HOST_CFLAGS:-} -o "$work/pkgconfig_host" "$source/examples/triangle_host.c" $(pkg-config --cflags --libs zqgd) -ldl \
    -DZQGD_EXAMPLE_MODULE="\"$module\"" -DZQGD_EXAMPLE_CHECKED_MODULE="\"$checked\""
run "$work/pkgconfig_host" > "$work/pkgconfig.out"
grep -q "^Open GL" "$work/pkgconfig.out"

# Under the checked module the example host draws the same and nothing is
# reported: the log holds the close's summary alone.
checked_run() {
    rm -f "$work/checked.log"
    ZQGD_CHECKED_LOG="$work/checked.log" run "$@" --checked > "$work/checked.out"
    grep -q "^Open GL" "$work/checked.out"
    if ! grep -qx 'zqgd-checked: summary: CloseChannel: channel 0x[0-9a-f]*: 0 errors, 0 warnings' "$work/checked.log" ||
        [ "$(wc -l < "$work/checked.log")" -ne 1 ]; then
        echo "the checked module reported:" >&2
        cat "$work/checked.log" >&2
        exit 1
    fi
}
checked_run "$work/pkgconfig_host"

# find_package: CMake's run path to the imported libraries.
# shellcheck disable=SC2086
cmake -S "$source/examples" -B "$work/cmake" -DCMAKE_PREFIX_PATH="$prefix" $toolchain >/dev/null
cmake --build "$work/cmake" >/dev/null
run "$work/cmake/triangle_host" > "$work/cmake.out"
grep -q "^Open GL" "$work/cmake.out"
checked_run "$work/cmake/triangle_host"

# Without the installed font the installed copy draws no text, although the
# build tree still has its own.
test -f "$build/fonts/6x12.bdf"
rm "$prefix/share/zqgd/fonts/6x12.bdf"
if run "$work/cmake/triangle_host" > "$work/nofont.out" 2> "$work/nofont.err"; then
    echo "text drawn without the installed font" >&2
    exit 1
fi
grep -q "no text" "$work/nofont.err"
grep -q "text pixels: 0" "$work/nofont.out"
