#!/usr/bin/env python3
"""Ostrel with few resources or hostile lease stores: each row runs the real
binary in a namespace whose eth0 holds a dhclient lease, with the stores on
tmpfs in a private mount namespace (the machine's own stay untouched), filled
as the row says and under the row's limits. A run must either show the lease
or fail with the right result text; it must never crash, hang or quietly
drop the lease."""

import ctypes
import os
import random
import string
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

STORES = ("/var/lib/dhcp", "/var/lib/dhcpcd", "/var/lib/NetworkManager",
          "/run/systemd/netif/leases")
LEASE = ('lease {\n  interface "eth0";\n  fixed-address 10.5.0.2;\n'
         '  option dhcp-server-identifier 10.5.0.1;\n  option dhcp-lease-time 3600;\n'
         '  expire epoch %d;\n}\n')
TOO_MANY_FILES = "The system cannot open the file."
GEN_FAILURE = "A device attached to the system is not functioning."


def fill(kind):
    """Runs inside the mount namespace: the stores as the row wants them."""
    with open("/var/lib/dhcp/dhclient.leases", "w") as f:
        f.write(LEASE % (time.time() + 3000))
    rnd = random.Random(5)
    if kind == "pieces":
        # Names of 124 pieces that carry no interface name.
        for i in range(10000):
            pieces = [rnd.choice(string.ascii_lowercase) for _ in range(124)]
            open("/var/lib/dhcpcd/%s.lease" % ".".join(pieces), "w").close()
    elif kind == "dhclient":
        # 1 MiB files of blocks for interfaces that do not exist.
        for n in range(100):
            blocks, size, j = [], 0, 0
            while True:
                block = ('lease {\n  interface "x%d_%d";\n  fixed-address 10.0.0.1;\n'
                         '  option netbios-name-servers 10.0.0.2, 10.0.0.3;\n}\n' % (n, j))
                if size + len(block) > 1 << 20:
                    break
                blocks.append(block)
                size += len(block)
                j += 1
            with open("/var/lib/dhcp/dhclient.%d.leases" % n, "w") as f:
                f.write("".join(blocks))


def interrupt_socket_calls():
    """A seccomp filter answering every sendto and recvmsg with EINTR."""
    nr_sendto, nr_recvmsg = 44, 47  # x86_64
    if os.uname().machine != "x86_64":
        return
    code = [(0x20, 0, 0, 0),                       # ld [nr]
            (0x15, 2, 0, nr_sendto),               # jeq sendto
            (0x15, 1, 0, nr_recvmsg),              # jeq recvmsg
            (0x06, 0, 0, 0x7fff0000),              # ret ALLOW
            (0x06, 0, 0, 0x00050000 | 4)]          # ret ERRNO(EINTR)
    program = b"".join(struct.pack("HBBI", *op) for op in code)
    buffer = ctypes.create_string_buffer(program)
    fprog = struct.pack("HxxxxxxP", len(code), ctypes.addressof(buffer))
    libc = ctypes.CDLL(None, use_errno=True)
    libc.prctl.argtypes = [ctypes.c_int] + [ctypes.c_ulong] * 4
    libc.prctl(38, 1, 0, 0, 0)  # PR_SET_NO_NEW_PRIVS
    fprog_buffer = ctypes.create_string_buffer(fprog)
    if libc.prctl(22, 2, ctypes.addressof(fprog_buffer), 0, 0) != 0:  # PR_SET_SECCOMP, FILTER
        os._exit(77)


# (name, how the stores are filled, prlimit options, seccomp, what the run shows:
# "lease", or the result text it must fail with)
ROWS = [
    ("10,000 names of 124 pieces in 128 MiB", "pieces", ["--as=134217728", "--cpu=10"],
     False, "lease"),
    ("100 dhclient files of 1 MiB in 128 MiB", "dhclient", ["--as=134217728", "--cpu=10"],
     False, "lease"),
    ("four file descriptors", "", ["--nofile=4"], False, TOO_MANY_FILES),
    ("a 32 KiB stack", "", ["--stack=32768"], False, "lease"),
    ("every socket call interrupted", "", [], True, GEN_FAILURE),
]


def run_row(ostrel, name, row, failures):
    title, kind, limits, interrupt, want = row
    # Fresh tmpfs over /var/lib and /run hide the machine's stores and take
    # the test's, without a folder made or changed outside.
    mounts = "mount -t tmpfs tmpfs /var/lib && mount -t tmpfs tmpfs /run && mkdir -p %s" % (
        " ".join(STORES))
    script = "%s; %s %s --fill %s && exec prlimit %s -- %s" % (
        mounts, sys.executable, os.path.abspath(__file__), kind or "none", " ".join(limits),
        ostrel)
    started = time.time()
    try:
        result = subprocess.run(
            ["ip", "netns", "exec", name, "unshare", "-m", "--propagation", "private", "sh",
             "-c", script], stdin=subprocess.DEVNULL, capture_output=True, text=True,
            timeout=30, preexec_fn=interrupt_socket_calls if interrupt else None)
    except subprocess.TimeoutExpired:
        failures.append("%s: still running after 30 s" % title)
        return
    elapsed = time.time() - started
    print("%-45s exit %d in %.2f s" % (title, result.returncode, elapsed))
    lines = [line for line in result.stdout.splitlines() if line.startswith("Calling Ostrel()")]
    if want != "lease":
        if result.returncode != 1 or not lines or not lines[-1].endswith(want) \
                or "Aborting due to error" not in result.stdout:
            failures.append("%s: exit status %d, last query line %r, expected %r" % (
                title, result.returncode, lines[-1:] or None, want))
        return
    parsed = common.parse_run(result, failures, "%s: last query line %r, " % (
        title, lines[-1:] or None))
    eth0 = [r for r in parsed[1] if r.get("AdapterName") == "eth0"] if parsed else []
    servers = [node.get("IpAddress") for node in eth0[0]["lists"]["DhcpServer"]] \
        if eth0 else []
    if parsed and servers != ["10.5.0.1"]:
        failures.append("%s: eth0's DhcpServer %r, expected the lease's 10.5.0.1" % (
            title, servers))


def main():
    if len(sys.argv) == 3 and sys.argv[1] == "--fill":
        fill(sys.argv[2])
        return 0
    ostrel = common.ostrel_argument("netns_limits.py")
    failures = []
    setup = ("addr add 10.5.0.2/24 dev eth0 valid_lft 3600 preferred_lft 3600\n"
             "route add default via 10.5.0.1 dev eth0\n")
    with common.namespace("ostrel_limits", pairs=[("eth0", "peer0")], setup=setup) as name:
        for row in ROWS:
            run_row(ostrel, name, row, failures)
    return common.finish(failures, "", "all rows passed")


if __name__ == "__main__":
    sys.exit(main())
