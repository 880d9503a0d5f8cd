#!/usr/bin/env python3
"""Plants one-line faults in the tool's sources, one at a time, and
reports which of them the tests catch.

Sampled (the default): every candidate one-line fault of six kinds is found
in the .cpp and .h files of driver/, report/, platform/, platform/common/
and the platform layer of the system it runs on; N of them are drawn from
a seed, a file in proportion to its size, then a kind among the file's,
then a fault of that kind. Each is planted alone and the tool's objects
rebuilt: one that does not compile (warnings are errors) counts apart as
"no build", one that leaves every object as it was (debug sections aside)
as "same code". The others are built and put to the unit tests and the
integration tests that need no network namespace, root or Wine, each with
a timeout; a fault is caught when a test fails or times out.

A seed is a score only the first time anyone looks at it: every run goes
into bench/fault_seeds.txt, and the default seed is today's first
(YYYYMMDD00, 01, ...) not in it. A seed it holds is refused, or with
--again rerun as "after rows", never as its score. --check marks a run
as a check of this tool. Survivors are judged per site in
bench/fault_reasons.txt; only "equivalent:" ones are counted apart, and an
entry whose line no longer reads as recorded is reported stale, not used.

    tools/plant_faults.py [--seed S [--again]] [-n N] [--check] [--candidates]
    tools/plant_faults.py --chosen [--windows] [--only NAME ...] [--list]

The kinds: relational (< <= > >= == != turned into a neighbour), off by
one (an integer literal plus or minus one), logical (&& and || swapped, a
! dropped), plus/minus (+ and -, += and -=, ++ and -- swapped), deleted
statement, flipped return (true and false swapped, any other value
negated).

--chosen   the hand-picked list instead: faults a reader would plant on
           purpose, several lines long or in the Windows layer; written
           with the tests they test, so it measures nothing
--tree     the source tree to work on (default: this repository); point it
           at a copy to keep editing the checkout while the faults run
           (refresh a copy with new file times, tar -m); the ledger and
           the reasons stay in this repository
--build    build directory (default: TREE/build/faults)
--namespaces  also run the tests that build network namespaces (root)
--sanitizers  put a survivor to the same tests built with ASan and UBSan
           too, as CI does; the score says how many only they caught

Every planted file is restored after its fault, on Ctrl-C and SIGTERM too.
"""

import argparse
import json
import os
import random
import re
import shlex
import shutil
import signal
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
LEDGER = os.path.join(HERE, "bench", "fault_seeds.txt")
REASONS = os.path.join(HERE, "bench", "fault_reasons.txt")


def F(name, file, find, replace, build="default"):
    """A hand-picked fault: replace the one exact occurrence of find in file.
    build names the build whose tests can notice it."""
    return dict(name=name, file=file, find=find, replace=replace, build=build)


