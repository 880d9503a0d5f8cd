#!/usr/bin/env python3
"""Ostrel against real DHCP clients served by a real dnsmasq: for dhclient,
dhcpcd, systemd-networkd and NetworkManager (its internal client and its
dhclient back end), the DHCP server, gateway, WINS servers and lease times of
the report match the server's own lease database through a bind, a renewal,
an infinite lease and a release (or disconnect), and an address set by hand
after the release, or over a lease left on disk, is static again. Every
report is also taken as user nobody and in a time namespace whose monotonic
clock runs a day ahead: both must show the same DHCP facts as root's.

Every client runs in its own mount and UTS namespace: /run and the lease
folders on tmpfs, /etc behind an overlay and /etc/resolv.conf bound to a
temporary file, so that the clients' hooks never reach the machine. Ostrel
runs in that same namespace and so reads the clients' files at their real
paths. Everything run there keeps the caller's root, so that inside a
packager's chroot the clients stay in it, and a check of every process's
root fails the test if one did not."""

import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import uuid

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

NET = "10.93.0"
SERVER = NET + ".1"
WINS = (NET + ".8", NET + ".9")
LEASE = 600
NEVER = 0x7FFFFFFF
SLACK = 2
# dhcpcd probes the offered address with ARP before it binds and counts the
# lease from then on.
PROBE = 12
# A client may write its store a few seconds after it set the address; a
# person sets one by hand later than that.
HAND = 6
# The report fields every way of running Ostrel must agree on.
DHCP_FIELDS = ("DhcpEnabled", "HaveWins", "LeaseObtained", "LeaseExpires")
DHCP_LISTS = ("DhcpServer", "PrimaryWinsServer", "SecondaryWinsServer")
# Ostrel as an ordinary user, and with the monotonic clock a day ahead of
# the kernel's address timestamps, as container runtimes may set it up.
VARIANTS = (("as user nobody", ("setpriv", "--reuid=nobody", "--regid=nogroup",
                                "--clear-groups")),
            ("in a time namespace", ("unshare", "-T", "--monotonic=86400", "-f")))
NETWORKD = "/lib/systemd/systemd-networkd"
LEASE_DIRS = ("/var/lib/dhcp", "/var/lib/dhcpcd", "/var/lib/NetworkManager", "/var/lib/systemd")

ISOLATE = """\
set -e
mount -t tmpfs -o mode=755 tmpfs /run
for dir in {lease_dirs}; do
    if [ -d "$dir" ]; then mount -t tmpfs -o mode=755 tmpfs "$dir"; fi
done
mount -t tmpfs tmpfs "{tmp}/etc"
mkdir "{tmp}/etc/upper" "{tmp}/etc/work"
mount -t overlay overlay -o "lowerdir=/etc,upperdir={tmp}/etc/upper,workdir={tmp}/etc/work" /etc
mount --bind "{tmp}/resolv.conf" /etc/resolv.conf
mount -o remount,bind,ro /sys
hostname ostrel-dhcp-test
echo ready
exec sleep 3600
"""

NETWORK_FILE = """\
[Match]
Name=dc0
[Network]
DHCP=ipv4
LinkLocalAddressing=no
IPv6AcceptRA=no
[DHCPv4]
ClientIdentifier=mac
UseHostname=no
UseDNS=no
UseNTP=no
SendHostname=no
"""

NM_CONFIG = """\
[main]
plugins=keyfile
dhcp={backend}
dns=none
rc-manager=unmanaged
hostname-mode=none
no-auto-default=*
auth-polkit=false
[keyfile]
path={tmp}/nm
unmanaged-devices=except:interface-name:dc0
"""

NM_CONNECTION = """\
[connection]
id=dc0
type=ethernet
interface-name=dc0
autoconnect=true
[ipv4]
method=auto
dhcp-timeout=40
[ipv6]
method=ignore
"""


class Failure(Exception):
    pass


class Skip(Exception):
    pass


def run(*args, check=True, timeout=60):
    result = subprocess.run(list(args), stdin=subprocess.DEVNULL, capture_output=True, text=True,
                            timeout=timeout)
    if check and result.returncode != 0:
        raise Failure("%s: exit %d: %s" % (" ".join(args), result.returncode,
                                           (result.stderr or result.stdout).strip()))
    return result


