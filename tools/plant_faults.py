#!/usr/bin/env python3
"""Plants one-line faults in the compiled sources, one at a time, and
reports which of them the tests catch.

Sampled (the default): every candidate one-line fault of six kinds is found
in the C++ files under driver/, report/ and platform/ that the native build
compiles; N of them are drawn with a fixed seed, a file being drawn in
proportion to its size, then a kind among the file's, then a fault of
that kind. Each is planted alone, its object file rebuilt and compared
with the unplanted one (debug sections aside): a fault that does not
compile (warnings are errors), or compiles to the same code, is skipped.
The others are built and put to the unit tests and the integration tests
that need no network namespaces, each test with a timeout. A fault is
caught when a test fails or times out; a survivor listed in EQUIVALENT
below is counted apart, with its reason.

    tools/plant_faults.py [--seed S ...] [-n N] [--candidates]
    tools/plant_faults.py --chosen [--windows] [--only NAME ...] [--list]

The kinds: relational (< <= > >= == != turned into a neighbour), off by
one (an integer literal plus or minus one), logical (&& and || swapped, a
! dropped), plus/minus (+ and -, += and -=, ++ and -- swapped), deleted
statement, flipped return (true and false swapped, any other value
negated).

--chosen   the hand-picked list instead: faults a reader would plant on
           purpose, several lines long or in the Windows layer, which the
           sampler never draws
--tree     the source tree to work on (default: this repository); point it
           at a copy to keep editing the checkout while the faults run
           (refresh a copy with new file times, tar -m, or its build may
           keep objects of older sources)
--build    build directory (default: TREE/build/faults)
--namespaces  also run the tests that build network namespaces (root)

Every planted file is restored after its fault, on Ctrl-C and on SIGTERM
too.
"""

import argparse
import json
import os
import random
import re
import shlex
import signal
import subprocess
import sys
import tempfile
import time



def F(name, file, find, replace, build="default"):
    """A hand-picked fault: replace the one exact occurrence of find in file.
    build names the build whose tests can notice it."""
    return dict(name=name, file=file, find=find, replace=replace, build=build)


