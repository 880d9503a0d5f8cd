# 64-bit big-endian IBM Z Linux with Debian's g++-s390x-linux-gnu, its
# programs run under qemu-user.
set(OSTREL_CROSS_TRIPLET s390x-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/${OSTREL_CROSS_TRIPLET})
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