def wait_for(what, condition, seconds):
    deadline = time.time() + seconds
    while True:
        value = condition()
        if value:
            return value
        if time.time() > deadline:
            raise Failure("timed out waiting for " + what)
        time.sleep(0.2)


class Network:
    """A server namespace with dnsmasq and a client namespace whose mount
    and UTS namespace is held by one sleeping process; everything started
    in either namespace ends with it."""

    def __init__(self, ostrel, expect, lease, extra_options):
        self.ostrel = ostrel
        self.expect = expect
        tag = "%d_%s" % (os.getpid(), uuid.uuid4().hex[:6])
        self.server_ns = "ostrel_dhs_" + tag
        self.client_ns = "ostrel_dhc_" + tag
        self.tmp = tempfile.mkdtemp(prefix="ostrel-dhcp-")
        self.holder = None
        self.background = []
        self.lease = lease
        self.extra = extra_options
        self.differed = set()  # variants whose DHCP facts differed from root's already
        self.agreement = ""  # the variants against root's last record

    def __enter__(self):
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *_):
        self.close()

    def start(self):
        run("ip", "netns", "add", self.server_ns)
        run("ip", "netns", "add", self.client_ns)
        run("ip", "link", "add", "ds0", "netns", self.server_ns, "type", "veth", "peer", "name",
            "dc0", "netns", self.client_ns)
        for ns, commands in ((self.server_ns, ["addr add %s/24 dev ds0" % SERVER,
                                               "link set ds0 up", "link set lo up"]),
                             (self.client_ns, ["link set dc0 up", "link set lo up"])):
            for command in commands:
                run("ip", "-n", ns, *command.split())
        self.leasefile = os.path.join(self.tmp, "dnsmasq.leases")
        run("ip", "netns", "exec", self.server_ns, "dnsmasq", "--conf-file=/dev/null",
            "--port=0", "--interface=ds0", "--bind-interfaces", "--dhcp-authoritative",
            "--no-ping", "--dhcp-range=%s.50,%s.60,255.255.255.0,%s" % (NET, NET, self.lease),
            "--dhcp-option=option:router," + SERVER, "--dhcp-leasefile=" + self.leasefile,
            "--pid-file=" + os.path.join(self.tmp, "dnsmasq.pid"), *self.extra)
        self.resolv = os.path.join(self.tmp, "resolv.conf")
        with open(self.resolv, "w") as f:
            f.write("# ostrel test\n")
        os.mkdir(os.path.join(self.tmp, "etc"))
        script = ISOLATE.format(tmp=self.tmp, lease_dirs=" ".join(LEASE_DIRS))
        self.holder, error = common.hold_isolated(self.client_ns, script)
        if self.holder is None:
            # Without its own /run, /etc and read-only /sys no client may run.
            raise Skip("cannot isolate the clients here: " + error)

    def escaped(self):
        """What is wrong if a process in the client's namespace has left
        the caller's root, or None: only then do the guards in main look
        at the files the clients can reach."""
        pids = run("ip", "netns", "pids", self.client_ns, check=False).stdout.split()
        foreign = common.foreign_roots(pids)
        return ("processes %s in the client namespace left the caller's root" %
                ", ".join(foreign)) if foreign else None

    def inside(self, *args, check=True, timeout=60):
        """Runs a command in the client's namespaces."""
        return run(*common.enter(self.holder.pid), *args, check=check, timeout=timeout)

    def start_inside(self, log, *args):
        with open(os.path.join(self.tmp, log), "w") as output:
            process = subprocess.Popen([*common.enter(self.holder.pid), *args],
                                       stdin=subprocess.DEVNULL, stdout=output,
                                       stderr=subprocess.STDOUT)
        self.background.append(process)
        return process

    def server_line(self):
        """The server's lease database line for the client, or None."""
        with open(self.leasefile) as f:
            lines = [l.split() for l in f.read().splitlines() if l.strip()]
        return lines[0] if lines else None

    def record(self, *prefix):
        result = self.inside(*prefix, self.ostrel, check=False, timeout=30)
        if result.returncode != 0:
            raise Failure("Ostrel %s exit %d: %s" % (" ".join(prefix), result.returncode,
                                                     result.stderr))
        _, records = common.parse_report(result.stdout)
        for record in records:
            if record.get("AdapterName") == "dc0":
                return record
        raise Failure("no dc0 block in\n" + result.stdout)

    def report(self):
        """Root's record of dc0, once each variant's DHCP facts were
        compared with it; a renewal between two runs makes the comparison
        wait for the next round."""
        problem = self.escaped()
        if problem:
            raise Failure(problem)
        for attempt in range(5):
            record = self.record()
            variants = [(name, dhcp_facts(self.record(*prefix))) for name, prefix in VARIANTS]
            again = self.record()
            if same_facts(dhcp_facts(again), dhcp_facts(record)):
                break
        agreed = []
        for name, facts in variants:
            if same_facts(facts, dhcp_facts(again)):
                agreed.append(name)
            elif name not in self.differed:
                self.differed.add(name)
                self.expect(False, "%s: %s, root: %s" % (name, facts, dhcp_facts(again)))
        self.agreement = "same DHCP facts " + " and ".join(agreed) if agreed else ""
        return again

    def stable_report(self):
        """A report and the server line that were both current while it was
        taken (short renewal times move the server's line)."""
        for _ in range(5):
            before = self.server_line()
            record = self.report()
            if self.server_line() == before:
                return record, before
        raise Failure("the server's lease kept changing")

    def kernel_address(self):
        links = json.loads(self.inside("ip", "-j", "-4", "addr", "show", "dev", "dc0").stdout)
        addresses = links[0]["addr_info"] if links else []
        return addresses[0] if addresses else None

    def close(self):
        problem = self.escaped() if self.holder is not None else None
        for ns in (self.client_ns, self.server_ns):
            pids = run("ip", "netns", "pids", ns, check=False).stdout.split()
            for sig in (signal.SIGTERM, signal.SIGKILL):
                for pid in pids:
                    try:
                        os.kill(int(pid), sig)
                    except (ProcessLookupError, ValueError):
                        pass
                if sig == signal.SIGTERM and pids:
                    time.sleep(0.3)
        for process in self.background + ([self.holder] if self.holder else []):
            if process.poll() is None:
                process.kill()
            process.wait()
        if self.holder is not None:
            self.holder.stdout.close()
            self.holder.stderr.close()
        for ns in (self.client_ns, self.server_ns):
            run("ip", "netns", "del", ns, check=False)
        shutil.rmtree(self.tmp, ignore_errors=True)
        if problem:
            raise Failure(problem)