FAULTS = [
    # The record writer.
    F("writer-gateway-nodes-not-measured",
      "platform/common/adapter_records.cpp",
      "nodes += ExtraNodes(adapter.gateways.size());",
      "nodes += 0;"),
    F("writer-overflow-at-exact-length",
      "platform/common/adapter_records.cpp",
      "if (buffer == nullptr || *length < needed) {",
      "if (buffer == nullptr || *length <= needed) {"),
    F("writer-needed-length-not-written-back",
      "platform/common/adapter_records.cpp",
      "*length = static_cast<ULONG>(needed);",
      "(void)needed;"),
    F("writer-last-record-links-past-the-chain",
      "platform/common/adapter_records.cpp",
      "record.Next = i + 1 < count ? &records[i + 1] : nullptr;",
      "record.Next = i < count ? &records[i + 1] : nullptr;"),
    F("writer-current-address-left-null",
      "platform/common/adapter_records.cpp",
      "record.CurrentIpAddress = &record.IpAddressList;",
      "record.CurrentIpAddress = nullptr;"),
    F("writer-context-left-zero",
      "platform/common/adapter_records.cpp",
      "memcpy(&context, bytes, sizeof(context));",
      "(void)bytes;"),
    F("writer-context-in-host-order",
      "platform/common/adapter_records.cpp",
      "memcpy(&context, bytes, sizeof(context));",
      "context = uint32_t(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];"),
    F("writer-server-mask-wrong",
      "platform/common/adapter_records.cpp",
      "memcpy(node.IpMask.String, kHostMask, sizeof(kHostMask));",
      "memcpy(node.IpMask.String, kNoAddress, sizeof(kNoAddress));"),
    F("writer-empty-address-list-without-zero-address",
      "platform/common/adapter_records.cpp",
      "memcpy(record.IpAddressList.IpAddress.String, kNoAddress, sizeof(kNoAddress));",
      ";"),
    F("writer-have-wins-dropped",
      "platform/common/adapter_records.cpp",
      "record.HaveWins = facts.wins.empty() ? 0 : 1;",
      "record.HaveWins = 0;"),
    F("writer-no-adapters-answered-as-success",
      "platform/common/adapter_records.cpp",
      "return ERROR_NO_DATA;",
      "return ERROR_SUCCESS;"),
    F("writer-hardware-address-not-clamped",
      "platform/common/adapter_records.cpp",
      "record.AddressLength = std::min<UINT>(facts.hardwareLength, MAX_ADAPTER_ADDRESS_LENGTH);",
      "record.AddressLength = facts.hardwareLength;"),
    F("writer-mask-shifted-the-wrong-way",
      "platform/common/adapter_records.cpp",
      ": ~(0xFFFFFFFFu >> prefixLength);",
      ": ~(0xFFFFFFFFu << prefixLength);"),
    F("writer-dotted-hundreds-off-by-one",
      "platform/common/adapter_records.cpp",
      "if (value >= 100) {",
      "if (value > 100) {"),
    F("writer-time-clamp-wraps-low",
      "platform/common/adapter_records.cpp",
      "return seconds < INT32_MIN ? INT32_MIN : static_cast<time32_t>(seconds);",
      "return static_cast<time32_t>(seconds);"),
    F("writer-32-bit-limit-unchecked",
      "platform/common/adapter_records.cpp",
      "if (needed > maxLength) {",
      "if (needed > maxLength && false) {"),
    F("writer-misaligned-buffer-accepted",
      "platform/common/adapter_records.cpp",
      "reinterpret_cast<uintptr_t>(buffer) % alignof(IP_ADAPTER_INFO) != 0) {",
      "false) {"),
    F("writer-secondary-wins-dropped",
      "platform/common/adapter_records.cpp",
      "FillServerNode(record.SecondaryWinsServer, facts.wins[1]);",
      ";"),

    # Linux: link description and type, sysfs, lease policy, the query.
    F("linux-wireless-type-lost",
      "platform/linux/link_description.cpp",
      "? kWirelessType",
      "? type.adapterType"),
    F('linux-ppp-type-wrong',
      'platform/linux/link_description.cpp',
      '{ARPHRD_PPP, 23, "ppp"},',
      '{ARPHRD_PPP, 1, "ppp"},'),
    F('linux-sysfs-parent-name-accepted',
      'platform/linux/sysfs.cpp',
      'strcmp(name, "..") == 0) {',
      'false) {'),
    F("linux-kernel-lease-start-sign",
      "platform/linux/gather_facts.cpp",
      "clock.realSeconds - ageHundredths / 100",
      "clock.realSeconds + ageHundredths / 100"),
    F("linux-secondary-before-primary",
      "platform/linux/gather_facts.cpp",
      "((address.flags & IFA_F_SECONDARY) == 0) == primary",
      "((address.flags & IFA_F_SECONDARY) == 0) != primary"),
    F("linux-gateways-by-falling-priority",
      "platform/linux/gather_facts.cpp",
      "return a->priority < b->priority;",
      "return a->priority > b->priority;"),
    F("linux-lease-of-a-stranger-taken",
      "platform/linux/lease_policy.cpp",
      "if (memcmp(assigned[i].address.bytes, address.bytes, sizeof address.bytes) == 0) {",
      "if (memcmp(assigned[i].address.bytes, address.bytes, 0) == 0) {"),
    F("linux-no-buffers-not-memory",
      "platform/linux/adapter_query.cpp",
      "        case ENOBUFS:\n",
      ""),
    F("linux-access-denied-lost",
      "platform/linux/adapter_query.cpp",
      "            return ERROR_ACCESS_DENIED;",
      "            return ERROR_GEN_FAILURE;"),
    F("linux-gateway-named-twice-kept",
      "platform/linux/gather_facts.cpp",
      "!seen.insert(uint64_t{gateway->index} << 32 | address).second) {",
      "(!seen.insert(uint64_t{gateway->index} << 32 | address).second && false)) {"),
    F("linux-tap-called-tun",
      "platform/linux/link_description.cpp",
      "link.tunType == IFF_TAP ? \"tap\" : link.kind;",
      "link.tunType != IFF_TAP ? \"tap\" : link.kind;"),
    F('linux-foreign-sys-entry-trusted',
      'platform/linux/sysfs.cpp',
      "(*end != '\\n' && *end != '\\0') || index != link.index) {",
      "(*end != '\\n' && *end != '\\0') || index == 0) {"),
    F("linux-hardware-length-lost",
      "platform/linux/gather_facts.cpp",
      "facts.hardwareLength = link.addressLength;",
      "facts.hardwareLength = 0;"),
    F("linux-snapshot-kept-after-the-round",
      "platform/linux/adapter_query.cpp",
      "if (result != ERROR_BUFFER_OVERFLOW) {",
      "if (false) {"),

    # Linux: the kernel reader.
    F("netlink-dump-interruption-ignored",
      "platform/linux/netlink/dump_loop.cpp",
      "        if (!interrupted) {\n            ResolveNexthops",
      "        if (true) {\n            ResolveNexthops"),
    F("netlink-truncated-datagram-accepted",
      "platform/linux/netlink/dump_loop.cpp",
      "if (error == 0 && datagram->truncated) {",
      "if (false) {"),
    F("netlink-foreign-sequence-accepted",
      "platform/linux/netlink/dump_reader.cpp",
      "bool ours = header.nlmsg_seq == reader.sequence && header.nlmsg_pid == reader.portId;",
      "bool ours = header.nlmsg_pid == reader.portId;"),
    F("netlink-route-table-filter-dropped",
      "platform/linux/netlink/dump_reader.cpp",
      "body[offsetof(rtmsg, rtm_table)] = RT_TABLE_MAIN;",
      ";"),
    F("netlink-other-tables-as-gateways",
      "platform/linux/netlink/messages.cpp",
      "    if (error != 0 || table != RT_TABLE_MAIN) {",
      "    if (error != 0) {"),
    F("netlink-forever-taken-as-finite",
      "platform/linux/netlink/messages.cpp",
      "address.finite = cache.ifa_valid != kForever;",
      "address.finite = true;"),

    # Linux: lease stores and system texts.
    F("leases-most-recently-obtained-ranks-last",
      "platform/linux/leases/read_leases.cpp",
      "return obtained(a) > obtained(b);",
      "return obtained(a) < obtained(b);"),
    F("leases-decimal-overflow-unchecked",
      "platform/linux/leases/text_fields.cpp",
      "if (digit > max || result > (max - digit) / 10) {",
      "if (digit > max) {"),
    F("lease-policy-ended-lease-taken",
      "platform/linux/lease_policy.cpp",
      "            if (lease.expires <= now) {",
      "            if (lease.expires < now - 1000000) {"),
    F("lease-policy-infinite-lease-timed-by-kernel",
      "platform/linux/lease_policy.cpp",
      "*expires = kLeaseNeverEnds;",
      "*expires = own->expires;"),
    F("lease-policy-address-set-by-hand-taken",
      "platform/linux/lease_policy.cpp",
      "own->updated > recorded + kClientSetsAddressWithin",
      "own->updated > recorded + 1000000"),
    F("linux-time-namespace-offset-sign",
      "platform/linux/gather_facts.cpp",
      "return (negative ? -whole : whole) +",
      "return (negative ? whole : whole) +"),
    F("nm-state-expiry-off-by-one",
      "platform/linux/leases/lease_key_value.cpp",
      "        facts.expires = *options.expiry;\n",
      "        facts.expires = *options.expiry - 1;\n"),
    F("nm-internal-file-over-runtime-state",
      "platform/linux/leases/read_leases.cpp",
      "if (named.kind == NamedKind::kNetworkManagerInternal && haveState) {",
      "if (haveState && false) {"),
    F("dhcpcd-dump-options-unprefixed",
      "platform/linux/leases/lease_key_value.cpp",
      "ReadNamedOptions(entries, '\\0', \"new_\")",
      "ReadNamedOptions(entries, '\\0', {})"),
    F("dhcpcd-socket-entry-count-unbounded",
      "platform/linux/leases/lease_dhcpcd_control.cpp",
      "count > kMaxDumpEntries",
      "count > SIZE_MAX / 2"),
    F("dhcpcd-lease-time-ignored",
      "platform/linux/leases/lease_dhcpcd.cpp",
      "facts.expires = mtime + seconds;",
      "facts.expires = mtime;"),
    F("dhclient-start-is-expiry",
      "platform/linux/leases/lease_dhclient.cpp",
      "obtained = *block.expire - *block.leaseTime;",
      "obtained = *block.expire;"),
    F('system-overflow-text-changed',
      'platform/linux/system_messages.cpp',
      '{ERROR_BUFFER_OVERFLOW, "The file name is too long."},',
      '{ERROR_BUFFER_OVERFLOW, "The data area passed to a system call is too small."},'),
    F('system-no-data-text-lost',
      'platform/linux/system_messages.cpp',
      '    {ERROR_NO_DATA, "The pipe is being closed."},\n',
      ''),

    # Windows: gathering facts from the system's adapter list.
    F("windows-ipv6-taken-as-ipv4",
      "platform/windows/gather_facts.cpp",
      "address.lpSockaddr->sa_family != AF_INET) {",
      "false) {", build="windows"),
    F("windows-dhcp-flag-ignored",
      "platform/windows/gather_facts.cpp",
      "facts.dhcpEnabled = (source->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;",
      "facts.dhcpEnabled = false;", build="windows"),
    F("windows-gateways-from-the-wins-list",
      "platform/windows/gather_facts.cpp",
      "facts.gateways = CollectServers(source->FirstGatewayAddress);",
      "facts.gateways = CollectServers(source->FirstWinsServerAddress);", build="windows"),
    F("windows-lease-for-a-static-adapter",
      "platform/windows/gather_facts.cpp",
      "if (facts.dhcpEnabled) {",
      "if (true) {", build="windows"),
    F("windows-infinite-lifetime-as-expiry",
      "platform/windows/gather_facts.cpp",
      "node->LeaseLifetime != 0xFFFFFFFFu) {",
      "true) {", build="windows"),
]


