#!/usr/bin/env bash
# The README's test command, and what CI runs. Installs what the tests need
# (only what is missing; root), then builds and runs every test: the native
# developer build with its hardening and package checks, the same under
# AddressSanitizer and UndefinedBehaviorSanitizer, the fuzz targets for a
# bounded time, the 32-bit Windows build under Wine, cross builds for i386,
# s390x and arm64 with their unit tests (i386 directly on the kernel, the others
# under qemu-user), the Debian package built
# by dpkg-buildpackage as an ordinary user, installed and judged by lintian,
# and two builds of the tree compared byte for byte. Ends with a summary that counts and explains
# every skipped test.
#
#   bash scripts/check.sh          everything
#   bash scripts/check.sh quick    the unit tests of the developer build only
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS=${FUZZ_SECONDS:-30}
JOBS=${JOBS:-2}
mode=${1:-all}

# One package a line, so that additions merge cleanly.
packages=(
    cmake
    ninja-build
    g++
    binutils
    python3
    iproute2
    valgrind
    dnsmasq-base
    isc-dhcp-client
    dhcpcd-base
    systemd
    udev
    util-linux
    libgtest-dev
    libgmock-dev
    googletest
    clang
    clang-14
    llvm-14
    libclang-rt-14-dev
    g++-mingw-w64-i686
    wine
    wine32:i386
    dpkg-dev
    build-essential
    debhelper
    lintian
    g++-i686-linux-gnu
    g++-s390x-linux-gnu
    g++-aarch64-linux-gnu
    qemu-user
)

# What the quick path needs: the developer build and its unit tests.
quick_packages=(cmake ninja-build g++ python3 libgtest-dev libgmock-dev llvm-14)
if [ "$mode" = quick ]; then
    packages=("${quick_packages[@]}")
fi

installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=()
for package in "${packages[@]}"; do
    installed "$package" || missing+=("$package")
