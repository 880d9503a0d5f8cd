#!/usr/bin/env python3
"""Checks of the Windows build under Wine.

  wine_checks.py run     WRAPPER PREFIX OSTREL_EXE WINTOOL_EXE PLANTED_DLL OBJDUMP WORKDIR
  wine_checks.py netns   WRAPPER PREFIX OSTREL_EXE NATIVE_OSTREL WORKDIR
  wine_checks.py version WRAPPER PREFIX OSTREL_EXE WINTOOL_EXE RES_FILE NATIVE_OSTREL WORKDIR

WRAPPER runs a Windows program under Wine in the private PREFIX. Expected
system message texts always come from FormatMessageA itself (through
WINTOOL_EXE): Wine's differ from Windows'. Exit status 77 means skipped."""
import os
import pty
import re
import select
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "integration"))
import netns_common as common  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def finish():
    for message in failures:
        print("FAIL:", message)
    sys.exit(1 if failures else 0)


def wine(wrapper, prefix, args, cwd=None, netns=None, overrides=()):
    command = [wrapper, prefix] + args
    if netns:
        command = ["ip", "netns", "exec", netns] + command
    return subprocess.run(command, cwd=cwd, stdin=subprocess.DEVNULL, capture_output=True,
                          timeout=180, env=dict(os.environ, WINEDLLOVERRIDES=";".join(overrides)))


def text_mode(data):
    """What a text-mode stream writes for data: every line feed as CR LF."""
    return data.replace(b"\n", b"\r\n")


def fresh_dir(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    return path


def version_line(output):
    match = re.search(rb"^Version (.*) \r?$", output, re.M)
    return match.group(1).decode() if match else None


def check_run(wrapper, prefix, exe, tool, planted, objdump, workdir):
    def message(code):
        result = wine(wrapper, prefix, [tool, "message", str(code)])
        if result.returncode != 0 or not result.stdout:
            sys.exit(f"no system text for {code}")
        return result.stdout

    # Any DLL but a KnownDLL named in the import table is searched for beside the exe first.
    imports = re.findall(rb"DLL Name: (\S+)", subprocess.run([objdump, "-p", exe], check=True,
                                                             capture_output=True).stdout)
    check({name.lower() for name in imports} <= {b"kernel32.dll", b"advapi32.dll", b"msvcrt.dll"},
          f"imports beyond the KnownDLLs: {imports}")
    overflow, success, missing = message(111), message(0), message(126)
    check(overflow.endswith(b"\r\n") and success.endswith(b"\r\n"),
          "system texts do not end in CR LF")

    folder = fresh_dir(os.path.join(workdir, "run"))
    shutil.copy(exe, os.path.join(folder, "Ostrel.exe"))
    shutil.copy(exe, os.path.join(folder, "Ostrel.com"))
    for dll in ("version.dll", "iphlpapi.dll"):
        shutil.copy(planted, os.path.join(folder, dll))
    cases = [
        (["cmd", "/c", "Ostrel"], "1, 0, 0, 2"),
        (["cmd", "/c", "OSTREL.EXE"], "1, 0, 0, 2"),
        ([os.path.join(folder, "Ostrel.exe")], "1, 0, 0, 2"),
        (["cmd", "/c", "Ostrel.com"], "0, 0, 0, 0"),
        # Planted DLLs searched native-first as on Windows; system DLLs disabled.
        ([os.path.join(folder, "Ostrel.exe")], "1, 0, 0, 2", "version=n,b"),
        ([os.path.join(folder, "Ostrel.exe")], "1, 0, 0, 2", "iphlpapi=n,b"),
        ([os.path.join(folder, "Ostrel.exe")], "0, 0, 0, 0", "version=d"),
        ([os.path.join(folder, "Ostrel.exe")], "0, 0, 0, 0", "iphlpapi=d"),
    ]
    first_line = b"Calling Ostrel() with OutBufLen = 640 (sizeof(IP_ADAPTER_INFO)): "
    for args, version, *overrides in cases:
        name = " ".join(args + overrides)
        result = wine(wrapper, prefix, args, cwd=folder, overrides=overrides)
        out = result.stdout
        refused = "".join(overrides).endswith("=d")
        check(result.returncode == int(refused), f"{name}: exit status {result.returncode}")
        check(not any(file.endswith(".loaded") for file in os.listdir(folder)),
              f"{name}: a planted DLL was loaded")
        check(out.startswith(text_mode(
            b"Zuvi Ostrel is a tool to dump IP_ADAPTER_INFO for all available NICs \n\n"
            b"Version " + version.encode() + b" \n")), f"{name}: banner shows {version_line(out)}")
        check(out.count(b"\n") == out.count(b"\r\n"), f"{name}: a line feed without CR")
        if refused:
            check(text_mode(first_line + missing + b"\n\nAborting due to error on calling "
                            b"Ostrel()\n") in out, f"{name}: no refusal with the text of 126")
            continue
        check(text_mode(first_line + overflow + b"\n") in out or
              text_mode(first_line + success + b"\n") in out,
              f"{name}: no first query line offering 640 with the system's text")
        check(text_mode(b": " + success + b"\n") in out, f"{name}: no successful query")
        check(out.count(b"\r\nIP_ADAPTER_INFO: \r\n") >= 1, f"{name}: no adapter record")
        check(b"\r\nType:            0x18 (24) \r\n" not in out,
              f"{name}: a software loopback record, which the system's own records leave out")
        links = re.findall(rb"^ *Next: +(\S+) \((\d+)\) \r$", out, re.M)
        check(links and all(re.fullmatch(rb"0x[0-9a-f]{8}", link) and int(link, 16) == int(dec)
                            for link, dec in links), f"{name}: links not as eight hex digits")
        check(out.endswith(b"\r\nPress <Enter> to exit.\r\n"), f"{name}: no final prompt")
        print(f"{name}: {len(out)} bytes, version {version_line(out)}")
    check_prompt(wrapper, prefix, exe)
    finish()


def run_at_terminal(wrapper, prefix, exe, output_on_terminal):
    """Starts the tool with a terminal as standard input (Wine makes it a
    console) and standard output there or in a file (which, unlike a pipe
    nobody reads, never holds a long report up). Answers whether it still
    ran two seconds after its prompt was shown, or 60 s in all."""
    controller, terminal = pty.openpty()
    report = tempfile.TemporaryFile()
    process = subprocess.Popen([wrapper, prefix, exe], stdin=terminal,
                               stdout=terminal if output_on_terminal else report,
                               stderr=subprocess.DEVNULL)
    os.close(terminal)
    report.close()
    shown = b""
    prompted = closed = False
    decide = time.monotonic() + 60
    while process.poll() is None and time.monotonic() < decide:
        if closed:
            time.sleep(0.05)
            continue
        if select.select([controller], [], [], 0.2)[0]:
            try:
                shown += os.read(controller, 65536)
            except OSError:
                # EIO: the terminal's last user closed it, so the program is
                # ending; it is judged once reaped, not before.
                closed = True
                decide = time.monotonic() + 30
                continue
        # Wine's console draws each character between cursor escapes.
        plain = re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]|\s", b"", shown)
        if not prompted and b"Press<Enter>toexit." in plain:
            prompted = True
            decide = time.monotonic() + 2
    waited = process.poll() is None
    if waited:
        os.write(controller, b"\r")
    process.communicate(timeout=60)
    os.close(controller)
    return waited


