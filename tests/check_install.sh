#!/bin/sh
# Installs into a scratch prefix and builds a small host against the
# installed headers through pkg-config and through the CMake package; the
# host loads the installed module and describes it. The host is built like
# the build's own programs: ZQGD_HOST_CFLAGS are its compiler flags,
# ZQGD_TOOLCHAIN_FILE the CMake toolchain, ZQGD_EMULATOR runs it (all empty
# for a native build).
set -eu
build=$1
emulator=${ZQGD_EMULATOR:-}
toolchain=${ZQGD_TOOLCHAIN_FILE:+-DCMAKE_TOOLCHAIN_FILE=$ZQGD_TOOLCHAIN_FILE}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
cat > "$prefix/host.c" <<'HOST'
#include <dlfcn.h>
#include <stdio.h>
#include "zqgd/driver.h"
#include "zqgd/host.h"
#include "zqgd/platform.h"
int main(int argc, char** argv)
{
    void* module = dlopen(argv[1], RTLD_NOW);
    if (!module) { fprintf(stderr, "%s\n", dlerror()); return 1; }
    ZqGDDescriptionFunction describe = (ZqGDDescriptionFunction)dlsym(module, "ZqGDDescription");
    DriverDescription description = {0};
    describe(&description);
    printf("%s\n", description.description);
    MMfree(description.description);
    MMfree(description.modes);
    return 0;
}
HOST
libdir=$(ls -d "$prefix"/lib*/pkgconfig | head -n 1)
export PKG_CONFIG_PATH="$libdir"
# shellcheck disable=SC2046,SC2086
cc ${ZQGD_HOST_CFLAGS:-} -o "$prefix/host" "$prefix/host.c" $(pkg-config --cflags --libs zqgd) -ldl -Wl,-rpath,"$(pkg-config --variable=libdir zqgd)"
# shellcheck disable=SC2086
$emulator "$prefix/host" "$(pkg-config --variable=module zqgd)" | grep -q "Open GL"
test -f "$prefix/share/zqgd/fonts/6x12.bdf"
test -x "$prefix/bin/zqviewer"

mkdir -p "$prefix/cmakehost"
cat > "$prefix/cmakehost/CMakeLists.txt" <<'CMAKE'
cmake_minimum_required(VERSION 3.25)
project(cmakehost C)
find_package(zqgd REQUIRED)
add_executable(host ../host.c)
target_link_libraries(host PRIVATE zqgd::zqhost zqgd::zqplatform ${CMAKE_DL_LIBS})
target_compile_definitions(host PRIVATE MODULE="${ZQGD_MODULE}")
CMAKE
# shellcheck disable=SC2086
cmake -S "$prefix/cmakehost" -B "$prefix/cmakehost/build" -DCMAKE_PREFIX_PATH="$prefix" $toolchain >/dev/null
cmake --build "$prefix/cmakehost/build" >/dev/null
# shellcheck disable=SC2086
$emulator "$prefix/cmakehost/build/host" "$(ls "$prefix"/lib*/libzqgd.so | head -n 1)" | grep -q "Open GL"