done
if ((${#missing[@]})); then
    if [ "$(id -u)" -ne 0 ]; then
        echo "scripts/check.sh: missing ${missing[*]}; run it as root to install them: bash scripts/check.sh${1:+ $1}" >&2
        exit 1
    fi
    echo "== installing: ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -q
    # Recommends would bring hundreds of packages (a desktop's worth for
    # wine) that no test uses.
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# What the run leaves is removed at its end: Wine's folder for the prefix's
# server, which outlives the server in the temporary folder, and the mount
# that ip netns add makes of /run/netns when there was none.
wine_prefix=""
netns_mounted=no
if mountpoint -q /run/netns 2>/dev/null; then
    netns_mounted=yes
fi
netns_folder=no
[ ! -d /run/netns ] || netns_folder=yes
leave_no_trace() {
    [ -z "$wine_prefix" ] || sh tests/windows/wine-run.sh --stop "$wine_prefix"
    if [ "$netns_mounted" = no ] && [ -z "$(ls -A /run/netns 2>/dev/null)" ]; then
        while mountpoint -q /run/netns 2>/dev/null && umount /run/netns; do :; done
        [ "$netns_folder" = yes ] || rmdir /run/netns 2>/dev/null || true
    fi
}

results=()
notes=()
timing=()
step_name=""
step_start=$SECONDS
fuzz_work=""
deb_work=""
step() {
    if [ -n "$step_name" ]; then
        timing+=("$(printf '%4d s  %s' $((SECONDS - step_start)) "$step_name")")
    fi
    step_name=$*
    step_start=$SECONDS
    echo
    echo "== $*"
}

summary() {
    local status=$?
    [ -z "$fuzz_work" ] || rm -rf "$fuzz_work"
    [ -z "$deb_work" ] || rm -rf "$deb_work"
    leave_no_trace
    step "summary"
    for note in "${timing[@]}" "${notes[@]}"; do
        echo "$note"
    done
    local root=()
    [ "$(id -u)" -eq 0 ] || root=(--not-root)
    python3 scripts/test_summary.py "${root[@]}" "${results[@]}" || true
    if [ "$status" -eq 0 ]; then
        echo "== all checks passed"
    else
        echo "== FAILED (exit status $status): see the step above the summary"
    fi
}
trap summary EXIT

# ctest's JUnit report keeps what each skipped test printed.
run_tests() {
    local preset=$1
    shift
    local junit=$PWD/build/junit-$preset.xml
    rm -f "$junit"
    results+=("$preset=$junit")
    ctest --preset "$preset" --output-junit "$junit" "$@"
}

step "native developer build and tests"
cmake --preset default
started=$SECONDS
cmake --build --preset default -j "$JOBS"
native_build=$((SECONDS - started))
if [ "$mode" = quick ]; then
    run_tests unit
    exit 0
fi
run_tests default

step "native tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake --preset sanitize
cmake --build --preset sanitize -j "$JOBS"
run_tests sanitize

step "fuzz targets, ${FUZZ_SECONDS} s each"
cmake --preset fuzz
cmake --build --preset fuzz -j "$JOBS"
# A finding leaves its input in build/fuzz/findings; a target that stops
# without one could not run (its setup failed), which is no finding.
fuzz_work=$(mktemp -d)
findings=$PWD/build/fuzz/findings
for target in build/fuzz/fuzz/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=$fuzz_work/$name
    log=$fuzz_work/$name.log
    mkdir -p "$corpus" "$findings"
    # Seeds kept in the tree and those the build made.
    for seeds in "fuzz/corpus/${name#fuzz_}" "build/fuzz/fuzz/corpus/${name#fuzz_}"; do
        [ ! -d "$seeds" ] || cp -r "$seeds/." "$corpus/"
    done
    before=$(ls "$findings" | wc -l)
    "$target" -max_total_time="$FUZZ_SECONDS" -print_final_stats=1 \
        -artifact_prefix="$findings/$name-" "$corpus" 2>"$log" || {
        status=$?
        tail -50 "$log"
        if [ "$(ls "$findings" | wc -l)" -gt "$before" ]; then
            echo "FAIL: $name found a fault; its input is in $findings"
        else
            echo "FAIL: $name could not run (exit status $status, no input found a fault)"
        fi
        exit 1
    }
    runs=$(grep -o 'number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$')
    echo "$name: $runs executions, no finding"
    notes+=("fuzz      $name: $runs executions in ${FUZZ_SECONDS} s, no finding")
done

step "32-bit Windows build and tests under Wine"
wine_prefix=$PWD/build/windows/wineprefix
cmake --preset windows
cmake --build --preset windows -j "$JOBS"
run_tests windows

# Each cross build runs its unit tests directly (i386) or under
# qemu-user, and compares its report with the native build's
# (cross.report). Times are set against the native build above.
step "cross builds for i386, s390x and arm64 and their unit tests"
for arch in i386 s390x arm64; do
    started=$SECONDS
    cmake --preset "$arch"
    cmake --build --preset "$arch" -j "$JOBS"
    built=$((SECONDS - started))
    started=$SECONDS
    run_tests "$arch"
    notes+=("$(printf 'cross     %-6s build %3d s, tests %3d s (native build %d s)' "$arch" \
        "$built" $((SECONDS - started)) "$native_build")")
done

step "Debian package: dpkg-buildpackage as a user id of its own, scratch install, lintian"
deb_work=$(mktemp -d)
chmod 755 "$deb_work"
DEB_BUILD_OPTIONS="parallel=$JOBS ${DEB_BUILD_OPTIONS:-}" sh scripts/debian_package.sh "$deb_work" \
    >"$deb_work.log" 2>&1 || {
    tail -60 "$deb_work.log"
    echo "FAIL: dpkg-buildpackage failed (the whole log: $deb_work.log)"
    exit 1
}
rm -f "$deb_work.log"
rm -rf build/debian
mkdir -p build/debian
cp "$deb_work"/*.deb "$deb_work"/*.dsc "$deb_work"/*.tar.* build/debian/
ls build/debian/ostrel-dbgsym_*.deb >/dev/null || { echo "FAIL: no -dbgsym package"; exit 1; }
sh tests/integration/package_deb.sh build/debian/ostrel_*.deb
# The source package: no errors (pedantic and informational tags are listed).
# Lintian unpacks what the build made: root has nobody do it, in the
# build's root-owned output folder, which everyone may read.
unprivileged=()
if [ "$(id -u)" -eq 0 ]; then
    unprivileged=(setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/nonexistent)
fi
status=0
"${unprivileged[@]}" lintian --pedantic --fail-on error "$deb_work"/ostrel_*.dsc \
    >"$deb_work/lintian.log" 2>&1 || status=$?
grep -v 'running with root privileges' "$deb_work/lintian.log" || true
[ "$status" -eq 0 ] || { echo "FAIL: lintian found errors in the source package"; exit 1; }
notes+=("debian:   $(cd build/debian && echo *.deb), source package lintian-clean")

step "two builds of this tree compared byte for byte"
bash scripts/reproducible.sh
notes+=("reproducible: executables and packages of two builds are identical")