FAULTS = [
    # The record writer.
    F("writer-gateway-nodes-not-measured", "platform/common/adapter_records.cpp",
      "nodes += ExtraNodes(adapter.gateways.size());",
      "nodes += 0;"),
    F("writer-overflow-at-exact-length", "platform/common/adapter_records.cpp",
      "if (buffer == nullptr || *length < needed) {",
      "if (buffer == nullptr || *length <= needed) {"),
    F("writer-needed-length-not-written-back", "platform/common/adapter_records.cpp",
      "*length = static_cast<ULONG>(needed);",
      "(void)needed;"),
    F("writer-last-record-links-past-the-chain", "platform/common/adapter_records.cpp",
      "record.Next = i + 1 < count ? &records[i + 1] : nullptr;",
      "record.Next = i < count ? &records[i + 1] : nullptr;"),
    F("writer-current-address-left-null", "platform/common/adapter_records.cpp",
      "record.CurrentIpAddress = &record.IpAddressList;",
      "record.CurrentIpAddress = nullptr;"),
    F("writer-context-left-zero", "platform/common/adapter_records.cpp",
      "memcpy(&context, bytes, sizeof(context));",
      "(void)bytes;"),
    F("writer-context-in-host-order", "platform/common/adapter_records.cpp",
      "memcpy(&context, bytes, sizeof(context));",
      "context = uint32_t(bytes[0]) << 24 | bytes[1] << 16 | bytes[2] << 8 | bytes[3];"),
    F("writer-server-mask-wrong", "platform/common/adapter_records.cpp",
      "memcpy(node.IpMask.String, kHostMask, sizeof(kHostMask));",
      "memcpy(node.IpMask.String, kNoAddress, sizeof(kNoAddress));"),
    F("writer-empty-address-list-without-zero-address", "platform/common/adapter_records.cpp",
      "memcpy(record.IpAddressList.IpAddress.String, kNoAddress, sizeof(kNoAddress));",
      ";"),
    F("writer-have-wins-dropped", "platform/common/adapter_records.cpp",
      "record.HaveWins = facts.wins.empty() ? 0 : 1;",
      "record.HaveWins = 0;"),
    F("writer-no-adapters-answered-as-success", "platform/common/adapter_records.cpp",
      "return ERROR_NO_DATA;",
      "return ERROR_SUCCESS;"),
    F("writer-hardware-address-not-clamped", "platform/common/adapter_records.cpp",
      "record.AddressLength = std::min<UINT>(facts.hardwareLength, MAX_ADAPTER_ADDRESS_LENGTH);",
      "record.AddressLength = facts.hardwareLength;"),
    F("writer-mask-shifted-the-wrong-way", "platform/common/adapter_records.cpp",
      ": ~(0xFFFFFFFFu >> prefixLength);",
      ": ~(0xFFFFFFFFu << prefixLength);"),
    F("writer-dotted-hundreds-off-by-one", "platform/common/adapter_records.cpp",
      "if (value >= 100) {",
      "if (value > 100) {"),
    F("writer-time-clamp-wraps-low", "platform/common/adapter_records.cpp",
      "return seconds < INT32_MIN ? INT32_MIN : static_cast<time32_t>(seconds);",
      "return static_cast<time32_t>(seconds);"),
    F("writer-32-bit-limit-unchecked", "platform/common/adapter_records.cpp",
      "if (needed > maxLength) {",
      "if (needed > maxLength && false) {"),
    F("writer-misaligned-buffer-accepted", "platform/common/adapter_records.cpp",
      "reinterpret_cast<uintptr_t>(buffer) % alignof(IP_ADAPTER_INFO) != 0) {",
      "false) {"),
    F("writer-secondary-wins-dropped", "platform/common/adapter_records.cpp",
      "FillServerNode(record.SecondaryWinsServer, facts.wins[1]);",
      ";"),

    # Linux: link description and type, sysfs, lease policy, the query.
    F("linux-wireless-type-lost", "platform/linux/link_description.cpp",
      "? kWirelessType",
      "? type.adapterType"),
    F('linux-ppp-type-wrong', 'platform/linux/link_description.cpp',
      '{ARPHRD_PPP, 23, "ppp"},',
      '{ARPHRD_PPP, 1, "ppp"},'),
    F('linux-sysfs-parent-name-accepted', 'platform/linux/sysfs.cpp',
      'strcmp(name, "..") == 0) {',
      'false) {'),
    F("linux-kernel-lease-start-sign", "platform/linux/gather_facts.cpp",
      "clock.realSeconds - ageHundredths / 100",
      "clock.realSeconds + ageHundredths / 100"),
    F("linux-secondary-before-primary", "platform/linux/gather_facts.cpp",
      "((address.flags & IFA_F_SECONDARY) == 0) == primary",
      "((address.flags & IFA_F_SECONDARY) == 0) != primary"),
    F("linux-gateways-by-falling-priority", "platform/linux/gather_facts.cpp",
      "return a->priority < b->priority;",
      "return a->priority > b->priority;"),
    F("linux-lease-of-a-stranger-taken", "platform/linux/leases/lease_policy.cpp",
      "if (memcmp(assigned[i].address.bytes, address.bytes, sizeof address.bytes) == 0) {",
      "if (memcmp(assigned[i].address.bytes, address.bytes, 0) == 0) {"),
    F("linux-no-buffers-not-memory", "platform/linux/adapter_query.cpp",
      "        case ENOBUFS:\n",
      ""),
    F("linux-access-denied-lost", "platform/linux/adapter_query.cpp",
      "            return ERROR_ACCESS_DENIED;",
      "            return ERROR_GEN_FAILURE;"),
    F("linux-gateway-named-twice-kept", "platform/linux/gather_facts.cpp",
      "!seen.insert(uint64_t{gateway->index} << 32 | address).second) {",
      "(!seen.insert(uint64_t{gateway->index} << 32 | address).second && false)) {"),
    F("linux-tap-called-tun", "platform/linux/link_description.cpp",
      "link.tunType == IFF_TAP ? \"tap\" : link.kind;",
      "link.tunType != IFF_TAP ? \"tap\" : link.kind;"),
    F('linux-foreign-sys-entry-trusted', 'platform/linux/sysfs.cpp',
      "(*end != '\\n' && *end != '\\0') || index != link.index) {",
      "(*end != '\\n' && *end != '\\0') || index == 0) {"),
    F("linux-hardware-length-lost", "platform/linux/gather_facts.cpp",
      "facts.hardwareLength = link.addressLength;",
      "facts.hardwareLength = 0;"),
    F("linux-snapshot-kept-after-the-round", "platform/linux/adapter_query.cpp",
      "if (result != ERROR_BUFFER_OVERFLOW) {",
      "if (false) {"),

    # Linux: the kernel reader.
    F("netlink-dump-interruption-ignored", "platform/linux/netlink/dump_loop.cpp",
      "        if (!interrupted) {\n            ResolveNexthops",
      "        if (true) {\n            ResolveNexthops"),
    F("netlink-truncated-datagram-accepted", "platform/linux/netlink/dump_loop.cpp",
      "if (error == 0 && datagram->truncated) {",
      "if (false) {"),
    F("netlink-foreign-sequence-accepted", "platform/linux/netlink/dump_reader.cpp",
      "bool ours = header.nlmsg_seq == reader.sequence && header.nlmsg_pid == reader.portId;",
      "bool ours = header.nlmsg_pid == reader.portId;"),
    F("netlink-route-table-filter-dropped", "platform/linux/netlink/dump_reader.cpp",
      "body[offsetof(rtmsg, rtm_table)] = RT_TABLE_MAIN;",
      ";"),
    F("netlink-other-tables-as-gateways", "platform/linux/netlink/messages.cpp",
      "    if (error != 0 || table != RT_TABLE_MAIN) {",
      "    if (error != 0) {"),
    F("netlink-forever-taken-as-finite", "platform/linux/netlink/messages.cpp",
      "address.finite = cache.ifa_valid != kForever;",
      "address.finite = true;"),

    # Linux: lease stores and system texts.
    F("leases-most-recently-obtained-ranks-last", "platform/linux/leases/read_leases.cpp",
      "return obtained(a) > obtained(b);",
      "return obtained(a) < obtained(b);"),
    F("leases-decimal-overflow-unchecked", "platform/linux/leases/text_fields.cpp",
      "if (digit > max || result > (max - digit) / 10) {",
      "if (digit > max) {"),
    F("lease-policy-ended-lease-taken", "platform/linux/leases/lease_policy.cpp",
      "            if (lease.expires <= now) {",
      "            if (lease.expires < now - 1000000) {"),
    F("lease-policy-infinite-lease-timed-by-kernel", "platform/linux/leases/lease_policy.cpp",
      "*expires = kLeaseNeverEnds;",
      "*expires = own->expires;"),
    F("lease-policy-address-set-by-hand-taken", "platform/linux/leases/lease_policy.cpp",
      "own->updated > recorded + kClientSetsAddressWithin",
      "own->updated > recorded + 1000000"),
    F("linux-time-namespace-offset-sign", "platform/linux/gather_facts.cpp",
      "return (negative ? -whole : whole) +",
      "return (negative ? whole : whole) +"),
    F("nm-state-expiry-off-by-one", "platform/linux/leases/lease_key_value.cpp",
      "        facts.expires = *options.expiry;\n",
      "        facts.expires = *options.expiry - 1;\n"),
    F("nm-internal-file-over-runtime-state", "platform/linux/leases/read_leases.cpp",
      "if (named.kind == NamedKind::kNetworkManagerInternal && haveState) {",
      "if (haveState && false) {"),
    F("dhcpcd-dump-options-unprefixed", "platform/linux/leases/lease_key_value.cpp",
      "ReadNamedOptions(entries, '\\0', \"new_\")",
      "ReadNamedOptions(entries, '\\0', {})"),
    F("dhcpcd-socket-entry-count-unbounded", "platform/linux/leases/lease_dhcpcd_control.cpp",
      "count > kMaxDumpEntries",
      "count > SIZE_MAX / 2"),
    F("dhcpcd-lease-time-ignored", "platform/linux/leases/lease_dhcpcd.cpp",
      "facts.expires = mtime + seconds;",
      "facts.expires = mtime;"),
    F("dhclient-start-is-expiry", "platform/linux/leases/lease_dhclient.cpp",
      "obtained = *block.expire - *block.leaseTime;",
      "obtained = *block.expire;"),
    F('system-overflow-text-changed', 'platform/linux/system_messages.cpp',
      '{ERROR_BUFFER_OVERFLOW, "The file name is too long."},',
      '{ERROR_BUFFER_OVERFLOW, "The data area passed to a system call is too small."},'),
    F('system-no-data-text-lost', 'platform/linux/system_messages.cpp',
      '    {ERROR_NO_DATA, "The pipe is being closed."},\n',
      ''),

    # Windows: gathering facts from the system's adapter list.
    F("windows-ipv6-taken-as-ipv4", "platform/windows/gather_facts.cpp",
      "address.lpSockaddr->sa_family != AF_INET) {",
      "false) {", build="windows"),
    F("windows-dhcp-flag-ignored", "platform/windows/gather_facts.cpp",
      "facts.dhcpEnabled = (source->Flags & IP_ADAPTER_DHCP_ENABLED) != 0;",
      "facts.dhcpEnabled = false;", build="windows"),
    F("windows-gateways-from-the-wins-list", "platform/windows/gather_facts.cpp",
      "facts.gateways = CollectServers(source->FirstGatewayAddress);",
      "facts.gateways = CollectServers(source->FirstWinsServerAddress);", build="windows"),
    F("windows-lease-for-a-static-adapter", "platform/windows/gather_facts.cpp",
      "if (facts.dhcpEnabled) {",
      "if (true) {", build="windows"),
    F("windows-infinite-lifetime-as-expiry", "platform/windows/gather_facts.cpp",
      "node->LeaseLifetime != 0xFFFFFFFFu) {",
      "true) {", build="windows"),
]


