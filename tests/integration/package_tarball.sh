#!/bin/sh
# Packs the build's tarball with cpack and checks what it holds: a stripped
# executable that runs from where it is unpacked, its link, the man page and
# the licence, all owned by root whoever ran cpack.
# Usage: package_tarball.sh BUILD-DIR
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -G TGZ -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack failed"; }
tarball=$(ls "$work"/out/Ostrel-*.tar.gz) || fail "no tarball made"
owners=$(tar --numeric-owner -tvzf "$tarball" | awk '{print $2}' | sort -u)
[ "$owners" = 0/0 ] || fail "the tarball records owners $owners"
mkdir "$work/root" && tar -C "$work/root" -xzf "$tarball" --strip-components=1 || fail "tar -x failed"
for file in bin/Ostrel bin/ostrel share/man/man1/Ostrel.1 share/man/man1/ostrel.1 share/doc/ostrel/LICENSE; do
    [ -e "$work/root/$file" ] || fail "the tarball has no $file"
done
if objdump -h "$work/root/bin/Ostrel" | grep -q '\.debug_info'; then
    fail "the tarball's executable is not stripped"
fi
"$work/root/bin/ostrel" </dev/null | grep -q '^Version 1, 0, 0, 2 $' ||
    fail "the unpacked tool lost its version record"
echo "$(basename "$tarball"): $(tar tzf "$tarball" | grep -vc '/$') files, owned by 0/0, runs"
