#!/usr/bin/env python3
"""A build for another architecture, run directly or through its emulator,
reports what the machine's own build reports in the same namespace: eth0
holds the address of a dhclient lease that ends in 2040, eth1 that of a
dhcpcd lease, both with a server and WINS servers. Only the links between
records and nodes and the buffer sizes, which follow the pointer size, may
differ; a 32-bit build's first offer is the 640-byte record.

    cross_report.py NATIVE CROSS [EMULATOR ARGUMENT...]"""

import os
import re
import struct
import subprocess
import sys
import time

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

SETUP = """\
addr add 10.5.0.2/24 dev eth0 valid_lft 86400 preferred_lft 86400
addr add 10.6.0.2/24 dev eth1 valid_lft 7200 preferred_lft 7200
addr add 10.7.0.2/16 dev eth1
route add default via 10.5.0.1 dev eth0
"""
# 2040-01-01 00:00:00 UTC, past the 32-bit time_t.
AFTER_2038 = 2208988800
DHCLIENT = ('lease {\n  interface "eth0";\n  fixed-address 10.5.0.2;\n'
            '  option dhcp-server-identifier 10.5.0.1;\n'
            '  option netbios-name-servers 10.5.0.8, 10.5.0.9;\n'
            '  option dhcp-lease-time %d;\n  expire 0 2040/01/01 00:00:00;\n}\n')
STORES = ("/var/lib/dhcp", "/var/lib/dhcpcd", "/run/dhcpcd")


def fill():
    """Runs inside the private mount namespace: the two lease stores."""
    now = int(time.time())
    with open("/var/lib/dhcp/dhclient.leases", "w") as f:
        f.write(DHCLIENT % (AFTER_2038 - now + 600))  # obtained ten minutes ago
    header = bytearray(236)
    header[0:3] = b"\x02\x01\x06"
    header[16:20] = bytes([10, 6, 0, 2])
    options = (b"\x63\x82\x53\x63" + b"\x33\x04" + struct.pack(">I", 7200) +
               b"\x36\x04\x0a\x06\x00\x01" + b"\x2c\x04\x0a\x06\x00\x09" + b"\xff")
    with open("/var/lib/dhcpcd/eth1.lease", "wb") as f:
        f.write(bytes(header) + options)
    os.utime("/var/lib/dhcpcd/eth1.lease", (now - 60, now - 60))


def masked(report):
    """The report without the chain links and the buffer sizes."""
    report = re.sub(r"(Next: +)0x[0-9a-f]+ \(\d+\)", r"\1<link>", report)
    return re.sub(r"OutBufLen = \d+", "OutBufLen = <size>", report)


def main():
    if len(sys.argv) == 2 and sys.argv[1] == "--fill":
        fill()
        return 0
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    common.require_namespaces()
    native, cross = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    emulator = sys.argv[3:]
    if not os.access(native, os.X_OK):
        common.skip("no native build at %s to compare with (build the default preset)" % native)
    failures = []
    mounts = "mount -t tmpfs tmpfs /var/lib && mount -t tmpfs tmpfs /run && mkdir -p %s" % (
        " ".join(STORES))
    script = "%s && %s %s --fill && echo ready && exec sleep 600" % (
        mounts, sys.executable, os.path.abspath(__file__))
    with common.namespace("ostrel_cross", pairs=[("eth0", "peer0"), ("eth1", "peer1")],
                          setup=SETUP) as name:
        holder, error = common.hold_isolated(name, script)
        if holder is None:
            common.skip("no private mounts for the lease stores: " + error)
        try:
            runs = [subprocess.run(common.enter(holder.pid) + command, stdin=subprocess.DEVNULL,
                                   capture_output=True, text=True, timeout=120)
                    for command in ([native], emulator + [cross])]
        finally:
            holder.kill()
            holder.wait()
    with open(cross, "rb") as f:
        ident = f.read(6)
    wide, big_endian = ident[4:5] == b"\x02", ident[5:6] == b"\x02"
    # qemu-user turns round only the netlink attribute headers it knows; a
    # newer link attribute (IFLA_DPLL_PIN from Linux 6.7) reaches a
    # big-endian guest in the host's order, and the tool refuses the dump.
    if (big_endian and emulator and os.path.basename(emulator[0]).startswith("qemu-")
            and "not functioning" in runs[1].stdout and "Aborting" in runs[1].stdout):
        common.skip("%s leaves the kernel's newer link attributes in the host's byte order"
                    % os.path.basename(emulator[0]))
    parsed = [common.parse_run(run, failures, where) for run, where in
              zip(runs, ("native: ", "cross: "))]
    if None in parsed:
        return common.finish(failures, runs[1].stdout, "")
    records = {r["AdapterName"]: r for r in parsed[0][1]}
    eth0, eth1 = records.get("eth0", {}), records.get("eth1", {})
    if (common.number(eth0.get("LeaseExpires", "(0)")) == 0 or eth0.get("DhcpEnabled") != "0x1 (1)"
            or eth1.get("DhcpEnabled") != "0x1 (1)"):
        failures.append("the native build does not show both leases")
    want, got = masked(runs[0].stdout), masked(runs[1].stdout)
    if got != want:
        lines = [(w, g) for w, g in zip(want.split("\n"), got.split("\n")) if w != g]
        failures.append("the reports differ, first at native %r, cross %r" % (
            lines[0] if lines else ("<%d lines>" % want.count("\n"),
                                    "<%d lines>" % got.count("\n"))))
    # The record's size follows the pointer size: 640 bytes in a 32-bit build.
    offers = [int(re.search(r"OutBufLen = (\d+)", p[0][0]).group(1)) for p in parsed]
    if offers[1] != (offers[0] if wide else 640):
        failures.append("first offer %d for a %d-bit build" % (offers[1], 64 if wide else 32))
    return common.finish(failures, runs[1].stdout,
                         "the native build's report; first offer %d" % offers[1])


if __name__ == "__main__":
    sys.exit(main())
