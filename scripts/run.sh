#!/bin/sh
# Builds Ostrel and runs it: the README's first command. On a Debian or
# Ubuntu machine it first installs, as root and only when missing, what the
# build needs (a compiler, CMake, Ninja, llvm-rc for the version record).
# The tests are built only when their packages are already there;
# scripts/check.sh installs them and runs every test.
set -eu
cd "$(dirname "$0")/.."

have() {
    for name in "$@"; do
        command -v "$name" >/dev/null 2>&1 && return 0
    done
    return 1
}
missing=""
have cmake || missing="$missing cmake"
have ninja || missing="$missing ninja-build"
have c++ g++ || missing="$missing g++"
have llvm-rc llvm-rc-14 || missing="$missing llvm-14"

if [ -n "$missing" ]; then
    if ! command -v apt-get >/dev/null 2>&1; then
        echo "scripts/run.sh: install CMake 3.25+, Ninja, a C++17 compiler and llvm-rc, then run it again" >&2
        exit 1
    fi
    if [ "$(id -u)" -ne 0 ]; then
        echo "scripts/run.sh: the build needs$missing; run this script as root, or install them as root with apt-get" >&2
        exit 1
    fi
    echo "== installing:$missing"
    apt-get update -q
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
fi

jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset release
cmake --build --preset release -j "$jobs" --target Ostrel
echo "== build/release/Ostrel"
exec ./build/release/Ostrel
