#!/bin/sh
# The built-in scene on two systems: zqframes of the Linux x86-64 build
# (through the Linux module on the stand-in) and another build's zqframes
# render the same frames at fixed frame times; compare_pictures holds them
# against each other. The other is the Windows zqframes.exe (through zqgd.dll
# on Wine's WGL, GDI and opengl32.dll) or the i386 Linux one under qemu-i386.
# The frames go to a fresh folder of this run's own, removed at the end.
#
#   check_scene_pictures.sh TOLERANCE LINUX_BUILD OTHER_COMMAND...
set -eu
tolerance=$1
linux=$2
shift 2
frames=4

folder=$(mktemp -d "${TMPDIR:-/tmp}/zqgd-scene-pictures-XXXXXX")
trap 'rm -rf "$folder"' EXIT
"$linux/viewer/zqframes" $frames "$folder/linux" > /dev/null
# The other program gets a relative folder: Wine maps it like any other.
(cd "$folder" && "$@" $frames other > /dev/null)
"$linux/tests/compare_pictures" "$folder/linux" "$folder/other" "$tolerance"