# Survivors that are no fault: the planted code behaves as the original
# for every input the program can meet. Keyed by file, the code line before
# the fault's, the original line and the planted one (all stripped).
EQUIVALENT = {
    ("platform/linux/gather_facts.cpp", "AddressesByAdapter grouped;",
     "grouped.start.assign(count + 1, 0);", "grouped.start.assign(count + 2, 0);"):
    "a spare slot past the last sum, which no bound reads",
    ("platform/linux/leases/lease_files.cpp",
     "static_cast<uint64_t>(info.st_size) > kLeaseFileLimit) {", "return ENOENT;", "return !(ENOENT);"):
    "the file then reads as empty, and no reader finds a lease in no bytes",
    ("platform/linux/netlink/messages.cpp", "}",
     "Attribute data[IFLA_TUN_MAX + 1];",
     "Attribute data[IFLA_TUN_MAX + 2];"):
    "a table one slot larger, indexed by its own size: the extra slot would hold a type no reader asks for",
    ("platform/linux/netlink/messages.cpp", "{", "Attribute info[IFLA_INFO_MAX + 1];", "Attribute info[IFLA_INFO_MAX + 2];"):
    "a table one slot larger, indexed by its own size: the extra slot would hold a type no reader asks for",
    ("platform/linux/netlink/messages.cpp", "gateway.priority = priority;", "Attribute attributes[RTA_MAX + 1];", "Attribute attributes[RTA_MAX + 2];"):
    "a table one slot larger, indexed by its own size: the extra slot would hold a type no reader asks for",
    ("platform/linux/netlink/messages.cpp", "link.type = info.ifi_type;", "Attribute attributes[IFLA_MAX + 1];", "Attribute attributes[IFLA_MAX + 2];"):
    "a table one slot larger, indexed by its own size: the extra slot would hold a type no reader asks for",
    ("platform/linux/netlink/messages.cpp", "address.flags = info.ifa_flags;", "Attribute attributes[IFA_MAX + 1];", "Attribute attributes[IFA_MAX + 2];"):
    "a table one slot larger, indexed by its own size: the extra slot would hold a type no reader asks for",
    ("platform/linux/netlink/messages.cpp", "}", "Attribute attributes[RTA_MAX + 1];", "Attribute attributes[RTA_MAX + 2];"):
    "a table one slot larger, indexed by its own size: the extra slot would hold a type no reader asks for",
    ("platform/linux/netlink/messages.cpp", "nhmsg info = ReadValue<nhmsg>(message + NLMSG_HDRLEN);", "Attribute attributes[NHA_MAX + 1];", "Attribute attributes[NHA_MAX + 2];"):
    "a table one slot larger, indexed by its own size: the extra slot would hold a type no reader asks for",
    ("platform/linux/version/resource_walk.cpp", "uint64_t offset = 0;", "uint64_t found = 0;", "uint64_t found = 1;"):
    "set before it is read: the walk either fails first or stores the size",
    ("platform/linux/leases/lease_dhcpcd_control.cpp", "if (opened < 0) {", "return errno;", "return !(errno);"):
    "the descriptor stays -1, so no request is sent and no lease told, as when every socket name fails",
    ("platform/linux/leases/read_leases.cpp", "LeaseCandidates leases;", "leases.reserve(candidates.size());", ""):
    "room reserved ahead only spares growing the vector",
    ("platform/linux/leases/lease_files.cpp",
     "budget.bytesLeft = 0;  // the rest of the stores stay unread", "return ENOENT;", "return !(ENOENT);"):
    "the file then reads as empty, the later ones stay unread either way, and no reader finds a lease in no bytes",
    ("platform/linux/netlink/dump_loop.cpp", "reader.kind = kind;",
     "reader.sequence = ++dumper.sequence;", "reader.sequence = --dumper.sequence;"):
    "sequences are only compared for equality; counting down from 0 repeats none sooner than counting up",
    ("platform/linux/version/version_info.cpp", "} catch (...) {", "SetLastError(ERROR_GEN_FAILURE);", ""):
    "no body throws anything but bad_alloc: every container it grows is bounded far below max_size",
    ("platform/linux/version/resource_walk.cpp", "*ordinal = 0;",
     "while (headerSize - *pos >= 2) {", "while (headerSize - *pos > 2) {"):
    "a name ending in the header's last two bytes leaves no room for the fixed tail after it: the entry fails either way",
}