def check_prompt(wrapper, prefix, exe):
    """The prompt waits where it is seen and not when the report goes
    elsewhere."""
    check(run_at_terminal(wrapper, prefix, exe, True), "console: no wait for Enter")
    check(not run_at_terminal(wrapper, prefix, exe, False),
          "console input, output to a file: waited for Enter")


def parse_report(output):
    """Adapters by index: their addresses with masks and contexts, and their
    gateways."""
    _, records = common.parse_report(output.replace(b"\r\n", b"\n").decode(errors="replace"))
    return {common.number(record["Index"]): {
        "IpAddressList": [(node["IpAddress"], node["IpMask"], node["Context"].split()[0])
                          for node in record["lists"]["IpAddressList"]],
        "GatewayList": [node["IpAddress"] for node in record["lists"]["GatewayList"]],
    } for record in records}


def copy_prefix(prefix, copy):
    """Copies a Wine prefix, hard-linking the system DLLs (most of its size,
    never written). Nothing else may be shared: Wine's server writes its
    registry files in place when they have more than one link, nor the
    name of the folder Wine keeps for the prefix's server."""
    dlls = os.path.join(prefix, "drive_c", "windows")

    def copy_file(source, target):
        if os.path.commonpath([source, dlls]) == dlls and source.lower().endswith(".dll"):
            os.link(source, target)
        else:
            shutil.copy2(source, target)

    shutil.rmtree(copy, ignore_errors=True)
    shutil.copytree(prefix, copy, symlinks=True, copy_function=copy_file,
                    ignore=lambda folder, names: ["wineserver"] if folder == prefix else [])


CHURN_RUNS = 5
# Veth pairs made and deleted in the test's namespace, eight alive at a time;
# bounded, and gone with the namespace.
CHURN = """i=0
while [ $i -lt 20000 ]; do
  ip link add cw$i type veth peer name cx$i
  [ $i -lt 8 ] || ip link del cw$((i - 8))
  i=$((i + 1))
done
"""


