#!/bin/sh
# `cmake --install` of a Windows cross build gives a host what it needs.
#   check_windows_install.sh BUILD_DIR
set -eu
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$1" --prefix "$prefix" > /dev/null
for file in bin/zqgd.dll bin/zqgd-checked.dll bin/zqhost.dll lib/libzqgd.dll.a lib/libzqhost.dll.a lib/zqgd.def \
    lib/zqgd-checked.def lib/zqhost.def \
    include/zqgd/driver.h include/zqgd/view.h include/zqgd/geometry.h include/zqgd/texture.h \
    include/zqgd/host.h share/zqgd/fonts/6x12.bdf; do
    [ -f "$prefix/$file" ] || { echo "missing $file" >&2; exit 1; }
done
[ ! -e "$prefix/include/zqgd/win32" ] || { echo "the Linux-only Windows subset was installed" >&2; exit 1; }
echo "installed: $(cd "$prefix" && find . -type f | sort | tr '\n' ' ')"