ROOTS = ("driver/", "report/", "platform/")
KINDS = ("relational", "off-by-one", "logical", "plus-minus", "deleted", "return")


def code_masks(text):
    """For each line, the line with comments, string and character literals
    blanked out, so that faults are planted in code only."""
    masked, state = [], None
    for line in text.split("\n"):
        chars = list(line)
        i = 0
        if state != "block" and line.lstrip().startswith("#"):
            masked.append(" " * len(line))
            continue
        while i < len(chars):
            c = chars[i]
            if state == "block":
                if line.startswith("*/", i):
                    chars[i] = chars[i + 1] = " "
                    state = None
                    i += 2
                    continue
                chars[i] = " "
            elif state in ('"', "'"):
                if c == "\\":
                    chars[i] = " "
                    if i + 1 < len(chars):
                        chars[i + 1] = " "
                    i += 2
                    continue
                if c == state:
                    state = None
                else:
                    chars[i] = " "
            elif line.startswith("//", i):
                chars[i:] = " " * (len(chars) - i)
                break
            elif line.startswith("/*", i):
                chars[i] = chars[i + 1] = " "
                state = "block"
                i += 2
                continue
            elif c in "\"'" and not (c == "'" and i > 0 and chars[i - 1].isalnum()):
                state = c
            i += 1
        if state in ('"', "'"):
            state = None
        masked.append("".join(chars))
    return masked


