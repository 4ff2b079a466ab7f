#!/bin/sh
# The built-in scene on two systems: zqframes of the Linux build (through
# the Linux module on the stand-in) and the Windows zqframes.exe (through
# zqgd.dll on Wine's WGL, GDI and opengl32.dll) render the same frames at
# fixed frame times; compare_pictures holds them against each other.
#
#   check_scene_pictures.sh FOLDER TOLERANCE LINUX_BUILD WINDOWS_COMMAND...
set -eu
folder=$1
tolerance=$2
linux=$3
shift 3
frames=4

rm -rf "$folder"
mkdir -p "$folder"
"$linux/viewer/zqframes" $frames "$folder/linux" > /dev/null
# The Windows program gets a relative folder: Wine maps it like any other.
(cd "$folder" && "$@" $frames windows > /dev/null)
"$linux/tests/compare_pictures" "$folder/linux" "$folder/windows" "$tolerance"
