#!/usr/bin/env python3
"""Ostrel inside a namespace built for the test reports exactly what iproute2
sees there: names, indexes, hardware addresses, types, addresses, masks,
gateways and the lease of an address with a finite lifetime."""

import ipaddress
import json
import os
import sys
import time

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

LIFETIME = 3600
SETUP = """\
addr add 10.77.1.2/24 dev va
addr add 10.77.2.2/16 dev va valid_lft {0} preferred_lft {0}
link add br0 type bridge
link set va alias uplink
tuntap add mode tap tp0
tuntap add mode tun tn0
route add default via 10.77.1.1 dev va
""".format(LIFETIME)
# The alias on va is the administrator's label, not a description.
DESCRIPTIONS = {"lo": "loopback", "va": "veth", "vb": "veth", "br0": "bridge", "tp0": "tap",
                "tn0": "tun"}
TYPES = {"ether": 6, "loopback": 24, "none": 131, "ppp": 23}


def main():
    ostrel = common.ostrel_argument("netns_report.py")
    expect = common.Expect()
    with common.namespace("ostrel_report", pairs=[("va", "vb")], setup=SETUP) as name:
        links = json.loads(common.run_ip("-n", name, "-j", "addr", "show"))
        routes = json.loads(common.run_ip("-n", name, "-j", "route", "show", "table", "main"))
        started = time.time()
        result = common.run_ostrel(ostrel, name)
        finished = time.time()

    parsed = common.parse_run(result, expect.failures)
    if parsed is None:
        return common.finish(expect.failures, "", "")
    queries, records = parsed

    expect(len(queries) == 2, "expected two query lines, got %r" % queries)
    if len(queries) == 2:
        first = "Calling Ostrel() with OutBufLen = %d (sizeof(IP_ADAPTER_INFO)): " % common.RECORD_SIZE
        expect(queries[0].startswith(first), "first query line %r" % queries[0])
        expect(queries[1].endswith("The operation completed successfully."),
               "second query line %r" % queries[1])
        extra = sum(max(0, len([a for a in l["addr_info"] if a["family"] == "inet"]) - 1)
                    for l in links)
        needed = len(links) * common.RECORD_SIZE + extra * common.NODE_SIZE
        expect(queries[1].startswith("Calling Ostrel() with OutBufLen = %d: " % needed),
               "second query line %r, expected %d bytes" % (queries[1], needed))
        try:
            common.check_links(records, needed)
        except common.ReportError as error:
            expect(False, str(error))

    gateways = {}
    for route in routes:
        if route.get("dst") == "default" and "gateway" in route:
            gateways.setdefault(route["dev"], []).append(route["gateway"])

    expected = sorted(links, key=lambda l: l["ifindex"])
    expect([r.get("AdapterName") for r in records] == [l["ifname"] for l in expected],
           "interfaces %r, expected %r" % ([r.get("AdapterName") for r in records],
                                           [l["ifname"] for l in expected]))
    for link, record in zip(expected, records):
        ifname = link["ifname"]

        def check(field, want):
            got = record.get(field)
            expect(got == want, "%s %s: %r, expected %r" % (ifname, field, got, want))

        check("Index", "0x%x (%d)" % (link["ifindex"], link["ifindex"]))
        hardware = link.get("address", "").replace(":", "")[:16]
        check("AddressLength", "0x%x (%d)" % (len(hardware) // 2, len(hardware) // 2))
        check("Address", "0x" + hardware)
        check("Type", "0x%x (%d)" % (TYPES.get(link["link_type"], 1),
                                     TYPES.get(link["link_type"], 1)))
        if ifname in DESCRIPTIONS:
            check("Description", DESCRIPTIONS[ifname])

        inet = [a for a in link["addr_info"] if a["family"] == "inet"]
        nodes = record["lists"]["IpAddressList"]
        if inet:
            want = [(a["local"], str(ipaddress.IPv4Network("0.0.0.0/%d" % a["prefixlen"]).netmask))
                    for a in inet]
            expect(len(record["lists"]["CurrentIpAddress"]) == len(inet),
                   "%s CurrentIpAddress does not lead to the address list" % ifname)
        else:
            want = [("0.0.0.0", "0.0.0.0")]
            expect(record["lists"]["CurrentIpAddress"] == [],
                   "%s CurrentIpAddress should be null" % ifname)
        got = [(n.get("IpAddress"), n.get("IpMask")) for n in nodes]
        expect(got == want, "%s addresses %r, expected %r" % (ifname, got, want))

        gateway = [n.get("IpAddress") for n in record["lists"]["GatewayList"]]
        expect(gateway == gateways.get(ifname, [""]),
               "%s gateways %r, expected %r" % (ifname, gateway, gateways.get(ifname, [""])))

        finite = [a for a in inet if a.get("valid_life_time", 2**32 - 1) != 2**32 - 1]
        if finite:
            check("DhcpEnabled", "0x1 (1)")
            expires = common.number(record.get("LeaseExpires", "(0)"))
            expect(started + LIFETIME - 5 <= expires <= finished + LIFETIME + 5,
                   "%s LeaseExpires %d not near now + %d" % (ifname, expires, LIFETIME))
            obtained = common.number(record.get("LeaseObtained", "(0)"))
            expect(started - 60 <= obtained <= finished + 2,
                   "%s LeaseObtained %d not near the address's creation" % (ifname, obtained))
        else:
            check("DhcpEnabled", "0x0 (0)")
            check("LeaseExpires", "0x0 (0) Thu Jan 01 00:00:00 1970")

    return common.finish(expect.failures, result.stdout, "%d interfaces checked" % len(records))


if __name__ == "__main__":
    sys.exit(main())
