#!/bin/sh
# Tries the README's two commands as a new user would: on a fresh, minimal
# Debian root of the given release (debootstrap), with the release's
# updates and security suites enabled and its packages upgraded, as a real
# install has them, this repository's committed state is cloned and
# `make demo` and `make test` run in it as root. Prints each command's exit
# status and time; exits 0 only when both pass.
#
#   scripts/check-fresh-root.sh bookworm|trixie [--keep]
#
# Run as root. The root lives under TMPDIR (several GB) in a folder of its
# own and is removed afterwards unless --keep is given. Mounts and processes
# live in namespaces of their own and end with the run. Not part of
# `make test`.
set -eu

suite=${1:-}
case $suite in
    bookworm | trixie) ;;
    *) echo "usage: $0 bookworm|trixie [--keep]" >&2; exit 2 ;;
esac
keep=${2:-}
[ "$(id -u)" -eq 0 ] || { echo "$0: run as root" >&2; exit 2; }

source=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
if ! command -v debootstrap >/dev/null; then
    apt-get update -q && apt-get install -y -q --no-install-recommends debootstrap
fi
mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Created-By: Packages' 2>/dev/null |
    grep -v security | head -n 1)
mirror=${mirror:-http://deb.debian.org/debian/}
security=$(echo "$mirror" | sed 's,/debian/*$,/debian-security/,')

work=$(mktemp -d "${TMPDIR:-/var/tmp}/zqgd-fresh-$suite-XXXXXX")
root=$work/root
[ "$keep" = --keep ] || trap 'rm -rf "$work"' EXIT

echo "check-fresh-root: $suite from $mirror into $root"
debootstrap --variant=minbase --include=make,git,ca-certificates "$suite" "$root" "$mirror" > "$work/debootstrap.log" 2>&1 ||
    { tail -n 20 "$work/debootstrap.log"; exit 1; }
cat > "$root/etc/apt/sources.list" <<EOF
deb $mirror $suite main
deb $mirror $suite-updates main
deb $security $suite-security main
EOF
cp /etc/resolv.conf "$root/etc/resolv.conf"
git clone --quiet "$source" "$root/root/zqgd"

# Runs a command in the root, in namespaces of its own: its mounts and every
# process it leaves (X servers, Wine) end with it.
in_root() {
    unshare --mount --pid --fork --kill-child sh -c '
        root=$1; shift
        mount --bind "$root" "$root"
        mount -t proc proc "$root/proc"
        mount --rbind /dev "$root/dev"
        mount -t tmpfs tmpfs "$root/dev/shm"
        mount --rbind /sys "$root/sys"
        exec chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb LANG=C.UTF-8 \
            PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin sh -c "$*"' \
        in_root "$root" "$@"
}

in_root 'apt-get update -q && DEBIAN_FRONTEND=noninteractive apt-get upgrade -y -q' > "$work/upgrade.log" 2>&1 ||
    { tail -n 20 "$work/upgrade.log"; exit 1; }

failed=0
for target in demo test; do
    start=$(date +%s)
    if in_root "cd /root/zqgd && make $target" > "$work/make-$target.log" 2>&1; then status=0; else status=$?; failed=1; fi
    echo "check-fresh-root: $suite: make $target: exit $status ($(($(date +%s) - start)) s)"
    [ "$status" -eq 0 ] || tail -n 30 "$work/make-$target.log"
done
[ "$keep" = --keep ] && echo "check-fresh-root: the root and the logs stay in $work"
exit $failed