class Client:
    """What most clients do: tell the server when they release, and keep
    the WINS servers they asked for."""
    releases = True
    keeps_wins = True
    wins_option = "--dhcp-option"
    needs = ()  # (program, its package)

    def missing(self):
        for program, package in self.needs:
            if shutil.which(program) is None:
                return "%s (%s) is not installed" % (program, package)
        return None


class Dhclient(Client):
    name = "dhclient"
    needs = [("dhclient", "isc-dhcp-client")]

    def start(self, net):
        net.inside("dhclient", "-4", "-1", "-pf", "/run/dhclient.pid", "dc0", timeout=60)

    def release(self, net):
        net.inside("dhclient", "-4", "-r", "-pf", "/run/dhclient.pid", "dc0")

    def stop(self, net):
        net.inside("dhclient", "-4", "-x", "-pf", "/run/dhclient.pid", "dc0")


class Dhcpcd(Client):
    name = "dhcpcd"
    needs = [("dhcpcd", "dhcpcd-base")]

    def start(self, net):
        # -w: back only once the address is bound, after the probe. The
        # probe took over 40 s once on a machine loaded by parallel builds.
        net.inside("dhcpcd", "-4", "-w", "-t", "90", "--nodelay", "-o", "netbios_name_servers",
                   "dc0", timeout=110)

    def release(self, net):
        net.inside("dhcpcd", "-4", "-k", "dc0")

    def stop(self, net):
        net.inside("dhcpcd", "-4", "-x", "dc0")


