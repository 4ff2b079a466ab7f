# The 32-bit Linux build: the records at the byte offsets 32-bit hosts use,
# compiled by clang for i686 against a sysroot of Debian's i386 packages of
# this machine's release, and run under qemu-i386 (user-mode emulation) with
# that sysroot wherever the build or its tests start one of its programs.
# The machine itself gets no foreign architecture and no i386 package.
#
# The sysroot is made on the first configure (scripts/install-deps.sh
# --i386-sysroot) and reused by every later build, in build-sysroot/ of the
# source tree, one folder per release, or where ZQGD_I386_SYSROOT names.
# Floats are computed with SSE2 scalar arithmetic, as on x86-64: the x87
# unit's excess precision would round some results differently.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

get_filename_component(ZQGD_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)
if(DEFINED ENV{ZQGD_I386_SYSROOT})
  set(ZQGD_I386_SYSROOT $ENV{ZQGD_I386_SYSROOT})
else()
  file(STRINGS /etc/os-release ZQGD_RELEASE REGEX "^VERSION_CODENAME=")
  string(REPLACE "VERSION_CODENAME=" "" ZQGD_RELEASE "${ZQGD_RELEASE}")
  set(ZQGD_I386_SYSROOT ${ZQGD_SOURCE_DIR}/build-sysroot/${ZQGD_RELEASE}-i386)
endif()
execute_process(COMMAND ${ZQGD_SOURCE_DIR}/scripts/install-deps.sh --i386-sysroot ${ZQGD_I386_SYSROOT}
  RESULT_VARIABLE ZQGD_SYSROOT_STATUS)
if(NOT ZQGD_SYSROOT_STATUS EQUAL 0)
  message(FATAL_ERROR "The i386 sysroot ${ZQGD_I386_SYSROOT} could not be made (see above)")
endif()

set(ZQGD_I386_SYSROOT ${ZQGD_I386_SYSROOT} CACHE INTERNAL "the i386 sysroot of this build")
set(CMAKE_SYSROOT ${ZQGD_I386_SYSROOT})
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET i686-linux-gnu)
set(CMAKE_CXX_COMPILER_TARGET i686-linux-gnu)
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
# Programs are the machine's; libraries and headers come from the sysroot
# alone; CMake packages from the sysroot first, then from the prefixes a
# host names (an installed copy of this project).
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_SYSROOT_DIR} ${ZQGD_I386_SYSROOT})
set(ENV{PKG_CONFIG_LIBDIR} ${ZQGD_I386_SYSROOT}/usr/lib/i386-linux-gnu/pkgconfig:${ZQGD_I386_SYSROOT}/usr/share/pkgconfig)
# The emulated processor is a Nehalem (SSE4.2, no AVX). llvmpipe's JIT code
# uses whatever the processor offers, and Debian 12's qemu-i386 runs the code
# it makes for a Haswell's instructions (AVX2, FMA; its default processor has
# them) wrongly: textures came out speckled and X11 windows crashed it. The
# model's two 64-bit-only flags are taken off: qemu-i386 cannot offer them
# and would warn of it on every start, in the middle of the programs' output.
# -L makes the sysroot the programs' root for the files it has: the loader,
# the libraries, Mesa's drivers and GLVND's vendor files.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -L ${ZQGD_I386_SYSROOT} -cpu Nehalem,-syscall,-lm)
