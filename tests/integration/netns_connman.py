#!/usr/bin/env python3
"""ConnMan's DHCP client sets its address without a lifetime and keeps no
lease file, only each service's settings. With those settings on a tmpfs
over /var/lib/connman, in a mount namespace of the test's own, the address
the link's service names by DHCP shows as DHCP; a service that names
another address, or no DHCP, leaves its link static."""

import os
import subprocess
import sys

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

# link: (its address, the method and address its service's settings name,
# DhcpEnabled)
LINKS = {"ca": ("10.57.0.58/24", "dhcp", "10.57.0.58", "0x1 (1)"),
         "cb": ("10.58.0.9/24", "dhcp", "10.58.0.77", "0x0 (0)"),
         "cc": ("10.59.0.9/24", "manual", "10.59.0.9", "0x0 (0)")}
MOUNTS = """set -e
if [ -d /var/lib/connman ]; then mount -t tmpfs -o mode=755 tmpfs /var/lib/connman
else mount -t tmpfs -o mode=755 tmpfs /var/lib && mkdir -m 755 /var/lib/connman; fi
"""


def main():
    ostrel = common.ostrel_argument("netns_connman.py")
    for tool in ("nsenter", "unshare"):
        if subprocess.run(["sh", "-c", "command -v " + tool], capture_output=True).returncode:
            common.skip("needs %s (util-linux)" % tool)
    expect = common.Expect()
    pairs = [("ca", "pa"), ("cb", "pb"), ("cc", "pc")]
    setup = "".join("addr add %s dev %s\n" % (LINKS[link][0], link) for link, _ in pairs)
    with common.namespace("ostrel_connman", pairs=pairs, setup=setup) as name:
        script = MOUNTS
        for link in LINKS:
            mac = common.run_ip("-n", name, "-br", "link", "show", link).split()[2]
            service = "/var/lib/connman/ethernet_%s_cable" % mac.replace(":", "")
            script += "mkdir -m 700 %s\nprintf '%s' > %s/settings\n" % (
                service, "[ethernet]\\nName=Wired\\nIPv4.method=%s\\nIPv4.DHCP.LastAddress=%s\\n"
                % LINKS[link][1:3], service)
        holder, error = common.hold_isolated(name, script + "echo ready\nexec sleep 600\n")
        if holder is None:
            common.skip("cannot put a tmpfs over /var/lib/connman: " + error)
        try:
            result = subprocess.run(common.enter(holder.pid) + [ostrel], stdin=subprocess.DEVNULL,
                                    capture_output=True, text=True, timeout=30)
        finally:
            holder.kill()
            holder.wait()
    parsed = common.parse_run(result, expect.failures)
    if parsed is None:
        return common.finish(expect.failures, "", "")
    shown = {r.get("AdapterName"): r for r in parsed[1]}
    for link, (_, _, _, dhcp) in LINKS.items():
        record = shown.get(link, {})
        expect(record.get("DhcpEnabled") == dhcp,
               "%s DhcpEnabled %r, expected %r" % (link, record.get("DhcpEnabled"), dhcp))
        # ConnMan keeps no server and no times: the server stays empty, the
        # end unknown (0).
        servers = [n.get("IpAddress") for n in record.get("lists", {}).get("DhcpServer", [])]
        expect(servers == [""], "%s DhcpServer %r" % (link, servers))
        expect(record.get("LeaseExpires", "").startswith("0x0 (0)"),
               "%s LeaseExpires %r" % (link, record.get("LeaseExpires")))
    return common.finish(expect.failures, result.stdout, "ConnMan's DHCP address shown as DHCP")


if __name__ == "__main__":
    sys.exit(main())
