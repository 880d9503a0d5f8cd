#!/usr/bin/env python3
"""The namespace helpers inside a chroot, as a packager's build root runs
them: where the chroot's root is a mount of its own, a command run in the
clients' namespaces stays inside the chroot and the escape guard sees one
that does not; where the root is a plain folder, the tests skip with a
reason instead of failing.

The chroots are made in a private mount namespace from bind mounts of the
machine's own folders, and a marker file that only they hold; nothing is
written outside them."""

import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, HERE)
import netns_common as common  # noqa: E402

MARKER = "/ostrel-test-chroot"
SOURCE = os.path.dirname(os.path.dirname(HERE))

# $1: the folder for both chroots. "own" is a mount, "plain" a folder.
BUILD = """\
set -e
mount -t tmpfs -o mode=755 tmpfs "$1"
mkdir "$1/own" "$1/plain"
mount -t tmpfs -o mode=755 tmpfs "$1/own"
for root in "$1/own" "$1/plain"; do
    mkdir -p "$root/usr" "$root/etc" "$root/dev" "$root/run" "$root/sys" "$root/proc" \\
        "$root/tmp" "$root/src"
    for dir in usr etc dev run sys; do mount --rbind "/$dir" "$root/$dir"; done
    mount -t proc proc "$root/proc"
    mount -t tmpfs tmpfs "$root/tmp"
    mount --bind "{source}" "$root/src"
    for link in bin sbin lib lib32 lib64; do
        if [ -L "/$link" ]; then ln -s "$(readlink "/$link")" "$root/$link"; fi
    done
    : > "$root{marker}"
done
for root in own plain; do
    echo "== $root"
    chroot "$1/$root" python3 /src/tests/integration/netns_chroot.py --inside && status=0 \\
        || status=$?
    echo "== $root exit $status"
done
"""

HOLD = """\
mount -t tmpfs tmpfs /run
echo ready
exec sleep 60
"""


def inside():
    """In the chroot: the helpers keep its root, and the guard tells an
    escaped process."""
    common.require_namespaces()
    problems = []
    with common.namespace("ostrel_chroot") as name:
        holder, error = common.hold_isolated(name, HOLD)
        if holder is None:
            print("FAIL: no isolated holder: " + error)
            return 1
        try:
            stays = subprocess.run([*common.enter(holder.pid), "test", "-e", MARKER],
                                   stdin=subprocess.DEVNULL)
            if stays.returncode != 0:
                problems.append("a command run in the clients' namespaces left the chroot")
            if common.foreign_roots([holder.pid, os.getpid()]):
                problems.append("the guard took the chroot's own processes for escaped")
            # nsenter without -r, as the helpers once did: at the machine's root.
            escaped = subprocess.Popen(["nsenter", "-t", str(holder.pid), "-m", "--", "sleep",
                                        "10"], stdin=subprocess.DEVNULL)
            try:
                seen = False
                for _ in range(50):
                    if subprocess.run(["test", "-e", "/proc/%d/exe" % escaped.pid]).returncode:
                        break
                    if common.foreign_roots([escaped.pid]):
                        seen = True
                        break
                    subprocess.run(["sleep", "0.05"])
                if not seen:
                    problems.append("the guard did not see a process at the machine's root")
            finally:
                escaped.kill()
                escaped.wait()
        finally:
            holder.kill()
            holder.wait()
    return common.finish(problems, "", "the guard tells the chroot's processes from escaped ones")


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "--inside":
        return inside()
    common.require_namespaces()
    for tool in ("chroot", "nsenter", "unshare"):
        if shutil.which(tool) is None:
            common.skip("needs %s (coreutils, util-linux)" % tool)
    if os.path.exists(MARKER):
        common.skip("this machine already has " + MARKER)
    folder = tempfile.mkdtemp(prefix="ostrel-chroot-")
    try:
        script = BUILD.format(source=SOURCE, marker=MARKER)
        result = subprocess.run(["unshare", "-m", "--propagation", "private", "sh", "-c", script,
                                 "sh", folder], stdin=subprocess.DEVNULL, capture_output=True,
                                text=True, timeout=120)
    finally:
        os.rmdir(folder)
    print(result.stdout + result.stderr)
    failures = []
    if result.returncode != 0:
        failures.append("could not build the chroots (exit %d)" % result.returncode)
    if "== own exit 0\n" not in result.stdout:
        failures.append("the chroot that is its own mount did not pass")
    plain = result.stdout.partition("== plain\n")[2]
    if "== plain exit 77\n" not in plain or "not a mount point" not in plain:
        failures.append("the chroot on a plain folder did not skip with its reason")
    if os.path.exists(MARKER):
        failures.append("the marker reached the machine's root")
    return common.finish(failures, "", "helpers keep a chroot's root; a plain-folder chroot skips")


if __name__ == "__main__":
    sys.exit(main())