RELATIONAL = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "=="}
DECLARATION = re.compile(r"^(return\b|((const|static|constexpr)\s+)*[\w:]+(<[^;]*>)?[\s*&]+\w+\s*(=|;|\(|\{|\[))")


def literal_variants(token):
    match = re.fullmatch(r"(0[xX][0-9a-fA-F]+|\d+)([uUlL]*)", token)
    if not match:
        return []
    digits, suffix = match.groups()
    value = int(digits, 0)
    out = []
    for other in (value + 1, value - 1):
        if other < 0:
            continue
        text = (f"0x{other:X}" if digits[:2].lower() == "0x" else str(other))
        out.append(text + suffix)
    return out


def candidates_in(file, text):
    """Every one-line fault of the six kinds in one file: (file, line
    number, kind, original line, planted line)."""
    lines, masks = text.split("\n"), code_masks(text)
    found = []

    def add(number, kind, start, end, replacement):
        line = lines[number]
        planted = line[:start] + replacement + line[end:]
        if planted != line:
            found.append((file, number + 1, kind, line, planted))

    previous = ""
    for number, code in enumerate(masks):
        if not code.strip():
            continue
        for m in re.finditer(r"(?<=\s)(<=|>=|==|!=|<|>)(?=\s)", code):
            add(number, "relational", m.start(), m.end(), RELATIONAL[m.group()])
        for m in re.finditer(r"(?<![\w.])(0[xX][0-9a-fA-F]+|\d+)[uUlL]*(?![\w.])", code):
            for variant in literal_variants(m.group()):
                add(number, "off-by-one", m.start(), m.end(), variant)
        for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", code):
            add(number, "logical", m.start(), m.end(), "||" if m.group() == "&&" else "&&")
        for m in re.finditer(r"!(?=[\w(*])", code):
            add(number, "logical", m.start(), m.end(), "")
        for m in re.finditer(r"(?<=\s)(\+|-|\+=|-=)(?=\s)", code):
            add(number, "plus-minus", m.start(), m.end(), {"+": "-", "-": "+", "+=": "-=",
                                                            "-=": "+="}[m.group()])
        for m in re.finditer(r"(?<=\w)(\+\+|--)|(\+\+|--)(?=\w)", code):
            add(number, "plus-minus", m.start(), m.end(), "--" if m.group() == "++" else "++")
        statement = code.strip()
        if (statement.endswith(";") and previous.endswith((";", "{", "}", ":"))
                and statement.count("(") == statement.count(")")
                and not statement.startswith(("}", "case ", "default", "for ", "using "))
                and not DECLARATION.match(statement)):
            indent = len(code) - len(code.lstrip())
            add(number, "deleted", indent, len(lines[number]), "")
        m = re.search(r"\breturn (.+);\s*$", code)
        if m:
            value = m.group(1).strip()
            if value in ("true", "false"):
                add(number, "return", m.start(1), m.end(1), "false" if value == "true" else "true")
            elif value != "nullptr" and not re.fullmatch(r"-?[\w.]*\d[\w.]*|\"", value):
                add(number, "return", m.start(1), m.end(1), f"!({lines[number][m.start(1):m.end(1)]})")
        previous = statement or previous
    return found