class Networkd(Client):
    name = "systemd-networkd"
    releases = False  # stopped without a bus, it drops the lease without telling the server
    keeps_wins = False
    needs = [(NETWORKD, "systemd")]

    def start(self, net):
        net.inside("sh", "-c", "mkdir -p /run/systemd/network && cat > "
                   "/run/systemd/network/50-dc0.network <<'END'\n" + NETWORK_FILE + "END\n")
        self.process = net.start_inside("networkd.log", NETWORKD)
        index = json.loads(net.inside("ip", "-j", "link", "show", "dev", "dc0").stdout)[0]
        leasefile = "/run/systemd/netif/leases/%d" % index["ifindex"]

        def bound():
            if self.process.poll() is not None:
                with open(os.path.join(net.tmp, "networkd.log")) as log:
                    raise Skip("systemd-networkd does not run here without systemd as PID 1 "
                               "(exit %d): %s" % (self.process.returncode, log.read()[-400:]))
            return (net.inside("test", "-s", leasefile, check=False).returncode == 0 and
                    net.kernel_address() is not None)
        wait_for("systemd-networkd's lease", bound, 30)

    def release(self, net):
        self.process.terminate()
        self.process.wait(timeout=10)
        wait_for("systemd-networkd to drop its address", lambda: net.kernel_address() is None, 10)

    stop = release


class NetworkManager(Client):
    releases = False  # disconnected, it drops the address without telling the server
    # Its internal client does not ask for WINS servers; the server sends
    # them all the same.
    wins_option = "--dhcp-option-force"
    needs = [("NetworkManager", "network-manager"), ("nmcli", "network-manager"),
             ("dbus-daemon", "dbus")]

    def __init__(self, backend):
        self.backend = backend
        self.name = "NetworkManager" + ("" if backend == "internal" else "/" + backend)

    def start(self, net):
        os.mkdir(os.path.join(net.tmp, "nm"), 0o700)
        with open(os.path.join(net.tmp, "nm.conf"), "w") as f:
            f.write(NM_CONFIG.format(backend=self.backend, tmp=net.tmp))
        connection = os.path.join(net.tmp, "nm", "dc0.nmconnection")
        with open(os.open(connection, os.O_WRONLY | os.O_CREAT, 0o600), "w") as f:
            f.write(NM_CONNECTION)
        # A bus of its own: the machine's NetworkManager, if any, never
        # hears of this one.
        net.inside("sh", "-c", "mkdir -p /run/dbus /run/NetworkManager && "
                   "dbus-daemon --system --fork")
        self.process = net.start_inside("nm.log", "NetworkManager", "--no-daemon",
                                        "--config=" + os.path.join(net.tmp, "nm.conf"))
        index = json.loads(net.inside("ip", "-j", "link", "show", "dev", "dc0").stdout)[0]
        state = "/run/NetworkManager/devices/%d" % index["ifindex"]

        def bound():
            if self.process.poll() is not None:
                with open(os.path.join(net.tmp, "nm.log")) as log:
                    raise Failure("NetworkManager ended (exit %d): %s" %
                                  (self.process.returncode, log.read()[-400:]))
            return (net.inside("grep", "-q", "^dhcp4.ip_address=", state,
                               check=False).returncode == 0 and
                    net.kernel_address() is not None)
        wait_for("NetworkManager's lease", bound, 45)

    def release(self, net):
        net.inside("nmcli", "device", "disconnect", "dc0")

    def stop(self, net):
        """Stopped, NetworkManager leaves the address and its state behind
        for the next one to take over."""
        self.process.terminate()
        self.process.wait(timeout=20)


def node(record, name):
    nodes = record["lists"][name]
    return nodes[0].get("IpAddress", "") if nodes else ""


def dhcp_facts(record):
    return tuple(record.get(field) for field in DHCP_FIELDS) + tuple(
        node(record, name) for name in DHCP_LISTS)


def same_facts(one, other):
    """A kernel address's set moment is read against the kernel's tick clock,
    whose phase against the real-time clock wanders by a fraction of a
    second: two runs may put it a second apart, never its lifetime."""
    if one[:2] + one[4:] != other[:2] + other[4:] or None in one[2:4] + other[2:4]:
        return False
    obtained, expires, obtained_again, expires_again = (
        common.number(facts[i]) for facts in (one, other) for i in (2, 3))
    shift = obtained_again - obtained
    # An infinite lease ends at the last time value whenever it began.
    ends = expires_again - expires == shift or expires == expires_again == 0x7fffffff
    return abs(shift) <= 1 and ends


def summary(record):
    return "DhcpEnabled %s, DhcpServer %s, Gateway %s, WINS %s / %s, LeaseObtained %s, " \
           "LeaseExpires %s" % (
               record.get("DhcpEnabled"), node(record, "DhcpServer") or "-",
               node(record, "GatewayList") or "-", node(record, "PrimaryWinsServer") or "-",
               node(record, "SecondaryWinsServer") or "-", record.get("LeaseObtained"),
               record.get("LeaseExpires"))


