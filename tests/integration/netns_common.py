"""Shared pieces of the namespace tests: a throw-away network namespace and
a reader for Ostrel's report."""

import contextlib
import ctypes
import os
import shutil
import subprocess
import sys
import uuid

SKIP = 77


class AddrString(ctypes.Structure):
    pass


AddrString._fields_ = [
    ("Next", ctypes.POINTER(AddrString)),
    ("IpAddress", ctypes.c_char * 16),
    ("IpMask", ctypes.c_char * 16),
    ("Context", ctypes.c_uint32),
]


class AdapterInfo(ctypes.Structure):
    pass


AdapterInfo._fields_ = [
    ("Next", ctypes.POINTER(AdapterInfo)),
    ("ComboIndex", ctypes.c_uint32),
    ("AdapterName", ctypes.c_char * 260),
    ("Description", ctypes.c_char * 132),
    ("AddressLength", ctypes.c_uint32),
    ("Address", ctypes.c_uint8 * 8),
    ("Index", ctypes.c_uint32),
    ("Type", ctypes.c_uint32),
    ("DhcpEnabled", ctypes.c_uint32),
    ("CurrentIpAddress", ctypes.POINTER(AddrString)),
    ("IpAddressList", AddrString),
    ("GatewayList", AddrString),
    ("DhcpServer", AddrString),
    ("HaveWins", ctypes.c_int32),
    ("PrimaryWinsServer", AddrString),
    ("SecondaryWinsServer", AddrString),
    ("LeaseObtained", ctypes.c_int32),
    ("LeaseExpires", ctypes.c_int32),
]

RECORD_SIZE = ctypes.sizeof(AdapterInfo)
NODE_SIZE = ctypes.sizeof(AddrString)
LISTS = ("CurrentIpAddress", "IpAddressList", "GatewayList", "DhcpServer",
         "PrimaryWinsServer", "SecondaryWinsServer")
FIELDS = ("Next", "ComboIndex", "AdapterName", "Description", "AddressLength",
          "Address", "Index", "Type", "DhcpEnabled", "HaveWins", "LeaseObtained",
          "LeaseExpires")


def skip(message):
    print("SKIP: " + message)
    sys.exit(SKIP)


def ostrel_argument(script):
    """The Ostrel binary named on the command line, once root and iproute2
    are known to be there."""
    if len(sys.argv) != 2:
        print("usage: %s OSTREL" % script)
        sys.exit(2)
    require_namespaces()
    return os.path.abspath(sys.argv[1])


def require_namespaces():
    if os.geteuid() != 0:
        skip("needs root to build network namespaces")
    if shutil.which("ip") is None:
        skip("needs the ip command (iproute2)")
    # ip netns exec makes / a slave mount first; in a chroot whose root is
    # a plain folder rather than a mount of its own that cannot work.
    if shutil.which("unshare") is not None:
        probe = subprocess.run(["unshare", "-m", "mount", "--make-rslave", "/"],
                               stdin=subprocess.DEVNULL, capture_output=True, text=True)
        if probe.returncode != 0:
            skip("the root here is not a mount point (a chroot on a plain folder?), so "
                 "ip netns exec cannot run: " + probe.stderr.strip())


def run_ip(*args, stdin=None):
    return subprocess.run(["ip", *args], input=stdin, text=True, check=True,
                          capture_output=True).stdout


@contextlib.contextmanager
def namespace(prefix, lo_up=True, pairs=(), setup=""):
    """A fresh network namespace, deleted on every way out, with the veth
    pairs (name, peer) made and up, then the ip -batch lines of setup run;
    lo_up=False leaves it as the kernel makes it (lo down, no route table)."""
    name = "%s_%d_%s" % (prefix, os.getpid(), uuid.uuid4().hex[:6])
    try:
        run_ip("netns", "add", name)
    except subprocess.CalledProcessError as error:
        skip("cannot create a network namespace: " + error.stderr.strip())
    try:
        if lo_up:
            run_ip("-n", name, "link", "set", "lo", "up")
        batch = "".join("link add {0} type veth peer name {1}\nlink set {0} up\n"
                        "link set {1} up\n".format(*pair) for pair in pairs)
        if batch + setup:
            run_ip("-n", name, "-batch", "-", stdin=batch + setup)
        yield name
    finally:
        subprocess.run(["ip", "netns", "del", name], capture_output=True)


def enter(pid):
    """The command prefix that runs a program in the namespaces of process
    pid. nsenter -m alone would put it at the root of that mount namespace,
    which from inside a chroot is the machine's own root: -r and -w keep
    the root and working folder the holder has, the caller's."""
    return ["nsenter", "-t", str(pid), "-m", "-u", "-n", "-r", "-w", "--"]


def hold_isolated(netns, script):
    """A process in network namespace netns with a mount and UTS namespace
    of its own, where script (sh) makes the mounts and then prints "ready"
    and sleeps. Returns the process, or None with the script's error text
    when the mounts could not be made."""
    holder = subprocess.Popen(["ip", "netns", "exec", netns, "unshare", "-m", "-u",
                               "--propagation", "private", "sh", "-c", script],
                              stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, text=True)
    if holder.stdout.readline().strip() == "ready":
        return holder, ""
    holder.wait(timeout=10)
    error = holder.stderr.read().strip()
    holder.stdout.close()
    holder.stderr.close()
    return None, error


