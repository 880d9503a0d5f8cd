#!/bin/sh
# Builds the Debian packages from debian/ as a packager does, on a copy of
# the tree in OUT-DIR: the orig tarball from the tree (without debian/), the
# binary packages with `dpkg-buildpackage -us -uc -b` (DEB_BUILD_OPTIONS as
# given), then the source package, whose build fails when the first one left
# anything in the tree. Root builds as nobody. OUT-DIR's parents must be
# open to that user.
# Usage: debian_package.sh OUT-DIR
set -eu
mkdir -p "$1"
out=$(cd "$1" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
version=$(dpkg-parsechangelog -l "$source/debian/changelog" -S Version)
upstream=${version%-*}
tree=$out/ostrel-$upstream

sh "$source/scripts/copy_tree.sh" "$source" "$tree"
# The files of a git archive of the tree, owned by root, dated by the commit.
(cd "$tree" && find . -path ./debian -prune -o ! -type d -print | LC_ALL=C sort |
    tar --transform="s,^\\.,ostrel-$upstream," --owner=0 --group=0 --numeric-owner \
        --mtime="@${SOURCE_DATE_EPOCH:-0}" -cf - -T - | gzip -n -9 >"$out/ostrel_$upstream.orig.tar.gz")

as_builder=""
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$out"
    as_builder="setpriv --reuid=nobody --regid=nogroup --clear-groups"
fi
build() {
    (cd "$tree" && $as_builder env HOME="$out" PATH=/usr/local/bin:/usr/bin:/bin \
        dpkg-buildpackage -us -uc "$@")
}
build -b
build -S