def check_lease(client, net, record, line, wins, expect, window=None):
    """The report's lease against the server's line; window bounds the bind
    time of an infinite lease, whose line carries no time."""
    expect(line is not None, "the server holds no lease")
    if line is None:
        return
    address = line[2]
    addresses = [n.get("IpAddress") for n in record["lists"]["IpAddressList"]]
    expect(address in addresses, "address %s not among %r" % (address, addresses))
    expect(record.get("DhcpEnabled") == "0x1 (1)", "DhcpEnabled " + record.get("DhcpEnabled"))
    expect(node(record, "DhcpServer") == SERVER, "DhcpServer " + node(record, "DhcpServer"))
    expect(node(record, "GatewayList") == SERVER, "gateway " + node(record, "GatewayList"))
    want = (wins + ("",))[:2] if client.keeps_wins else ("", "")
    got = (node(record, "PrimaryWinsServer"), node(record, "SecondaryWinsServer"))
    expect(got == want, "WINS %r, expected %r" % (got, want))
    have = "0x1 (1)" if want[0] else "0x0 (0)"
    expect(record.get("HaveWins") == have, "HaveWins %r" % record.get("HaveWins"))
    obtained = common.number(record["LeaseObtained"])
    expires = common.number(record["LeaseExpires"])
    if window is not None:
        expect(int(line[0]) == 0, "the server's infinite lease line is %r" % line)
        expect(expires == NEVER, "LeaseExpires %d, not 0x7fffffff" % expires)
        expect(window[0] - SLACK <= obtained <= window[1] + SLACK,
               "LeaseObtained %d outside the bind, %d to %d" % (obtained, *window))
        return
    server_expires = int(line[0])
    if client.name == "dhcpcd":
        # dhcpcd's own view: the lifetime it gave the kernel.
        kernel = net.kernel_address()
        own = time.time() + kernel["valid_life_time"] if kernel else 0
        expect(abs(expires - own) <= SLACK, "LeaseExpires %d, dhcpcd's own %d" % (expires, own))
        expect(-SLACK <= expires - server_expires <= PROBE,
               "LeaseExpires %d is not the server's %d plus dhcpcd's probe" %
               (expires, server_expires))
        expect(expires - obtained == LEASE, "dhcpcd's lease runs %d s" % (expires - obtained))
        return
    expect(abs(expires - server_expires) <= SLACK,
           "LeaseExpires %d, server %d" % (expires, server_expires))
    expect(abs(obtained - (server_expires - LEASE)) <= SLACK,
           "LeaseObtained %d, server %d" % (obtained, server_expires - LEASE))


def check_static(record, expect):
    for field, want in (("DhcpEnabled", "0x0 (0)"), ("HaveWins", "0x0 (0)"),
                        ("LeaseObtained", "0x0 (0) Thu Jan 01 00:00:00 1970"),
                        ("LeaseExpires", "0x0 (0) Thu Jan 01 00:00:00 1970")):
        expect(record.get(field) == want, "%s %r, expected %r" % (field, record.get(field), want))
    expect(node(record, "DhcpServer") == "", "DhcpServer " + node(record, "DhcpServer"))


def settled_lease(client, net, wins, expect, moved_past=None):
    """The report and server line once both record the same lease. The
    server's line moves at every renewal; a client records it after its
    hooks ran, and dhclient rewrites its file at most every 15 s. A report
    that never agrees within 25 s fails."""
    deadline = time.time() + 25
    while True:
        record, line = net.stable_report()
        trial = common.Expect(expect.context)
        check_lease(client, net, record, line, wins, trial)
        if moved_past is not None:
            trial(common.number(record["LeaseExpires"]) > moved_past,
                  "LeaseExpires did not move on")
        if not trial.failures or time.time() > deadline:
            expect.failures += trial.failures
            return record, line
        time.sleep(0.5)