# The other systems' layers are left out: this build compiles none of them.
LAYER = {"linux": "platform/linux/", "win32": "platform/windows/"}[sys.platform]
ROOTS = ("driver/", "report/", "platform/common/", LAYER)
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


def in_draw(file):
    return file.endswith((".cpp", ".h")) and (file.startswith(ROOTS) or
                                               os.path.dirname(file) == "platform")


def drawn_files(tree):
    files = []
    for top in ("driver", "report", "platform"):
        for folder, _, names in os.walk(os.path.join(tree, top)):
            files += [os.path.relpath(os.path.join(folder, name), tree) for name in names]
    return sorted(filter(in_draw, files))


def tool_objects(tree, build):
    """The object files the native build makes of the drawn sources."""
    with open(os.path.join(build, "compile_commands.json")) as entries:
        commands = json.load(entries)
    objects = set()
    for entry in commands:
        if in_draw(os.path.relpath(entry["file"], tree)):
            words = shlex.split(entry["command"])
            objects.add(os.path.join(entry["directory"], words[words.index("-o") + 1]))
    return sorted(objects)


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
            # A planted file's objects are built again once it is put back:
            # a compiler cache makes that a copy.
            launcher = ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache"] if shutil.which("ccache") else []
            command = ["cmake", "--preset", self.preset, "-B", self.directory] + launcher
            if run(command, self.tree, log) != 0:
                sys.exit("configure failed, see " + log)
            self.configured = True

    def compile(self, log, targets=()):
        self.configure(log)
        command = ["ninja", "-C", self.directory, "-j2"]
        return run(command + [os.path.relpath(t, self.directory) for t in targets],
                   self.tree, log) == 0

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


