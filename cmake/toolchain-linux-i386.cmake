# The 32-bit Linux build: the records at the byte offsets 32-bit hosts use,
# built with the system's g++ (-m32, Debian's g++-multilib) against the i386
# libraries of Debian's multiarch, and run under qemu-i386 (user-mode
# emulation) wherever the build or its tests start one of its programs.
# Floats are computed with SSE2 scalar arithmetic, as on x86-64: the x87
# unit's excess precision would round some results differently.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-m32 -msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_LIBRARY_PATH /usr/lib/i386-linux-gnu /lib/i386-linux-gnu)
set(ENV{PKG_CONFIG_LIBDIR} /usr/lib/i386-linux-gnu/pkgconfig:/usr/share/pkgconfig)
# The emulated processor is a Nehalem (SSE4.2, no AVX). llvmpipe's JIT code
# uses whatever the processor offers, and Debian 12's qemu-i386 runs the code
# it makes for a Haswell's instructions (AVX2, FMA; its default processor has
# them) wrongly: textures came out speckled and X11 windows crashed it. The
# model's two 64-bit-only flags are taken off: qemu-i386 cannot offer them
# and would warn of it on every start, in the middle of the programs' output.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386 -cpu Nehalem,-syscall,-lm)
