# Shared part of the toolchain files for Debian's other Linux architectures:
# the including file sets OSTREL_CROSS_TRIPLET, CMAKE_SYSTEM_PROCESSOR and
# CMAKE_CROSSCOMPILING_EMULATOR. Debian's cross compilers
# (g++-<triplet>) bring the target's C and C++ runtimes under /usr/<triplet>.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${OSTREL_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${OSTREL_CROSS_TRIPLET}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${OSTREL_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