def compiled_sources(tree, build):
    """The tool's own C++ files the native build compiles, each with the
    command that compiles it and its object file."""
    with open(os.path.join(build, "compile_commands.json")) as entries:
        commands = json.load(entries)
    sources = {}
    for entry in commands:
        file = os.path.relpath(entry["file"], tree)
        if not file.startswith(ROOTS) or not file.endswith(".cpp") or file in sources:
            continue
        words = shlex.split(entry["command"])
        output = words[words.index("-o") + 1]
        sources[file] = os.path.join(entry["directory"], output)
    return sources


def sample(candidates, sizes, count, seed):
    """count distinct faults: a file drawn in proportion to its size, then
    one of the kinds the file offers, then a fault of that kind; so that
    the many literals do not crowd out the rarer kinds."""
    rng = random.Random(seed)
    files = sorted(f for f in candidates if candidates[f])
    weights = [sizes[f] for f in files]
    total = sum(len(candidates[f]) for f in files)
    chosen, seen = [], set()
    while len(chosen) < min(count, total):
        file = rng.choices(files, weights)[0]
        kinds = sorted({fault[2] for fault in candidates[file]}, key=KINDS.index)
        kind = rng.choice(kinds)
        fault = rng.choice([fault for fault in candidates[file] if fault[2] == kind])
        if fault not in seen:
            seen.add(fault)
            chosen.append(fault)
    return chosen


