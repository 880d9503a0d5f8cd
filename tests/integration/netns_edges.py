#!/usr/bin/env python3
"""Ostrel where the kernel has little to say or says something hostile: a
namespace just made (lo down, no route table), one made by unshare -n (the
host's /sys still mounted), and interface names and aliases carrying line
breaks, a forged report line, terminal escapes and backslashes: an alias is
never shown, a name is shown escaped."""

import os
import shutil
import subprocess
import sys

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

FORGED = "first line\nIndex:           0x63 (99) "
# (name, alias or None, what the report must show: the Description of a
# link with an alias, or the AdapterName of one without)
HOSTILE = [
    ("ha", FORGED, "veth"),
    ("hb", "\x1b[31mred\x1b[0m \\x41", "veth"),
    ("hc", "caf\u00e9 \u2615 tab\there", "veth"),
    ("h\x1b[7md", None, "h\\x1b[7md"),
    ("h\udc9b\udcff", None, "h\\x9b\\xff"),  # lone CSI and 0xff bytes, no UTF-8
    # Right-to-left override, line separator, zero width space, byte order mark.
    ("h\u202e\u2028\u200b\ufeffd", None,
     "h\\xe2\\x80\\xae\\xe2\\x80\\xa8\\xe2\\x80\\x8b\\xef\\xbb\\xbfd"),
]
# Characters that reorder or hide text, which no report line may carry.
HIDDEN = set(map(chr, [*range(0x200B, 0x2010), *range(0x2028, 0x202F), *range(0x2060, 0x206A),
                       0xFEFF]))


def check_lone_lo(result, failures, where):
    """A complete report of one adapter, lo, with no address and no gateway."""
    parsed = common.parse_run(result, failures, where + ": ")
    if parsed is None:
        return
    records = parsed[1]
    names = [r.get("AdapterName") for r in records]
    if names != ["lo"]:
        failures.append("%s: adapters %r, expected only lo" % (where, names))
        return
    lists = records[0]["lists"]
    got = (lists["CurrentIpAddress"], lists["IpAddressList"][0].get("IpAddress"),
           lists["GatewayList"][0].get("IpAddress"))
    if got != ([], "0.0.0.0", ""):
        failures.append("%s: lo shows %r" % (where, got))


def main():
    ostrel = common.ostrel_argument("netns_edges.py")
    failures = []
    reports = []

    with common.namespace("ostrel_fresh", lo_up=False) as name:
        result = common.run_ostrel(ostrel, name)
    reports.append(result.stdout)
    check_lone_lo(result, failures, "ip netns add")

    if shutil.which("unshare") is not None:
        result = subprocess.run(["unshare", "-n", ostrel], stdin=subprocess.DEVNULL,
                                capture_output=True, text=True, timeout=30)
        reports.append(result.stdout)
        check_lone_lo(result, failures, "unshare -n")

    with common.namespace("ostrel_texts") as name:
        for i, (ifname, alias, _) in enumerate(HOSTILE):
            common.run_ip("-n", name, "link", "add", ifname, "type", "veth", "peer", "name",
                          "peer%d" % i)
            if alias is not None:
                common.run_ip("-n", name, "link", "set", "dev", ifname, "alias", alias)
        result = common.run_ostrel(ostrel, name)
    reports.append(result.stdout)
    bad = sorted({c for c in result.stdout
                  if (c < " " and c != "\n") or c == "\x7f" or c in HIDDEN})
    if bad:
        failures.append("hostile texts: control characters %r reached the output" % bad)
    parsed = common.parse_run(result, failures, "hostile texts: ")
    records = parsed[1] if parsed else []
    forged = sum(line.startswith("Index:") for line in result.stdout.split("\n")) - len(records)
    if forged:
        failures.append("%d forged Index lines" % forged)
    names = {r.get("AdapterName"): r for r in records}
    for ifname, alias, shown in HOSTILE:
        if alias is None:
            if shown not in names:
                failures.append("no adapter named %r in %r" % (shown, sorted(names)))
        elif names.get(ifname, {}).get("Description") != shown:
            failures.append("alias of %s shown as %r, expected %r" % (
                ifname, names.get(ifname, {}).get("Description"), shown))
    return common.finish(failures, "\n".join(reports),
                         "fresh namespaces and %d hostile texts checked" % len(HOSTILE))


if __name__ == "__main__":
    sys.exit(main())
