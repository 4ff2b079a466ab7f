#!/bin/sh
# The one list of what the project needs, for Debian 12 (bookworm) and 13
# (trixie), the package names chosen by the release in /etc/os-release.
#
#   install-deps.sh                  installs the missing packages of this
#                                    machine (as root; otherwise names them)
#   install-deps.sh --i386-sysroot DIR
#                                    makes DIR a root of the i386 libraries
#                                    the 32-bit build links and runs against
#
# The i386 libraries never go onto the machine itself: no foreign
# architecture is added, so no version of an installed package can block
# them. mmdebstrap's extract variant unpacks them, with everything they
# depend on, from the machine's own release into DIR; it resolves the
# dependencies with apt, checks the archive's signatures and runs no
# maintainer script, and needs no root (it falls back to a user namespace).
set -eu

fail() {
    echo "install-deps: $*" >&2
    exit 1
}

release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
case $release in
    bookworm) gcc_version=12; clang_runtime=libclang-rt-14-dev ;;
    trixie) gcc_version=14; clang_runtime=libclang-rt-dev ;;
    *) fail "Debian '$release' is not supported: the project builds on Debian 12 (bookworm) and 13 (trixie)" ;;
esac

packages="
  build-essential cmake ninja-build pkg-config g++-multilib binutils
  libegl-dev libopengl-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0
  libx11-dev xvfb xauth
  libgtest-dev libgmock-dev libbenchmark-dev libfreetype-dev
  libpng-dev libcli11-dev libtinyobjloader-dev
  xfonts-base pcf2bdf clang $clang_runtime doxygen
  g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 googletest
  qemu-user mmdebstrap mesa-vulkan-drivers
"

# What the 32-bit build compiles, links and runs against (clang finds the
# C and C++ runtimes of the release's GCC in the sysroot).
i386_packages="
  libc6-dev libgcc-$gcc_version-dev libstdc++-$gcc_version-dev
  libegl-dev libopengl-dev libgl-dev libglu1-mesa-dev libgl1-mesa-dri libegl-mesa0
  libx11-dev libpng-dev libtinyobjloader-dev libcli11-dev
  libgtest-dev libgmock-dev libbenchmark-dev libfreetype-dev
"

# The archive this machine installs its release from, as apt knows it.
release_mirror() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Created-By: Packages' 2>/dev/null |
        awk -v release="$release" '$2 == release { print $1; exit }'
}

# apt-get update, tried three times: a failure of the whole run (a mirror
# being synced, a dropped connection) often passes on a later try, single
# files are retried by apt itself. An index that still fails stops nothing
# here: only the packages that are then missing matter, and are named below.
update_indexes() {
    for wait in 10 30 0; do
        apt-get update -q -o Acquire::Retries=3 && return 0
        [ "$wait" -gt 0 ] || break
        echo "install-deps: apt-get update failed; trying again in $wait s" >&2
        sleep "$wait"
    done
    echo "install-deps: some indexes could not be fetched (above); going on with those that were" >&2
}

# Names each package that no index offers, with the index it comes from.
check_candidates() {
    unavailable=""
    for package in "$@"; do
        if ! apt-cache policy "$package" 2>/dev/null | grep -q 'Candidate: [^(]'; then
            unavailable="$unavailable $package"
        fi
    done
    [ -z "$unavailable" ] && return 0
    mirror=$(release_mirror)
    fail "no index offers:$unavailable
  They come from the index '$release main $(dpkg --print-architecture)' of ${mirror:-a Debian mirror}.
  Make sure /etc/apt/sources.list or /etc/apt/sources.list.d/ names that suite with the component main,
  run 'apt-get update', read what it says of that index, and run this script again."
}

install_host_packages() {
    missing=""
    for package in $packages; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
            missing="$missing $package"
        fi
    done
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" -ne 0 ]; then
        fail "missing packages:$missing; run this script as root to install them"
    fi
    echo "install-deps: installing$missing"
    export DEBIAN_FRONTEND=noninteractive
    update_indexes
    # shellcheck disable=SC2086
    check_candidates $missing
    # shellcheck disable=SC2086
    apt-get install -y -q --no-install-recommends -o Acquire::Retries=3 $missing ||
        fail "apt-get could not install:$missing (its reason is above); once 'apt-get install$missing' works by hand, run this script again"
}

# The sysroot is made once and reused while this script (its package list
# and the way it makes the sysroot) stays the same.
make_i386_sysroot() {
    root=$1
    stamp="$release $(cksum < "$0")"
    [ -f "$root/.packages" ] && [ "$(cat "$root/.packages")" = "$stamp" ] && return 0
    command -v mmdebstrap >/dev/null || fail "mmdebstrap is missing: run $0 as root first"
    mirror=$(release_mirror)
    [ -n "$mirror" ] || mirror=http://deb.debian.org/debian
    echo "install-deps: unpacking the i386 libraries of $release from $mirror into $root"
    rm -rf "$root.new"
    mkdir -p "$(dirname "$root")"
    include=$(echo $i386_packages | tr ' ' ',')
    if ! mmdebstrap --quiet --variant=extract --architectures=i386 --components=main \
        --aptopt='Acquire::Retries "3"' --include="$include" "$release" "$root.new" "$mirror"; then
        rm -rf "$root.new"
        fail "could not unpack the i386 packages from the index '$release main i386' of $mirror (mmdebstrap's reason is above).
  The packages are:$i386_packages
  Check that the machine reaches that mirror and that the index is complete there, then build again."
    fi
    # A merged-/usr release (trixie) has its /lib and /bin only in /usr: the
    # links to them are made by an install, not by the packages, and the
    # C library's linker scripts name /lib/i386-linux-gnu.
    for top in bin lib sbin; do
        [ -e "$root.new/$top" ] || [ ! -d "$root.new/usr/$top" ] || ln -s "usr/$top" "$root.new/$top"
    done
    # The programs use the machine's own devices. Links to absolute paths
    # (libz.so -> /lib/i386-linux-gnu/...) would lead out of the sysroot, to
    # the machine's own files or nowhere.
    rm -rf "$root.new/dev"
    find "$root.new" -type l -lname '/*' | while read -r link; do
        ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root.new$(readlink "$link")")" "$link"
    done
    # The loader's cache of the sysroot's own libraries: without it the
    # loader reads the machine's cache, which names the machine's 32-bit
    # libraries (/lib32) where there are any.
    echo 'include /etc/ld.so.conf.d/*.conf' > "$root.new/etc/ld.so.conf"
    /sbin/ldconfig -r "$root.new"
    echo "$stamp" > "$root.new/.packages"
    # An older sysroot is swapped out only now: a build using it meanwhile
    # (a test configuring a host with this toolchain) keeps its files.
    rm -rf "$root.old"
    [ ! -e "$root" ] || mv "$root" "$root.old"
    mv "$root.new" "$root"
    rm -rf "$root.old"
}

case ${1:-} in
    --i386-sysroot) [ $# -eq 2 ] || fail "usage: $0 --i386-sysroot DIR"; make_i386_sysroot "$2" ;;
    "") install_host_packages ;;
    *) fail "usage: $0 [--i386-sysroot DIR]" ;;
esac