def strip_debug(path, into):
    subprocess.run(["objcopy", "--strip-debug", "-R", ".comment", path, into], check=True)
    with open(into, "rb") as stripped:
        return stripped.read()


class Planted:
    """One file with a fault in it, put back on every way out."""

    def __init__(self, path, text):
        self.path, self.text = path, text

    def __enter__(self):
        with open(self.path) as source:
            self.original = source.read()
        with open(self.path, "w") as source:
            source.write(self.text(self.original))
        return self

    def __exit__(self, *exc):
        with open(self.path, "w") as source:
            source.write(self.original)
        return False


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
    def __init__(self, tree, directory, preset, test_filter, test_timeout):
        self.tree, self.directory, self.preset = tree, directory, preset
        self.test_filter, self.test_timeout = test_filter, test_timeout
        self.configured = False

    def configure(self, log):
        if not self.configured:
            if run(["cmake", "--preset", self.preset, "-B", self.directory], self.tree, log) != 0:
                sys.exit("configure failed, see " + log)
            self.configured = True

    def compile(self, log, target=None):
        self.configure(log)
        command = ["cmake", "--build", self.directory, "-j2"]
        if target:
            command = ["ninja", "-C", self.directory, os.path.relpath(target, self.directory)]
        return run(command, self.tree, log) == 0

    def test(self, log):
        # A planted fault may make the tool loop forever: no test waits on
        # it for long, nor the run as a whole.
        command = ["ctest", "--test-dir", self.directory, "--stop-on-failure", "-j2",
                   "--timeout", str(self.test_timeout), "-E", self.test_filter]
        return run(command, self.tree, log, timeout=20 * self.test_timeout) == 0


def plant_chosen(args, tree, builds, log):
    faults = [f for f in FAULTS if args.windows or f["build"] == "default"]
    if args.only:
        faults = [f for f in faults if f["name"] in args.only]
    if args.list:
        for fault in faults:
            print(fault["name"], fault["file"])
        return 0
    for name in sorted({f["build"] for f in faults}):
        build = builds[name]
        if not build.compile(log) or not build.test(log):
            sys.exit(f"the unchanged tree does not pass its {name} tests, see {log}")

    results = []
    for fault in faults:
        # A snippet that no longer occurs once is reported, so that the
        # list can follow the code.
        path, find, replace = os.path.join(tree, fault["file"]), fault["find"], fault["replace"]
        if not os.path.exists(path) or open(path).read().count(find) != 1:
            results.append((fault, "stale"))
            print(f"{'stale':9} {fault['name']}", flush=True)
            continue
        build = builds[fault["build"]]
        started = time.time()
        with open(log, "a") as out:
            out.write(f"\n==== {fault['name']}\n")
        with Planted(path, lambda text: text.replace(find, replace)):
            if not build.compile(log):
                verdict = "no-build"
            else:
                verdict = "survived" if build.test(log) else "caught"
        results.append((fault, verdict))
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
    return 0


def equivalence_key(tree, fault):
    file, number, kind, line, planted = fault
    with open(os.path.join(tree, file)) as source:
        before = [text.strip() for text in source.read().split("\n")[:number - 1]]
    before = [text for text in before if text and not text.startswith("//")]
    return (file, before[-1] if before else "", line.strip(), planted.strip())


def describe(fault):
    file, number, kind, line, planted = fault
    return f"{file}:{number} {kind}: `{line.strip()}` -> `{planted.strip()}`"