def ledger():
    """(seed, line) of every run recorded, in the order they were made."""
    if not os.path.exists(LEDGER):
        return []
    with open(LEDGER) as lines:
        return [(line.split()[0], line.rstrip("\n")) for line in lines
                if line.strip() and not line.startswith("#")]


def first_look(seed):
    return next((line for used, line in ledger() if used == str(seed)), None)


def record(old, new):
    """Appends new to the ledger, or puts it in the place of the line old."""
    text = open(LEDGER).read() if os.path.exists(LEDGER) else ""
    text = text + new + "\n" if old is None else text.replace(old + "\n", new + "\n", 1)
    with open(LEDGER, "w") as out:
        out.write(text)


def commit_of(tree):
    for where, note in ((tree, ""), (HERE, " (the tool's checkout)")):
        out = subprocess.run(["git", "-C", where, "describe", "--always", "--dirty", "--abbrev=7"],
                             capture_output=True, text=True)
        if out.returncode == 0:
            return out.stdout.strip() + note
    return "?"


def site(fault):
    file, number, kind, line, planted = fault
    return (file, number, line.strip(), planted.strip())


def describe(fault):
    file, number, kind, line, planted = fault
    return f"{file}:{number} {kind}: `{line.strip()}` -> `{planted.strip()}`"