def check_netns(wrapper, prefix, exe, native, workdir):
    common.require_namespaces()
    if not os.access(native, os.X_OK):
        common.skip(f"no native build at {native}")
    # A prefix of its own so that Wine's server, which enumerates the
    # adapters, starts inside the namespace.
    ns_prefix = os.path.join(workdir, "netns-prefix")
    with common.namespace("ostrelwin") as ns:
        try:
            copy_prefix(prefix, ns_prefix)
            # Loopback alone is no adapter: the query answers that there is
            # no data and the tool aborts.
            alone = wine(wrapper, ns_prefix, [exe], netns=ns)
            common.run_ip("-n", ns, "-batch", "-",
                          stdin="link add osw0 type veth peer name osw1\n"
                                "addr add 10.77.1.2/24 dev osw0\naddr add 10.78.0.5/16 dev osw0\n"
                                "addr add 10.77.1.1/24 dev osw1\n"
                                "link set osw0 up\nlink set osw1 up\n"
                                "route add default via 10.77.1.1 dev osw0\n")
            windows = wine(wrapper, ns_prefix, [exe], netns=ns)
            linux = subprocess.run(["ip", "netns", "exec", ns, native], stdin=subprocess.DEVNULL,
                                   capture_output=True, timeout=60)
            # Links that come and go all the while: the adapter list grows
            # between the sizing call and the next (Wine's keeps every link
            # it has seen), and every run must still end in a report.
            churn = subprocess.Popen(["ip", "netns", "exec", ns, "sh", "-c", CHURN],
                                     stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            try:
                churned = [wine(wrapper, ns_prefix, [exe], netns=ns) for _ in range(CHURN_RUNS)]
            finally:
                churn.kill()
                churn.wait()
        finally:
            subprocess.run([wrapper, "--stop", ns_prefix], capture_output=True)
            shutil.rmtree(ns_prefix, ignore_errors=True)

    check(alone.returncode == 1 and b"IP_ADAPTER_INFO:" not in alone.stdout,
          f"Windows build with loopback alone: exit status {alone.returncode}, "
          f"{alone.stdout.count(b'IP_ADAPTER_INFO:')} records")
    check(windows.returncode == 0, f"Windows build: exit status {windows.returncode}")
    failed = [[line for line in run.stdout.split(b"\r\n") if line.startswith(b"Calling")][-1:]
              for run in churned if run.returncode != 0]
    check(not failed, f"{len(failed)} of {CHURN_RUNS} runs under churn failed: {failed}")
    check(linux.returncode == 0, f"Linux build: exit status {linux.returncode}")
    ours, theirs = parse_report(windows.stdout), parse_report(linux.stdout)
    check(len(ours) >= 2, f"Windows build reported {sorted(ours)}")
    # The Linux build keeps lo (index 1 in every namespace), as ip does;
    # the Windows build leaves the loopback out.
    lo = 1
    check(sorted(ours) == sorted(set(theirs) - {lo}) and lo in theirs,
          f"adapter indexes differ: Windows {sorted(ours)}, Linux {sorted(theirs)} but lo")
    for index in sorted(set(ours) & set(theirs)):
        for name in ("IpAddressList", "GatewayList"):
            check(ours[index][name] == theirs[index][name],
                  f"adapter {index}: {name} {ours[index][name]} against {theirs[index][name]}")
    seen = [entry for lists in ours.values() for entry in lists["IpAddressList"]]
    # Context: the address's bytes in network order read as a number.
    check(("10.77.1.2", "255.255.255.0", "0x2014d0a") in seen
          and ("10.78.0.5", "255.255.0.0", "0x5004e0a") in seen,
          f"the namespace's addresses are missing: {seen}")
    check(any(lists["GatewayList"] == ["10.77.1.1"] for lists in ours.values()),
          "the default gateway is missing")
    print("adapters:", {index: ours[index] for index in sorted(ours)})
    finish()


def check_version(wrapper, prefix, exe, tool, res, native, workdir):
    if not os.access(native, os.X_OK):
        common.skip(f"no native build at {native}")
    if shutil.which("objcopy") is None:
        common.skip("objcopy is missing")
    # The Linux build with the record the Windows build links in, so both
    # readers work on the same compiled resource.
    copy = os.path.join(fresh_dir(os.path.join(workdir, "version")), "Ostrel")
    subprocess.run(["objcopy", "--remove-section", ".ostrel_resources", "--add-section",
                    f".ostrel_resources={res}", native, copy], check=True)
    linux = subprocess.run([copy], stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
    real = wine(wrapper, prefix, [tool, "version", exe])
    banner = wine(wrapper, prefix, [exe])
    print(f"Linux reader: {version_line(linux.stdout)!r}, real VerQueryValueA: "
          f"{real.stdout.decode()!r}, Windows banner: {version_line(banner.stdout)!r}")
    check(real.returncode == 0 and real.stdout == b"1, 0, 0, 2",
          f"real VerQueryValueA found {real.stdout!r}")
    check(version_line(linux.stdout) == real.stdout.decode(),
          "the Linux reader and the real one disagree")
    check(version_line(banner.stdout) == real.stdout.decode(), "the Windows banner disagrees")
    finish()


def main():
    mode, args = sys.argv[1], sys.argv[2:]
    checks = {"run": check_run, "netns": check_netns, "version": check_version}
    checks[mode](*args)


if __name__ == "__main__":
    main()
