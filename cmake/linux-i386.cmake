# 32-bit x86 Linux with Debian's g++-i686-linux-gnu. Its programs run on an
# amd64 kernel through the target's own loader: qemu-i386 hangs the child of
# a fork in a dynamically linked program.
set(OSTREL_CROSS_TRIPLET i686-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CROSSCOMPILING_EMULATOR
    /usr/${OSTREL_CROSS_TRIPLET}/lib/ld-linux.so.2 --library-path /usr/${OSTREL_CROSS_TRIPLET}/lib)
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
