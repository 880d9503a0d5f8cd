#!/usr/bin/env python3
"""Plants one-line faults in the platform layer, one at a time, and reports
which of them the tests catch.

For each fault: replace one exact snippet of one file, build the tests,
run them, restore the file. A fault is caught when the build's tests fail
(or time out); a snippet that no longer matches the tree is reported as
stale so the table can be brought up to date.

    tools/plant_faults.py [--tree DIR] [--build DIR] [--namespaces]
                          [--windows] [--only NAME ...] [--list]

--tree     the source tree to work on (default: this repository); point it
           at a copy to keep editing the checkout while the faults run
--build    build directory (default: TREE/build/faults)
--namespaces  also run the tests that build network namespaces (root)
--windows  also plant the faults of the Windows layer (cross build, Wine)
"""

import argparse
import os
import subprocess
import sys
import time



def F(name, *sites, build="default"):
    """A fault: a plausible slip of one line. Each site is (file, exact
    original, replacement); the first site that matches the tree once is
    planted, so one entry follows its code when the code moves. build names
    the build whose tests can notice it."""
    return dict(name=name, sites=sites, build=build)


FAULTS = [
    # The record writer, shared since; before, the Linux table held it.
    F("writer-gateway-nodes-not-measured",
      ("platform/common/adapter_records.cpp",
       'nodes += ExtraNodes(adapter.gateways.size());', 'nodes += 0;'),
      ("platform/linux/adapter_table.cpp",
       "nodes += facts.gatewayCount > 1 ? facts.gatewayCount - 1 : 0;", "nodes += 0;")),
    F("writer-overflow-at-exact-length",
      ("platform/common/adapter_records.cpp",
       'if (buffer == nullptr || *length < needed) {', 'if (buffer == nullptr || *length <= needed) {'),
      ("platform/linux/adapter_table.cpp",
       "if (buffer == nullptr || *length < needed) {",
       "if (buffer == nullptr || *length <= needed) {")),
    F("writer-needed-length-not-written-back",
      ("platform/common/adapter_records.cpp",
       '*length = static_cast<ULONG>(needed);', '(void)needed;'),
      ("platform/linux/adapter_table.cpp",
       "*length = static_cast<ULONG>(needed);", "(void)needed;")),
    F("writer-last-record-links-past-the-chain",
      ("platform/common/adapter_records.cpp",
       'record.Next = i + 1 < count ? &records[i + 1] : nullptr;', 'record.Next = i < count ? &records[i + 1] : nullptr;'),
      ("platform/linux/adapter_table.cpp",
       "record.Next = i + 1 < count ? &buffer[i + 1] : nullptr;",
       "record.Next = i < count ? &buffer[i + 1] : nullptr;")),
    F("writer-current-address-left-null",
      ("platform/common/adapter_records.cpp",
       'record.CurrentIpAddress = &record.IpAddressList;', 'record.CurrentIpAddress = nullptr;'),
      ("platform/linux/adapter_table.cpp",
       "record.CurrentIpAddress = &record.IpAddressList;", "record.CurrentIpAddress = nullptr;")),
    F("writer-context-left-zero",
      ("platform/common/adapter_records.cpp",
       'memcpy(&context, bytes, sizeof(context));', '(void)bytes;'),
      ("platform/linux/adapter_table.cpp",
       "memcpy(&node.Context, address.address, sizeof(node.Context));", "node.Context = 0;")),
    F("writer-context-in-host-order",
      ("platform/common/adapter_records.cpp",
       'memcpy(&context, bytes, sizeof(context));', 'context = uint32_t(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];'),
      ("platform/linux/adapter_table.cpp",
       "memcpy(&node.Context, address.address, sizeof(node.Context));",
       "node.Context = uint32_t(address.address[0]) << 24 | address.address[1] << 16 | "
       "address.address[2] << 8 | address.address[3];")),
    F("writer-server-mask-wrong",
      ("platform/common/adapter_records.cpp",
       'memcpy(node.IpMask.String, kHostMask, sizeof(kHostMask));', 'memcpy(node.IpMask.String, kNoAddress, sizeof(kNoAddress));'),
      ("platform/linux/adapter_table.cpp",
       'strcpy(node.IpMask.String, "255.255.255.255");', 'strcpy(node.IpMask.String, "0.0.0.0");')),
    F("writer-empty-address-list-without-zero-address",
      ("platform/common/adapter_records.cpp",
       'memcpy(record.IpAddressList.IpAddress.String, kNoAddress, sizeof(kNoAddress));', ';'),
      ("platform/linux/adapter_table.cpp",
       'strcpy(record.IpAddressList.IpAddress.String, "0.0.0.0");', ";")),
    F("writer-have-wins-dropped",
      ("platform/common/adapter_records.cpp",
       'record.HaveWins = facts.wins.empty() ? 0 : 1;', 'record.HaveWins = 0;'),
      ("platform/linux/adapter_table.cpp",
       "record.HaveWins = facts.haveWins;", "record.HaveWins = 0;")),
    F("writer-no-adapters-answered-as-success",
      ("platform/common/adapter_records.cpp",
       'return ERROR_NO_DATA;', 'return ERROR_SUCCESS;'),
      ("platform/linux/adapter_table.cpp", "return ERROR_NO_DATA;", "return ERROR_SUCCESS;")),
    F("writer-hardware-address-not-clamped",
      ("platform/common/adapter_records.cpp",
       'record.AddressLength = std::min<UINT>(facts.hardwareLength, MAX_ADAPTER_ADDRESS_LENGTH);', 'record.AddressLength = facts.hardwareLength;'),
      ("platform/linux/adapter_table.cpp",
       "record.AddressLength = std::min<UINT>(link.addressLength, MAX_ADAPTER_ADDRESS_LENGTH);",
       "record.AddressLength = link.addressLength;")),
    F("writer-mask-shifted-the-wrong-way",
      ("platform/common/adapter_records.cpp",
       ': ~(0xFFFFFFFFu >> prefixLength);', ': ~(0xFFFFFFFFu << prefixLength);'),
      ("platform/linux/adapter_table.cpp",
       ": ~(0xFFFFFFFFu >> prefixLength);", ": ~(0xFFFFFFFFu << prefixLength);")),
    F("writer-dotted-hundreds-off-by-one",
      ("platform/common/adapter_records.cpp",
       'if (value >= 100) {', 'if (value > 100) {'),
      ("platform/linux/adapter_table.cpp", "if (value >= 100) {", "if (value > 100) {")),
    F("writer-time-clamp-wraps-low",
      ("platform/common/adapter_records.cpp",
       'return seconds < INT32_MIN ? INT32_MIN : static_cast<time32_t>(seconds);', 'return static_cast<time32_t>(seconds);'),
      ("platform/linux/adapter_table.cpp",
       "std::min<int64_t>(std::max<int64_t>(seconds, INT32_MIN), INT32_MAX));",
       "std::min<int64_t>(seconds, INT32_MAX));")),
    F("writer-32-bit-limit-unchecked",
      ("platform/common/adapter_records.cpp",
       'if (needed > maxLength) {', 'if (needed > maxLength && false) {'),
      ("platform/linux/adapter_table.cpp", "if (needed > UINT32_MAX) {", "if (false) {")),
    F("writer-misaligned-buffer-accepted",
      ("platform/common/adapter_records.cpp",
       "reinterpret_cast<uintptr_t>(buffer) % alignof(IP_ADAPTER_INFO) != 0) {", "false) {")),
    F("writer-secondary-wins-dropped",
      ("platform/common/adapter_records.cpp",
       'FillServerNode(record.SecondaryWinsServer, facts.wins[1]);', ';'),
      ("platform/linux/adapter_table.cpp",
       "FillServerNode(record.SecondaryWinsServer, named.wins[1]);", ";")),

    # Linux: link description and type, sysfs, lease policy, the query.
    F("linux-wireless-type-lost",
      ("platform/linux/link_description.cpp",
       '? kWirelessType', '? type.adapterType'),
      ("platform/linux/adapter_table.cpp", "return wireless ? 71 : 6;", "return wireless ? 6 : 6;")),
    F("linux-ppp-type-wrong",
      ("platform/linux/link_description.cpp",
       '{ARPHRD_PPP, 23, "ppp"},', '{ARPHRD_PPP, 1, "ppp"},'),
      ("platform/linux/adapter_table.cpp", "return 23;", "return 1;")),
    F("linux-sysfs-parent-name-accepted",
      ("platform/linux/sysfs.cpp",
       'strcmp(name, "..") == 0) {', 'false) {'),
      ("platform/linux/adapter_table.cpp", 'strcmp(name, "..") == 0) {', "false) {")),
    F("linux-kernel-lease-start-sign",
      ("platform/linux/gather_facts.cpp",
       'clock.realSeconds - ageHundredths / 100', 'clock.realSeconds + ageHundredths / 100'),
      ("platform/linux/lease_policy.cpp",
       'clock.realSeconds - ageHundredths / 100', 'clock.realSeconds + ageHundredths / 100'),
      ("platform/linux/adapter_table.cpp",
       "clock.realSeconds - ageHundredths / 100", "clock.realSeconds + ageHundredths / 100")),
    F("linux-secondary-before-primary",
      ("platform/linux/gather_facts.cpp",
       '((address.flags & IFA_F_SECONDARY) == 0) == primary', '((address.flags & IFA_F_SECONDARY) == 0) != primary'),
      ("platform/linux/gather_facts.cpp",
       '((address.flags & IFA_F_SECONDARY) == 0) != primary', '((address.flags & IFA_F_SECONDARY) == 0) == primary'),
      ("platform/linux/adapter_table.cpp",
       "keepFirst(items[item]) == (pass == 0)", "keepFirst(items[item]) != (pass == 0)")),
    F("linux-gateways-by-falling-priority",
      ("platform/linux/gather_facts.cpp",
       'return a->priority < b->priority;', 'return a->priority > b->priority;'),
      ("platform/linux/adapter_table.cpp",
       "return snapshot.gateways[a].priority < snapshot.gateways[b].priority;",
       "return snapshot.gateways[a].priority > snapshot.gateways[b].priority;")),
    F("linux-lease-of-a-stranger-taken",
      ("platform/linux/lease_policy.cpp",
       'if (memcmp(assigned[i].address.bytes, address.bytes, sizeof address.bytes) == 0) {',
       'if (memcmp(assigned[i].address.bytes, address.bytes, 0) == 0) {'),
      ("platform/linux/lease_policy.cpp",
       'if (memcmp(address->address, &leased, sizeof(address->address)) == 0) {', 'if (memcmp(address->address, &leased, 0) == 0) {'),
      ("platform/linux/lease_policy.cpp",
       'if (memcmp(own->address, &leased, sizeof(own->address)) == 0) {', 'if (true) {'),
      ("platform/linux/adapter_table.cpp",
       "if (memcmp(address.address, &leased, sizeof(address.address)) == 0) {", "if (true) {")),
    F("linux-no-buffers-not-memory",
      ("platform/linux/adapter_query.cpp",
       '        case ENOBUFS:\n', ''),
      ("platform/linux/adapter_table.cpp", "        case ENOBUFS:\n", "")),
    F("linux-access-denied-lost",
      ("platform/linux/adapter_query.cpp",
       '            return ERROR_ACCESS_DENIED;', '            return ERROR_GEN_FAILURE;'),
      ("platform/linux/adapter_table.cpp",
       "            return ERROR_ACCESS_DENIED;", "            return ERROR_GEN_FAILURE;")),
    F("linux-gateway-named-twice-kept",
      ("platform/linux/gather_facts.cpp",
       "!seen.insert(uint64_t{gateway->index} << 32 | address).second) {",
       "(!seen.insert(uint64_t{gateway->index} << 32 | address).second && false)) {")),
    F("linux-alias-ignored",
      ("platform/linux/link_description.cpp", "if (alias[0] != '\\0') {", "if (false) {")),
    F("linux-foreign-sys-entry-trusted",
      ("platform/linux/sysfs.cpp", "(*end != '\\n' && *end != '\\0') || index != link.index) {",
       "(*end != '\\n' && *end != '\\0') || index == 0) {")),
    F("linux-hardware-length-lost",
      ("platform/linux/gather_facts.cpp",
       "facts.hardwareLength = link.addressLength;", "facts.hardwareLength = 0;")),
    F("linux-stale-snapshot-after-change",
      ("platform/linux/adapter_query.cpp",
       '} else if (SnapshotMayBeStale(roundState->channels.watch.get())) {', '} else if (false && SnapshotMayBeStale(roundState->channels.watch.get())) {'),
      ("platform/linux/adapter_query.cpp",
       "} else if (roundState->watch.DrainNotifications()) {",
       "} else if (false && roundState->watch.DrainNotifications()) {")),
    F("linux-snapshot-kept-after-the-round",
      ("platform/linux/adapter_query.cpp", "if (result != ERROR_BUFFER_OVERFLOW) {", "if (false) {")),

    # Linux: the kernel reader.
    F("netlink-dump-interruption-ignored",
      ("platform/linux/netlink/dump_loop.cpp",
       '        if (!interrupted) {\n            ResolveNexthops(snapshot);',
       '        if (true) {\n            ResolveNexthops(snapshot);'),
      ("platform/linux/netlink/netlink.cpp",
       "        if (!interrupted) {\n            return 0;", "        if (true) {\n            return 0;")),
    F("netlink-truncated-datagram-accepted",
      ("platform/linux/netlink/dump_loop.cpp",
       'if (error == 0 && datagram->truncated) {', 'if (false) {'),
      ("platform/linux/netlink/netlink.cpp", "if (header.msg_flags & MSG_TRUNC) {", "if (false) {")),
    F("netlink-foreign-sequence-accepted",
      ("platform/linux/netlink/dump_reader.cpp",
       "bool ours = header.nlmsg_seq == reader.sequence && header.nlmsg_pid == reader.portId;",
       "bool ours = header.nlmsg_pid == reader.portId;")),
    F("netlink-route-table-filter-dropped",
      ("platform/linux/netlink/dump_reader.cpp", "body[offsetof(rtmsg, rtm_table)] = RT_TABLE_MAIN;", ";")),
    F("netlink-other-tables-as-gateways",
      ("platform/linux/netlink/messages.cpp",
       "    if (table != RT_TABLE_MAIN) {\n        return true;",
       "    if (false) {\n        return true;")),
    F("netlink-forever-taken-as-finite",
      ("platform/linux/netlink/messages.cpp",
       "address.finite = cache.ifa_valid != kForever;", "address.finite = true;")),

    # Linux: lease stores and system texts.
    F("leases-most-recently-obtained-ranks-last",
      ("platform/linux/leases/read_leases.cpp",
       'return obtained(a) > obtained(b);', 'return obtained(a) < obtained(b);'),
      ("platform/linux/leases/leases.cpp",
       "return a.mtime != b.mtime ? a.mtime > b.mtime : a.file > b.file;",
       "return a.mtime != b.mtime ? a.mtime < b.mtime : a.file > b.file;")),
    F("leases-decimal-overflow-unchecked",
      ("platform/linux/leases/text_fields.cpp",
       'if (digit > max || result > (max - digit) / 10) {', 'if (digit > max) {'),
      ("platform/linux/leases/leases.cpp",
       "if (digit > max || result > (max - digit) / 10) {", "if (digit > max) {")),
    F("lease-policy-ended-lease-taken",
      ("platform/linux/lease_policy.cpp",
       "            if (lease.expires <= now) {", "            if (lease.expires < now - 1000000) {")),
    F("lease-policy-infinite-lease-timed-by-kernel",
      ("platform/linux/lease_policy.cpp", "*expires = kLeaseNeverEnds;", "*expires = own->expires;"),
      ("platform/linux/lease_policy.cpp", "*expires = kLeaseNeverEnds;", "*expires = assigned.expires;")),
    F("lease-policy-address-set-by-hand-taken",
      ("platform/linux/lease_policy.cpp",
       "own->updated > recorded + kClientSetsAddressWithin", "own->updated > recorded + 1000000")),
    F("linux-time-namespace-offset-sign",
      ("platform/linux/gather_facts.cpp",
       "return (negative ? -whole : whole) +", "return (negative ? whole : whole) +")),
    F("nm-state-expiry-off-by-one",
      ("platform/linux/leases/lease_key_value.cpp",
       "        facts.expires = *options.expiry;\n", "        facts.expires = *options.expiry - 1;\n")),
    F("nm-internal-file-over-runtime-state",
      ("platform/linux/leases/read_leases.cpp",
       "if (named.kind == NamedKind::kNetworkManagerInternal && haveState) {",
       "if (haveState && false) {")),
    F("dhcpcd-dump-options-unprefixed",
      ("platform/linux/leases/lease_key_value.cpp",
       "ReadNamedOptions(entries, '\\0', \"new_\")", "ReadNamedOptions(entries, '\\0', {})")),
    F("dhcpcd-socket-entry-count-unbounded",
      ("platform/linux/leases/lease_dhcpcd_control.cpp",
       "count > kMaxDumpEntries", "count > SIZE_MAX / 2")),
    F("dhcpcd-lease-time-ignored",
      ("platform/linux/leases/lease_dhcpcd.cpp",
       "facts.expires = mtime + seconds;", "facts.expires = mtime;")),
    F("dhclient-start-is-expiry",
      ("platform/linux/leases/lease_dhclient.cpp",
       "obtained = *block.expire - *block.leaseTime;", "obtained = *block.expire;")),
    F("system-overflow-text-changed",
      ("platform/linux/system.cpp",
       '{ERROR_BUFFER_OVERFLOW, "The file name is too long."},',
       '{ERROR_BUFFER_OVERFLOW, "The data area passed to a system call is too small."},')),
    F("system-no-data-text-lost",
      ("platform/linux/system.cpp", '    {ERROR_NO_DATA, "The pipe is being closed."},\n', "")),

    # Windows: gathering facts from the system's adapter list (before, the
    # Windows layer laid out its own records).
    F("windows-ipv6-taken-as-ipv4",
      ("platform/windows/gather_facts.cpp",
       'address.lpSockaddr->sa_family != AF_INET) {', 'false) {'),
      ("platform/windows/adapter_records.cpp",
       "address.lpSockaddr->sa_family != AF_INET) {", "false) {"), build="windows"),
    F("windows-dhcp-flag-ignored",
      ("platform/windows/gather_facts.cpp",
       'facts.dhcpEnabled = (source->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;', 'facts.dhcpEnabled = false;'),
      ("platform/windows/adapter_records.cpp",
       "record->DhcpEnabled = (source->Flags & IP_ADAPTER_DHCP_ENABLED) != 0 ? 1 : 0;",
       "record->DhcpEnabled = 0;"), build="windows"),
    F("windows-gateways-from-the-wins-list",
      ("platform/windows/gather_facts.cpp",
       "facts.gateways = CollectServers(source->FirstGatewayAddress);",
       "facts.gateways = CollectServers(source->FirstWinsServerAddress);"), build="windows"),
    F("windows-lease-for-a-static-adapter",
      ("platform/windows/gather_facts.cpp", "if (facts.dhcpEnabled) {", "if (true) {"),
      build="windows"),
    F("windows-infinite-lifetime-as-expiry",
      ("platform/windows/gather_facts.cpp",
       'node->LeaseLifetime != 0xFFFFFFFFu) {', 'true) {'),
      ("platform/windows/adapter_records.cpp",
       "if (address.leaseLifetime != 0 && address.leaseLifetime != 0xFFFFFFFFu) {",
       "if (address.leaseLifetime != 0) {"), build="windows"),
]


