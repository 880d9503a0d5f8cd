#!/bin/sh
# Builds the Debian packages from debian/ as a packager does, on a copy of
# the tree: the orig tarball from the tree (without debian/), the binary
# packages with `dpkg-buildpackage -us -uc -b` (DEB_BUILD_OPTIONS as given),
# then the source package, whose build fails when the first one left
# anything in the tree. The packages, the .dsc and the tarballs land in
# OUT-DIR.
#
# Root builds as a user id that no account uses, made up for the build and
# owning nothing but it, in a folder only that id and root can reach. When
# the build is over, every process left under the id is ended, and root
# copies out only regular files, none a link, into OUT-DIR, owned by root:
# nothing the build ran can change what root reads next. OUT-DIR's parents
# must be open to every user.
# Usage: debian_package.sh OUT-DIR
set -eu
mkdir -p "$1"
out=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
upstream=${version%-*}
work=$out/.build
rm -rf "$work"
mkdir -p "$work/tree"
tree=$work/tree/ostrel-$upstream

sh "$source/scripts/copy_tree.sh" "$source" "$tree"
# The files of a git archive of the tree, owned by root, dated by the commit.
(cd "$tree" && find . -path ./debian -prune -o ! -type d -print | LC_ALL=C sort |
    tar --transform="s,^\\.,ostrel-$upstream," --owner=0 --group=0 --numeric-owner \
        --mtime="@${SOURCE_DATE_EPOCH:-0}" -cf - -T - | gzip -n -9 >"$out/ostrel_$upstream.orig.tar.gz")
cp "$out/ostrel_$upstream.orig.tar.gz" "$work/tree/"

# The processes with the user id among their ids, zombies left out (from
# status: /proc/PID itself belongs to root once a process makes itself
# undumpable).
processes_of() {
    for record in /proc/[0-9]*/status; do
        while read -r key real effective saved filesystem; do
            case "$key" in
            State:) [ "$real" != Z ] || break ;;
            Uid:)
                case " $real $effective $saved $filesystem " in *" $1 "*)
                    record=${record%/status}
                    echo "${record#/proc/}"
                    ;;
                esac
                break
                ;;
            esac
        done <"$record" 2>/dev/null || true
    done
}

as_builder=""
builder=""
if [ "$(id -u)" -eq 0 ]; then
    # A free id between 61000 and 64999 (Debian creates its accounts there
    # only on demand; one in use is passed over), tried from one that
    # depends on this process, so that builds at the same time rarely meet.
    offset=$(($$ % 4000))
    tries=0
    while [ "$tries" -lt 4000 ]; do
        id=$((61000 + (offset + tries) % 4000))
        if ! getent passwd "$id" >/dev/null && ! getent group "$id" >/dev/null &&
            [ -z "$(processes_of "$id")" ]; then
            builder=$id
            break
        fi
        tries=$((tries + 1))
    done
    [ -n "$builder" ] || { echo "no free user id for the build" >&2; exit 1; }
    chown "root:$builder" "$work"
    chmod 0710 "$work"
    chown -R "$builder:$builder" "$work/tree"
    as_builder="setpriv --reuid=$builder --regid=$builder --clear-groups"
fi
build() {
    (cd "$tree" && $as_builder env HOME="$work/tree" PATH=/usr/local/bin:/usr/bin:/bin \
        dpkg-buildpackage -us -uc "$@")
}
status=0
build -b && build -S || status=$?
# Nothing the build started outlives it.
if [ -n "$builder" ]; then
    rounds=0
    while left=$(processes_of "$builder") && [ -n "$left" ]; do
        rounds=$((rounds + 1))
        [ "$rounds" -le 100 ] || { echo "processes of the build do not end: $left" >&2; exit 1; }
        kill -KILL $left 2>/dev/null || true
        sleep 0.1
    done
fi
[ "$status" -eq 0 ] || exit "$status"
for file in "$work"/tree/ostrel*.deb "$work"/tree/ostrel*.dsc "$work"/tree/ostrel*.debian.tar.* \
    "$work"/tree/ostrel*.buildinfo "$work"/tree/ostrel*.changes; do
    if [ -L "$file" ] || [ ! -f "$file" ] || [ "$(stat -c %h "$file")" != 1 ]; then
        echo "not a plain file of the build: $file" >&2
        exit 1
    fi
    cp "$file" "$out/"
done
rm -rf "$work"
