#!/usr/bin/env python3
"""Default routes as gateways: every next hop of a multipath route, routes
ordered by metric, each gateway once per adapter, nothing for a next hop
via IPv6 (unlike 0.0.0.0 for a default without gateway), and nothing from
other tables, non-unicast routes or routes to a prefix."""

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

SETUP = """\
link add va type veth peer name vb
link add vc type veth peer name vd
link set va up
link set vb up
link set vc up
link set vd up
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
link add vg type veth peer name vh
link set vg up
link set vh up
route add default dev vh metric 700
route add default dev vh metric 800
"""
EXPECTED = {"lo": [""], "va": ["10.1.0.1"], "vb": [""],
            "vc": ["10.2.0.254", "10.2.0.1"], "vd": [""],
            "vg": [""], "vh": ["0.0.0.0"]}


def main():
    ostrel = common.ostrel_argument("netns_routes.py")
    with common.namespace("ostrel_routes") as name:
        common.run_ip("-n", name, "-batch", "-", stdin=SETUP)
        # Without -4 the IPv6 next hop would make an IPv6 route.
        common.run_ip("-n", name, "-4", "route", "add", "default", "via", "inet6", "fe80::1",
                      "dev", "vg", "metric", "600")
        result = common.run_ostrel(ostrel, name)
    if result.returncode != 0:
        print("FAIL: exit status %d, stderr %r" % (result.returncode, result.stderr))
        return 1
    parsed = common.parse_or_show(result)
    if parsed is None:
        return 1
    _, records = parsed

    failures = []
    got = {r.get("AdapterName"): r["lists"]["GatewayList"] for r in records}
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
    return common.finish(failures, result.stdout, "gateways of %d interfaces checked" % len(records))


if __name__ == "__main__":
    sys.exit(main())
