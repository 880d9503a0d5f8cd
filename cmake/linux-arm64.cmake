# 64-bit ARM Linux with Debian's g++-aarch64-linux-gnu, its programs run
# under qemu-user.
set(OSTREL_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/${OSTREL_CROSS_TRIPLET})
include(${CMAKE_CURRENT_LIST_DIR}/debian-cross.cmake)