def plant_sampled(args, tree, build, log):
    build.configure(log)
    if not build.compile(log):
        sys.exit("the unchanged tree does not build, see " + log)
    sources = compiled_sources(tree, build.directory)
    candidates, sizes = {}, {}
    for file in sources:
        with open(os.path.join(tree, file)) as source:
            text = source.read()
        sizes[file] = len(text.encode())
        candidates[file] = candidates_in(file, text)
    if args.candidates:
        for file in sorted(candidates):
            for fault in candidates[file]:
                print(describe(fault))
        print(f"{sum(map(len, candidates.values()))} candidates in {len(candidates)} files")
        return 0
    if not build.test(log):
        sys.exit("the unchanged tree does not pass its tests, see " + log)

    scratch = tempfile.mkdtemp(prefix="faults.", dir=build.directory)
    reference = {file: strip_debug(obj, os.path.join(scratch, "reference.o"))
                 for file, obj in sources.items()}
    scores = []
    for seed in args.seed:
        print(f"seed {seed}, {args.n} faults drawn from "
              f"{sum(map(len, candidates.values()))} candidates in {len(sources)} files",
              flush=True)
        results = []
        for fault in sample(candidates, sizes, args.n, seed):
            file, number, kind, line, planted = fault
            started = time.time()
            with open(log, "a") as out:
                out.write(f"\n==== seed {seed}: {describe(fault)}\n")

            def plant(text):
                lines = text.split("\n")
                assert lines[number - 1] == line
                lines[number - 1] = planted
                return "\n".join(lines)

            with Planted(os.path.join(tree, file), plant):
                if not build.compile(log, sources[file]):
                    verdict = "no-build"
                elif strip_debug(sources[file], os.path.join(scratch, "planted.o")) == \
                        reference[file]:
                    verdict = "same-code"
                elif not build.compile(log):
                    verdict = "no-build"
                else:
                    verdict = "survived" if build.test(log) else "caught"
            key = equivalence_key(tree, fault)
            if verdict == "survived" and key in EQUIVALENT:
                verdict = "equivalent"
            results.append((fault, verdict))
            print(f"  {verdict:10} {describe(fault)} ({time.time() - started:.0f} s)", flush=True)
        counts = {v: sum(1 for r in results if r[1] == v)
                  for v in ("caught", "survived", "equivalent", "same-code", "no-build")}
        planted = counts["caught"] + counts["survived"]
        share = 100.0 * counts["caught"] / planted if planted else 0.0
        scores.append((seed, counts, share))
        print(f"seed {seed}: caught {counts['caught']} of {planted} ({share:.0f} %); "
              f"{counts['equivalent']} equivalent, {counts['same-code']} same code, "
              f"{counts['no-build']} no build", flush=True)
        for fault, verdict in results:
            if verdict in ("survived", "equivalent"):
                reason = EQUIVALENT.get(equivalence_key(tree, fault), "")
                print(f"  {verdict}: {describe(fault)}" + (f" ({reason})" if reason else ""))
        print(flush=True)
    for seed, counts, share in scores:
        print(f"seed {seed}: {share:.0f} % caught")
    # Leave the build as the tree is.
    build.compile(log)
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    here = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    parser.add_argument("--tree", default=here)
    parser.add_argument("--build")
    parser.add_argument("--seed", type=int, action="append")
    parser.add_argument("-n", type=int, default=40)
    parser.add_argument("--candidates", action="store_true")
    parser.add_argument("--test-timeout", type=int, default=60)
    parser.add_argument("--namespaces", action="store_true")
    parser.add_argument("--chosen", action="store_true")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--only", nargs="*")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()
    args.seed = args.seed or [1]

    # SIGTERM unwinds like Ctrl-C, so the planted file goes back.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))

    tree = os.path.abspath(args.tree)
    base = os.path.abspath(args.build or os.path.join(tree, "build", "faults"))
    os.makedirs(base, exist_ok=True)
    log = os.path.join(base, "plant_faults.log")
    open(log, "w").close()
    # Namespace tests need root and take seconds each; the unit tests and
    # the runs of the real binary outside namespaces take well under a
    # minute together.
    native_filter = ("^(package|wine)\\." if args.namespaces else
                     "^(package|wine)\\.|^integration\\.(netns_|dhcp_clients)")
    native = Build(tree, os.path.join(base, "native"), "default", native_filter,
                   args.test_timeout)
    if args.chosen:
        windows = Build(tree, os.path.join(base, "windows"), "windows", "^wine\\.",
                        args.test_timeout * 5)
        return plant_chosen(args, tree, {"default": native, "windows": windows}, log)
    return plant_sampled(args, tree, native, log)


if __name__ == "__main__":
    sys.exit(main())