def run(command, cwd, log, timeout=None):
    with open(log, "ab") as out:
        out.write(("\n$ " + " ".join(command) + "\n").encode())
        out.flush()
        try:
            return subprocess.run(command, cwd=cwd, stdout=out, stderr=subprocess.STDOUT,
                                  timeout=timeout).returncode
        except subprocess.TimeoutExpired:
            out.write(b"\n(timed out)\n")
            return None


class Build:
    def __init__(self, tree, directory, preset, test_filter):
        self.tree, self.directory, self.preset = tree, directory, preset
        self.test_filter = test_filter
        self.configured = False

    def configure(self, log):
        if not self.configured:
            if run(["cmake", "--preset", self.preset, "-B", self.directory], self.tree, log) != 0:
                sys.exit("configure failed, see " + log)
            self.configured = True

    def compile(self, log):
        self.configure(log)
        return run(["cmake", "--build", self.directory, "-j2"], self.tree, log) == 0

    def test(self, log):
        # A planted fault may make the tool loop forever; no test may wait
        # on it for long.
        command = ["ctest", "--test-dir", self.directory, "--stop-on-failure", "-j2",
                   "--timeout", "300"]
        if self.test_filter:
            command += ["-E", self.test_filter]
        code = run(command, self.tree, log, timeout=1800)
        return code == 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--tree", default=here)
    parser.add_argument("--build")
    parser.add_argument("--namespaces", action="store_true")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--only", nargs="*")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()

    faults = [f for f in FAULTS if args.windows or f["build"] == "default"]
    if args.only:
        faults = [f for f in faults if f["name"] in args.only]
    if args.list:
        for fault in faults:
            print(fault["name"], " ".join(site[0] for site in fault["sites"]))
        return 0

    tree = os.path.abspath(args.tree)
    base = os.path.abspath(args.build or os.path.join(tree, "build", "faults"))
    os.makedirs(base, exist_ok=True)
    log = os.path.join(base, "plant_faults.log")
    open(log, "w").close()
    # Namespace tests need root and take seconds each; the unit tests run
    # in well under a second.
    native_filter = "^package\\." if args.namespaces else "^(integration|package)\\."
    builds = {
        "default": Build(tree, os.path.join(base, "native"), "default", native_filter),
        "windows": Build(tree, os.path.join(base, "windows"), "windows", "^wine\\."),
    }

    for name in sorted({f["build"] for f in faults}):
        build = builds[name]
        if not build.compile(log) or not build.test(log):
            sys.exit(f"the unchanged tree does not pass its {name} tests, see {log}")

    results = []
    for fault in faults:
        site = None
        for file, find, replace in fault["sites"]:
            path = os.path.join(tree, file)
            original = open(path).read() if os.path.exists(path) else ""
            if original.count(find) == 1:
                site = (path, original, find, replace)
                break
        if site is None:
            results.append((fault, "stale", 0.0))
            print(f"{'stale':9} {fault['name']}", flush=True)
            continue
        build = builds[fault["build"]]
        started = time.time()
        try:
            with open(path, "w") as out:
                out.write(original.replace(find, replace))
            with open(log, "a") as out:
                out.write(f"\n==== {fault['name']}\n")
            if not build.compile(log):
                verdict = "no-build"
            else:
                verdict = "survived" if build.test(log) else "caught"
        finally:
            with open(path, "w") as out:
                out.write(original)
        results.append((fault, verdict, time.time() - started))
        print(f"{verdict:9} {fault['name']} ({time.time() - started:.0f} s)", flush=True)

    planted = [r for r in results if r[1] in ("caught", "survived")]
    caught = [r for r in planted if r[1] == "caught"]
    print()
    print(f"caught {len(caught)} of {len(planted)} planted faults"
          + (f" ({100.0 * len(caught) / len(planted):.0f} %)" if planted else ""))
    for verdict in ("survived", "stale", "no-build"):
        names = [r[0]["name"] for r in results if r[1] == verdict]
        if names:
            print(f"{verdict}: " + ", ".join(names))
    # Leave the tree's build as it was.
    for name in sorted({f["build"] for f in faults}):
        builds[name].compile(log)
    return 0


if __name__ == "__main__":
    sys.exit(main())
