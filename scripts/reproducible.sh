#!/usr/bin/env bash
# Builds the checked-out tree twice, in two folders of different depth and at
# different times, and compares the results byte for byte: the Linux
# executable and its tarball, the Windows executable and its zip (the release
# presets' builds with debug information added, so that a build path leaking
# into it shows), and the Debian package with its -dbgsym package
# (dpkg-buildpackage, as a packager builds it). Tests are off.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
JOBS=${JOBS:-2}

work=$(mktemp -d /tmp/ostrel-reproducible.XXXXXX)
# The Debian builds run under a user id of their own when root runs this.
chmod 755 "$work"
trap 'rm -rf "$work"' EXIT

# The copies carry no history: both take the commit's date from here.
if [ -z "${SOURCE_DATE_EPOCH:-}" ] && git -C "$source" rev-parse --git-dir >/dev/null 2>&1; then
    SOURCE_DATE_EPOCH=$(git -C "$source" log -1 --format=%ct)
    export SOURCE_DATE_EPOCH
fi

windows=no
if command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1; then
    windows=yes
fi
debian=no
if command -v dpkg-buildpackage >/dev/null 2>&1 && command -v dh >/dev/null 2>&1; then
    debian=yes
fi

build_once() {
    local tree=$1
    sh scripts/copy_tree.sh "$source" "$tree"
    local presets=(release)
    [ "$windows" = no ] || presets+=(windows-release)
    (
        cd "$tree"
        for preset in "${presets[@]}"; do
            cmake --preset "$preset" -DBUILD_TESTING=OFF -DCMAKE_C_FLAGS=-g -DCMAKE_CXX_FLAGS=-g
            cmake --build --preset "$preset" -j "$JOBS" --target Ostrel
            cpack --preset "$preset"
        done
        if [ "$debian" = yes ]; then
            DEB_BUILD_OPTIONS="nocheck parallel=$JOBS" sh scripts/debian_package.sh build/debian
        fi
    ) >"$tree.log" 2>&1 || {
        tail -30 "$tree.log"
        echo "FAIL: the build in $tree failed"
        exit 1
    }
}

first=$work/a/Ostrel
second=$work/second/folder/deeper/Ostrel-copy
build_once "$first"
sleep 1
build_once "$second"

products=(build/release/Ostrel build/release/Ostrel-*.tar.gz)
if [ "$windows" = yes ]; then
    products+=(build/windows-release/Ostrel.exe build/windows-release/Ostrel-*.zip)
fi
if [ "$debian" = yes ]; then
    products+=(build/debian/ostrel_*.deb build/debian/ostrel-dbgsym_*.deb)
fi
differ=0
cd "$first"
for product in "${products[@]}"; do
    for file in $product; do
        if [ ! -f "$file" ]; then
            echo "FAIL: $file was not made"
            differ=1
        elif cmp -s "$file" "$second/$file"; then
            echo "identical: $file ($(stat -c %s "$file") bytes, sha256 $(sha256sum "$file" | cut -c1-16))"
        else
            echo "FAIL: $file differs: $(cmp -l "$file" "$second/$file" 2>/dev/null | wc -l) bytes"
            differ=1
        fi
    done
done
if [ "$windows" = no ]; then
    echo "SKIP: no MinGW-w64 cross compiler, the Windows build was not compared"
fi
if [ "$debian" = no ]; then
    echo "SKIP: no dpkg-buildpackage and debhelper, the Debian packages were not compared"
fi
exit "$differ"