def read_reasons(tree, candidates):
    """The reasons recorded per site, and a line for each entry whose site
    no longer offers that fault (the code moved or changed): those are not
    applied."""
    reasons, stale = {}, []
    sites = {site(fault) for faults in candidates.values() for fault in faults}
    text = open(REASONS).read() if os.path.exists(REASONS) else ""
    for block in re.split(r"\n\s*\n", re.sub(r"(?m)^#.*\n", "", text)):
        entry = re.fullmatch(r"(\S+):(\d+).*\n-(.*)\n\+(.*)\n(equivalent|survives): (.+)",
                             block.strip())
        if not entry:
            stale += [f"not an entry: {block.strip()}"] if block.strip() else []
            continue
        file, number, line, planted, verdict, reason = entry.groups()
        key = (file, int(number), line.strip(), planted.strip())
        if key in sites:
            reasons[key] = (verdict, reason)
            continue
        path = os.path.join(tree, file)
        now = (open(path).read().split("\n") if os.path.exists(path) else [])[key[1] - 1:][:1]
        stale.append(f"{file}:{number}: " + (f"now reads `{now[0].strip()}`" if now and
                                             now[0].strip() != key[2] else "no such fault there"))
    return reasons, stale


def plant_one(tree, build, fault, objects, reference, scratch, log, sanitized=None):
    file, number, kind, line, planted = fault
    started = time.time()
    with open(log, "a") as out:
        out.write(f"\n==== {describe(fault)}\n")

    def plant(text):
        lines = text.split("\n")
        assert lines[number - 1] == line
        lines[number - 1] = planted
        return "\n".join(lines)

    with Planted(os.path.join(tree, file), plant):
        if not build.compile(log, objects):
            return "no-build"
        rebuilt = [obj for obj in objects if os.path.getmtime(obj) >= started - 1]
        if all(strip_debug(obj, os.path.join(scratch, "planted.o")) == reference[obj]
               for obj in rebuilt):
            return "same-code"
        if not build.compile(log):
            return "no-build"
        if not build.test(log):
            return "caught"
        # CI runs the same tests built with the sanitizers, which notice a
        # read or write past a buffer that leaves every output as it was.
        if sanitized is None or (sanitized.compile(log) and sanitized.test(log)):
            return "survived"
        return "sanitizers"


