#!/bin/sh
# Installs the Debian package into a scratch root with dpkg, runs the
# installed tool, removes the package and checks that nothing of it is left.
# Lintian judges the package when installed.
# Usage: package_deb.sh PACKAGE.deb
if ! command -v dpkg >/dev/null 2>&1 || ! command -v dpkg-deb >/dev/null 2>&1; then
    echo "SKIP: dpkg is not installed (not a Debian system)"
    exit 77
fi
# Nothing here needs root (dpkg --root --force-not-root installs as anyone):
# root runs the checks as nobody, on a copy of the package that root owns,
# so that neither dpkg nor lintian nor the installed tool runs privileged.
if [ "$(id -u)" -eq 0 ]; then
    copy=$(mktemp -d)
    trap 'rm -rf "$copy"' EXIT
    chmod 755 "$copy"
    cp "$1" "$copy/"
    status=0
    (cd "$copy" && setpriv --reuid=nobody --regid=nogroup --clear-groups \
        env HOME="$copy" sh -s "$copy/$(basename "$1")") <"$0" || status=$?
    exit "$status"
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*"
    exit 1
}

deb=$1
[ -f "$deb" ] || fail "no package $deb"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
case "$depends" in *libc6*) ;; *) fail "no computed dependency on libc6" ;; esac
# The device names' library is loaded at run time: recommended, not required.
case "$depends" in *libudev* | *libsystemd*) fail "a hard dependency on the names: $depends" ;; esac
recommends=$(dpkg-deb -f "$deb" Recommends)
case "$recommends" in *udev*) ;; *) fail "udev, which names the devices, not recommended" ;; esac

# A scratch root with an empty dpkg database; the dependencies are the
# host's (checked above), hence --force-depends.
root=$work/root
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
: >"$root/var/lib/dpkg/status"
dpkg="dpkg --root=$root --force-depends --force-not-root --log=/dev/null"
PATH=$PATH:/usr/sbin:/sbin $dpkg -i "$deb" >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg -i failed"; }
for file in usr/bin/Ostrel usr/share/man/man1/Ostrel.1.gz usr/share/doc/ostrel/copyright; do
    [ -f "$root/$file" ] || fail "/$file is not installed"
done
# The command also answers to the package's name, and the banner reads the
# version record through that link.
[ "$(readlink "$root/usr/bin/ostrel")" = Ostrel ] || fail "/usr/bin/ostrel is no link to Ostrel"
[ "$(readlink "$root/usr/share/man/man1/ostrel.1.gz")" = Ostrel.1.gz ] ||
    fail "/usr/share/man/man1/ostrel.1.gz is no link to Ostrel.1.gz"
(cd "$work" && PATH=$root/usr/bin:$PATH ostrel </dev/null) | grep -q '^Version 1, 0, 0, 2 $' ||
    fail "ostrel through PATH lost the version record"
if objdump -h "$root/usr/bin/Ostrel" | grep -q '\.debug_info'; then
    fail "the installed executable is not stripped"
fi

"$root/usr/bin/Ostrel" </dev/null >"$work/report" 2>&1
status=$?
[ "$status" -eq 0 ] || { cat "$work/report"; fail "the installed tool exited with $status"; }
grep -q '^Version 1, 0, 0, 2 $' "$work/report" || fail "the installed tool lost its version record"
grep -q '^IP_ADAPTER_INFO: $' "$work/report" || fail "the installed tool wrote no adapter record"
echo "installed tool ran: $(grep -c '^IP_ADAPTER_INFO: $' "$work/report") adapter records"

PATH=$PATH:/usr/sbin:/sbin $dpkg --purge ostrel >"$work/dpkg.log" 2>&1 ||
    { cat "$work/dpkg.log"; fail "dpkg --purge failed"; }
left=$(find "$root" -path "$root/var/lib/dpkg" -prune -o ! -type d -print)
[ -z "$left" ] || fail "left after removal: $left"
[ -z "$(find "$root/usr" -mindepth 1 2>/dev/null)" ] || fail "directories left in /usr"
echo "removed cleanly"

if command -v lintian >/dev/null 2>&1; then
    # Informational and pedantic tags may stay; errors and warnings may not.
    lintian --pedantic --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1
    status=$?
    grep -v 'running with root privileges' "$work/lintian.log"
    [ "$status" -eq 0 ] || fail "lintian found errors or warnings"
    echo "lintian: no errors or warnings"
else
    echo "lintian is not installed: package not judged"
fi
