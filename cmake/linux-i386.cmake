# 32-bit x86 Linux with Debian's g++-i686-linux-gnu. An amd64 kernel runs
# its programs directly: they name the target's own loader and runtime
# folder, so no emulator stands between them and the kernel. That keeps
# /proc/self/exe the program itself (the version record is read from it),
# and qemu-i386 would hang the child of a fork in a dynamically linked
# program anyway.
set(OSTREL_CROSS_TRIPLET i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-Wl,--dynamic-linker=/usr/${OSTREL_CROSS_TRIPLET}/lib/ld-linux.so.2 -Wl,-rpath,/usr/${OSTREL_CROSS_TRIPLET}/lib")
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
