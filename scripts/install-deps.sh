#!/bin/sh
# Installs the Debian 12 packages the project needs to build, test and run
# its demo, and only those that are missing. Run as root on a fresh machine.
set -eu

packages="
  build-essential cmake ninja-build pkg-config g++-multilib binutils
  libegl-dev libopengl-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0
  libx11-dev xvfb xauth
  libgtest-dev libgmock-dev libbenchmark-dev libfreetype-dev
  libpng-dev libcli11-dev libtinyobjloader-dev
  xfonts-base pcf2bdf clang libclang-rt-14-dev doxygen
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 googletest
  qemu-user
  libegl-dev:i386 libgl-dev:i386 libglu1-mesa-dev:i386 libgl1-mesa-dri:i386 libegl-mesa0:i386
  libx11-dev:i386 libpng-dev:i386 libtinyobjloader-dev:i386 libgtest-dev:i386 libbenchmark-dev:i386
  libfreetype-dev:i386
"

missing=""
for package in $packages; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing="$missing $package"
    fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "install-deps: missing packages:$missing; run this script as root to install them" >&2
    exit 1
fi
echo "install-deps: installing$missing"
export DEBIAN_FRONTEND=noninteractive
# The i386 build's libraries come from Debian's multiarch.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
    dpkg --add-architecture i386
fi
apt-get update -q
# shellcheck disable=SC2086
apt-get install -y -q --no-install-recommends $missing