def plant_sampled(args, tree, build, log, sanitized=None):
    files = drawn_files(tree)
    candidates, sizes = {}, {}
    for file in files:
        with open(os.path.join(tree, file)) as source:
            text = source.read()
        sizes[file] = len(text.encode())
        candidates[file] = candidates_in(file, text)
    count = sum(map(len, candidates.values()))
    if args.candidates:
        for file in files:
            for fault in candidates[file]:
                print(describe(fault))
        print(f"{count} candidates in {len(files)} files")
        return 0

    seed = args.seed if args.seed is not None else default_seed()
    seen = first_look(seed)
    if seen and not args.again:
        sys.exit(f"seed {seed} was looked at before; its first look is its score:\n  {seen}\n"
                 "--again reruns it, labelled after rows; without --seed a fresh one is taken")
    label = "after rows" if seen else "tool check, not a score" if args.check else "score"
    reasons, stale = read_reasons(tree, candidates)
    for line in stale:
        print(f"stale reason, not applied: {line}", file=sys.stderr)

    for each in filter(None, (build, sanitized)):
        if not each.compile(log) or not each.test(log):
            sys.exit(f"the unchanged tree does not build or pass its {each.preset} tests, see {log}")
    objects = tool_objects(tree, build.directory)
    scratch = tempfile.mkdtemp(prefix="faults.", dir=build.directory)
    reference = {obj: strip_debug(obj, os.path.join(scratch, "reference.o")) for obj in objects}

    drawn, commit = sample(candidates, sizes, args.n, seed), commit_of(tree)
    about = (f"seed {seed}, {label}: {len(drawn)} faults drawn from {count} candidates in "
             f"{len(files)} files at {commit}" + (f"\n  first look: {seen}" if seen else ""))
    print(f"{about}\n  tests: ctest -E '{build.test_filter}'", flush=True)
    began = f"{seed}  {time.strftime('%Y-%m-%d %H:%M')}  {commit}  {label}:"
    record(None, began + " begun")
    results = []
    try:
        for fault in drawn:
            started = time.time()
            verdict = plant_one(tree, build, fault, objects, reference, scratch, log, sanitized)
            if verdict == "survived" and reasons.get(site(fault), ("",))[0] == "equivalent":
                verdict = "equivalent"
            results.append((fault, verdict))
            print(f"  {verdict:10} {describe(fault)} ({time.time() - started:.0f} s)", flush=True)
    finally:
        def counted(verdict):
            return sum(1 for result in results if result[1] == verdict)
        plain, caught = counted("caught"), counted("caught") + counted("sanitizers")
        planted = caught + counted("survived")
        figures = (f"caught {caught} of {planted}"
                   + (f" ({100.0 * caught / planted:.0f} %)" if planted else "")
                   + (f", {plain} ({100.0 * plain / planted:.0f} %) without the sanitizers"
                      if sanitized and planted else "")
                   + f"; {counted('equivalent')} equivalent by recorded reasons, counted apart; "
                   f"{counted('no-build')} no build, {counted('same-code')} same code")
        stopped = "" if len(results) == len(drawn) else f"stopped after {len(results)} faults: "
        record(began + " begun", f"{began} {stopped}{figures}; n={len(drawn)}")
    print(f"\n{about}\n{figures}\n")
    print("Survivors (give each a reason: add the block to bench/fault_reasons.txt with a line "
          "`equivalent: why` or `survives: why`):\n")
    for fault, verdict in results:
        if verdict in ("survived", "equivalent"):
            file, number, kind, line, planted = fault
            reason = reasons.get(site(fault))
            print(f"{file}:{number} {kind}\n- {line.strip()}\n+ {planted.strip()}"
                  + (f"\n{reason[0]}: {reason[1]}" if reason else "") + "\n")
    for line in stale:
        print(f"stale reason, not applied: {line}")
    # Leave the build as the tree is.
    build.compile(log)
    return 0


def default_seed():
    """Today's first seed nobody has looked at: YYYYMMDD00, then 01, ..."""
    day = int(time.strftime("%Y%m%d")) * 100
    return next(seed for seed in range(day, day + 100) if first_look(seed) is None)


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--tree", default=HERE)
    parser.add_argument("--build")
    parser.add_argument("--seed", type=int)
    parser.add_argument("--again", action="store_true")
    parser.add_argument("--check", action="store_true")
    parser.add_argument("-n", type=int, default=80)
    parser.add_argument("--candidates", action="store_true")
    parser.add_argument("--test-timeout", type=int, default=60)
    parser.add_argument("--namespaces", action="store_true")
    parser.add_argument("--sanitizers", action="store_true")
    parser.add_argument("--chosen", action="store_true")
    parser.add_argument("--windows", action="store_true")
    parser.add_argument("--only", nargs="*")
    parser.add_argument("--list", action="store_true")
    args = parser.parse_args()

    # SIGTERM unwinds like Ctrl-C, so the planted file goes back.
    signal.signal(signal.SIGTERM, lambda *_: (_ for _ in ()).throw(KeyboardInterrupt()))

    tree = os.path.abspath(args.tree)
    base = os.path.abspath(args.build or os.path.join(tree, "build", "faults"))
    os.makedirs(base, exist_ok=True)
    log = os.path.join(base, "plant_faults.log")
    os.environ.setdefault("CCACHE_DIR", os.path.join(base, "ccache"))
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
    sanitized = (Build(tree, os.path.join(base, "sanitize"), "sanitize", native_filter,
                       args.test_timeout * 3) if args.sanitizers else None)
    return plant_sampled(args, tree, native, log, sanitized)


if __name__ == "__main__":
    sys.exit(main())