def foreign_roots(pids):
    """The processes among pids whose root lies outside the caller's: a
    program that escaped the caller's chroot reaches files no guard looks
    at. A root inside the caller's is fine (dhcpcd chroots its helpers)."""
    own = os.stat("/")
    foreign = []
    for pid in pids:
        # Walk up from the process's root: ".." stops at the caller's root
        # if the walk passes it, and at the machine's root otherwise.
        path = "/proc/%s/root" % pid
        try:
            for _ in range(256):
                here = os.stat(path)
                if (here.st_dev, here.st_ino) == (own.st_dev, own.st_ino):
                    break
                path += "/.."
                up = os.stat(path)
                if (up.st_dev, up.st_ino) == (here.st_dev, here.st_ino):
                    foreign.append(str(pid))
                    break
        except OSError:  # gone meanwhile
            continue
    return foreign


def run_ostrel(ostrel, name, timeout=30):
    return subprocess.run(["ip", "netns", "exec", name, ostrel],
                          stdin=subprocess.DEVNULL, capture_output=True,
                          text=True, timeout=timeout)


def number(value):
    """The decimal inside "0x.. (N)"."""
    return int(value[value.index("(") + 1:value.index(")")])


class ReportError(Exception):
    pass


def parse_report(text):
    """Returns (query lines, records); each record is a dict of the value
    lines plus one list of node dicts per address list. Raises ReportError
    for a block that is not complete."""
    queries = []
    records = []
    record = None
    current = None
    node = None
    for line in text.split("\n"):
        if line.startswith("Calling Ostrel()"):
            queries.append(line)
        elif line == "IP_ADAPTER_INFO: ":
            if record is not None and "closed" not in record:
                raise ReportError("block not closed before the next one")
            record = {"lists": {}}
            records.append(record)
            current = None
        elif record is None or "closed" in record:
            continue
        elif line == "":
            missing = [f for f in FIELDS if f not in record]
            missing += [l for l in LISTS if l not in record["lists"]]
            if missing:
                raise ReportError("block lacks %s" % ", ".join(missing))
            record["closed"] = True
        elif line.startswith("   "):
            if current is None:
                raise ReportError("node line outside a list: %r" % line)
            inner = line[3:]
            if inner == "IP_ADDR_STRING: ":
                continue
            label = inner[:17].strip().rstrip(":").strip()
            value = inner[17:]
            value = value[:-1] if value.endswith(" ") else value
            if label == "Next":
                node = {"Next": number(value)}
                record["lists"][current].append(node)
            elif node is not None:
                node[label] = value
        elif line.endswith(": ") and line[:-2] in LISTS:
            current = line[:-2]
            node = None
            record["lists"][current] = []
        else:
            label = line[:17].strip().rstrip(":")
            value = line[17:]
            record[label] = value[:-1] if value.endswith(" ") else value
    if record is not None and "closed" not in record:
        raise ReportError("last block not closed")
    return queries, records


def parse_run(result, failures, where=""):
    """parse_report of a run that succeeded, or None once why not is added
    to failures (and the output printed, to show what the test saw)."""
    if result.returncode != 0:
        failures.append("%sexit status %d, stderr %r" % (where, result.returncode, result.stderr))
        return None
    try:
        return parse_report(result.stdout)
    except ReportError as error:
        failures.append(where + str(error))
        print(result.stdout)
        return None


def check_links(records, needed):
    """Every record's Next is the next printed record and the last is 0;
    every list node lies inside the caller's buffer."""
    if not records:
        raise ReportError("no records")
    nexts = [number(r["Next"]) for r in records]
    if nexts[-1] != 0:
        raise ReportError("last record's Next is not 0")
    if len(records) == 1:
        return
    start = nexts[0] - RECORD_SIZE
    for i, link in enumerate(nexts[:-1]):
        if link != start + (i + 1) * RECORD_SIZE:
            raise ReportError("record %d's Next does not point at record %d" % (i, i + 1))
    spare = start + len(records) * RECORD_SIZE
    for record in records:
        for name in LISTS:
            for node in record["lists"][name][:-1]:
                offset = node["Next"] - spare
                if offset < 0 or node["Next"] + NODE_SIZE > start + needed or offset % NODE_SIZE:
                    raise ReportError("%s node link 0x%x outside the buffer" % (name, node["Next"]))
            if record["lists"][name] and record["lists"][name][-1]["Next"] != 0:
                raise ReportError("%s list does not end in 0" % name)


class Expect:
    """Keeps the message of every condition that does not hold, led by the
    context the caller is in."""

    def __init__(self, context=""):
        self.failures = []
        self.context = context

    def __call__(self, condition, message):
        if not condition:
            self.failures.append("%s: %s" % (self.context, message) if self.context else message)


def finish(failures, report, success):
    """Prints the failures with the report that showed them, or the success
    line; returns the exit status."""
    for failure in failures:
        print("FAIL: " + failure)
    if failures:
        print(report)
        return 1
    print("ok: " + success)
    return 0
