#!/usr/bin/env bash
# Installs what the tests need (only what is missing), then builds and runs
# every test: the native build, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer, the fuzz targets for a bounded time, and the
# 32-bit Windows build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-30}
JOBS=${JOBS:-2}

packages=(cmake ninja-build g++ binutils python3 iproute2 valgrind
          dnsmasq-base isc-dhcp-client dhcpcd-base systemd util-linux
          libgtest-dev libgmock-dev googletest
          clang clang-14 llvm-14 libclang-rt-14-dev
          g++-mingw-w64-i686 wine wine32:i386)

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if ((${#missing[@]})); then
    echo "== installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
fi

step() {
    echo
    echo "== $*"
}

step "native build and tests"
cmake --preset default
cmake --build --preset default -j "$JOBS"
ctest --preset default

step "native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize
cmake --build --preset sanitize -j "$JOBS"
ctest --preset sanitize

step "fuzz targets, ${FUZZ_SECONDS} s each"
cmake --preset fuzz
cmake --build --preset fuzz -j "$JOBS"
for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$(mktemp -d)
    if [ -d "fuzz/corpus/${name#fuzz_}" ]; then
        cp -r "fuzz/corpus/${name#fuzz_}/." "$corpus/"
    fi
    "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 "$corpus" 2>"$corpus.log" || {
        tail -50 "$corpus.log"
        echo "FAIL: $name found a fault"
        exit 1
    }
    echo "$name: $(grep -o 'number_of_executed_units: *[0-9]*' "$corpus.log" | grep -o '[0-9]*$') executions, no finding"
    rm -rf "$corpus" "$corpus.log"
done

if cmake --list-presets 2>/dev/null | grep -q '"windows"'; then
    step "32-bit Windows build and tests under Wine"
    cmake --preset windows
    cmake --build --preset windows -j "$JOBS"
    ctest --preset windows
fi

step "all checks passed"
