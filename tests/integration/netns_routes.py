#!/usr/bin/env python3
"""Default routes as gateways: every next hop of a multipath route, routes
ordered by metric, each gateway once per adapter, nothing for a next hop
via IPv6 (unlike 0.0.0.0 for a default without gateway), and nothing from
other tables, non-unicast routes or routes to a prefix. Routes over
next-hop objects give the same gateways whether the kernel spells out
their hops or, with nexthop_compat_mode off, names only the object."""

import os
import subprocess
import sys

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

PAIRS = (("va", "vb"), ("vc", "vd"), ("vg", "vh"), ("nh1", "nh2"))
SETUP = """\
addr add 10.1.0.2/24 dev va
addr add 10.2.0.2/24 dev vc
route add default metric 100 nexthop via 10.1.0.1 dev va nexthop via 10.2.0.1 dev vc
route add default via 10.2.0.254 dev vc metric 50
route add unreachable default metric 300
route add 192.0.2.0/24 via 10.1.0.77 dev va
route add default via 10.1.0.99 dev va table 100
route add default via 10.2.0.98 dev vc table local
route add default via 10.1.0.1 dev va metric 400
route add default metric 500 nexthop via 10.2.0.1 dev vc nexthop via 10.2.0.1 dev vc
route add default dev vh metric 700
route add default dev vh metric 800
addr add 10.3.0.2/24 dev nh1
nexthop add id 31 via 10.3.0.1 dev nh1
nexthop add id 32 via 10.3.0.9 dev nh1
nexthop add id 33 dev nh2
nexthop add id 34 group 32/33/31
nexthop add id 35 via fe80::1 dev nh2
route add default nhid 31 metric 900
route add default nhid 34 metric 910
route add default nhid 35 metric 920
"""
EXPECTED = {"lo": [""], "va": ["10.1.0.1"], "vb": [""],
            "vc": ["10.2.0.254", "10.2.0.1"], "vd": [""],
            "vg": [""], "vh": ["0.0.0.0"],
            "nh1": ["10.3.0.1", "10.3.0.9"], "nh2": ["0.0.0.0"]}


def main():
    ostrel = common.ostrel_argument("netns_routes.py")
    with common.namespace("ostrel_routes", pairs=PAIRS, setup=SETUP) as name:
        # Without -4 the IPv6 next hop would make an IPv6 route.
        common.run_ip("-n", name, "-4", "route", "add", "default", "via", "inet6", "fe80::1",
                      "dev", "vg", "metric", "600")
        results = []
        for mode in ("1", "0"):
            subprocess.run(["ip", "netns", "exec", name, "sh", "-c",
                            "echo %s > /proc/sys/net/ipv4/nexthop_compat_mode" % mode],
                           check=True)
            results.append(common.run_ostrel(ostrel, name))
    failures = []
    for mode, result in zip(("on", "off"), results):
        failures += check(result, "compat mode %s: " % mode)
    return common.finish(failures, results[-1].stdout, "gateways checked in both modes")


def check(result, where):
    failures = []
    parsed = common.parse_run(result, failures)
    if parsed is None:
        return [where + f for f in failures]
    got = {r.get("AdapterName"): r["lists"]["GatewayList"] for r in parsed[1]}
    if sorted(got) != sorted(EXPECTED):
        failures.append("interfaces %r, expected %r" % (sorted(got), sorted(EXPECTED)))
    for ifname, want in EXPECTED.items():
        nodes = got.get(ifname, [])
        addresses = [n.get("IpAddress") for n in nodes]
        if addresses != want:
            failures.append("%s gateways %r, expected %r" % (ifname, addresses, want))
        masks = [n.get("IpMask") for n in nodes]
        want_masks = ["255.255.255.255" if a else "" for a in want]
        if masks != want_masks:
            failures.append("%s gateway masks %r, expected %r" % (ifname, masks, want_masks))
    return [where + f for f in failures]


if __name__ == "__main__":
    sys.exit(main())