def finite_run(ostrel, client, expect, shown):
    """Two WINS servers and a renewal every few seconds; then a release and
    the same address set by hand."""
    with Network(ostrel, expect, LEASE, ["%s=44,%s,%s" % (client.wins_option, *WINS),
                                         "--dhcp-option=option:T1,4"]) as net:
        expect.context = client.name + " bind"
        client.start(net)
        record, line = settled_lease(client, net, WINS, expect)
        shown.append((client.name + " bound", line, record, net.agreement))

        expect.context = client.name + " renewal"
        wait_for("a renewal", lambda: int((net.server_line() or [0])[0]) >= int(line[0]) + 2, 20)
        record, line = settled_lease(client, net, WINS, expect,
                                     common.number(record["LeaseExpires"]))
        shown.append((client.name + " renewed", line, record, net.agreement))

        expect.context = client.name + " release"
        address = line[2]
        client.release(net)
        wait_for("the address to go", lambda: net.kernel_address() is None, 10)
        after = net.server_line()
        if client.releases:
            expect(after is None, "the server still holds %r" % after)
        released = net.report()
        check_static(released, expect)
        shown.append((client.name + " released", after, released, net.agreement))

        expect.context = client.name + " address set by hand"
        if not client.releases:
            # The unreleased lease stays on disk: the address is set again
            # well after its client last wrote it, as a person would.
            time.sleep(HAND)
        net.inside("ip", "addr", "add", address + "/24", "dev", "dc0")
        check_static(net.report(), expect)


def infinite_run(ostrel, client, expect, shown):
    """One WINS server; then the client stopped without a release and its
    address set again by hand while the never-ending lease stays on disk."""
    with Network(ostrel, expect, "infinite", ["%s=44,%s" % (client.wins_option, WINS[0])]) as net:
        expect.context = client.name + " infinite"
        started = time.time()
        client.start(net)
        bound = time.time()
        record, line = net.stable_report()
        check_lease(client, net, record, line, WINS[:1], expect, (started, bound))
        shown.append((client.name + " infinite", line, record, net.agreement))

        expect.context = client.name + " address set by hand over its lease"
        address = line[2]
        client.stop(net)
        net.inside("ip", "addr", "flush", "dev", "dc0")
        time.sleep(HAND)
        net.inside("ip", "addr", "add", address + "/24", "dev", "dc0")
        record = net.report()
        check_static(record, expect)
        shown.append((client.name + " stopped, set by hand", net.server_line(), record,
                      net.agreement))


def stop_on_signal(number, _frame):
    # An exception, so that every namespace, server and client still goes.
    raise SystemExit("stopped by signal %d" % number)


def main():
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGHUP):
        signal.signal(number, stop_on_signal)
    ostrel = common.ostrel_argument("dhcp_clients.py")
    if shutil.which("dnsmasq") is None:
        common.skip("needs dnsmasq (dnsmasq-base) as the DHCP server")
    if shutil.which("nsenter") is None or shutil.which("unshare") is None:
        common.skip("needs nsenter and unshare (util-linux)")
    with open("/etc/resolv.conf", "rb") as f:
        resolv = f.read()
    host = socket.gethostname()
    expect = common.Expect()
    shown = []
    skipped = []
    ran = 0
    started = time.time()
    try:
        for client in (Dhclient(), Dhcpcd(), Networkd(), NetworkManager("internal"),
                       NetworkManager("dhclient")):
            reason = client.missing()
            if reason is None:
                try:
                    finite_run(ostrel, client, expect, shown)
                    infinite_run(ostrel, client, expect, shown)
                    ran += 1
                    continue
                except Skip as skip:
                    reason = str(skip)
                except Exception as error:  # reported, and the next client still runs
                    expect(False, "%s: %s" % (type(error).__name__, error))
                    continue
            skipped.append("%s: %s" % (client.name, reason))
    finally:
        with open("/etc/resolv.conf", "rb") as f:
            if f.read() != resolv:
                print("FAIL: the machine's /etc/resolv.conf changed")
                expect.failures.append("host resolv.conf changed")
        if socket.gethostname() != host:
            print("FAIL: the machine's host name changed")
            expect.failures.append("host name changed")
    for reason in skipped:
        print("SKIP " + reason)
    for name, line, record, agreement in shown:
        print("%-26s server: %s" % (name, " ".join(line[:3]) if line else "(no lease)"))
        print("%-26s Ostrel: %s" % ("", summary(record)))
        if agreement:
            print("%-26s         %s" % ("", agreement))
    if ran == 0 and not expect.failures:
        common.skip("no DHCP client to try")
    return common.finish(expect.failures, "", "%d clients in %.0f s" % (ran, time.time() - started))


if __name__ == "__main__":
    sys.exit(main())
