#!/usr/bin/env python3
"""Runs the real binary with hostile invocation names and broken standard
streams, and checks that it neither crashes nor reports a failed write as a
success."""
import os
import pty
import re
import select
import subprocess
import sys

BINARY = os.path.abspath(sys.argv[1])
FALLBACK = b"Version 0, 0, 0, 0 \n"
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def run(argv0, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, **kw):
    return subprocess.run([argv0], executable=BINARY, stdin=stdin, stdout=stdout,
                          stderr=subprocess.PIPE, timeout=60, **kw)


baseline = run(BINARY)
check(baseline.returncode in (0, 1), f"plain run ended with {baseline.returncode}")
check(baseline.stdout.endswith(b"\nPress <Enter> to exit.\n"), "plain run has no prompt")

# Names that cannot take the suffix within the path limit are not looked up;
# the banner falls back and nothing is written past the name buffer.
for length in (259, 260, 5000, 100000):
    name = "/" + "d" * (length - 1)
    result = run(name)
    check(result.returncode == baseline.returncode,
          f"name of {length} characters: status {result.returncode}")
    check(FALLBACK in result.stdout, f"name of {length} characters: no fallback version")
    check(result.stdout.endswith(b"Press <Enter> to exit.\n"),
          f"name of {length} characters: report cut short")

# A report that cannot be written must not end in success.
for where, redirect in (("on /dev/full", ">/dev/full"), ("closed", ">&-")):
    result = subprocess.run(["sh", "-c", 'exec "$0" ' + redirect, BINARY],
                            stdin=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60)
    check(result.returncode == 1, f"stdout {where}: status {result.returncode}")
    check(b"could not be written" in result.stderr, f"stdout {where}: no message on stderr")


def comparable(report):
    """The report without heap addresses and lease times, which two runs
    may read a second apart."""
    return re.sub(rb"(Next|LeaseObtained|LeaseExpires): .*", rb"\1", report)


# With standard input closed the final read returns at once, and the files
# the run opens land on descriptor 0: the report must not notice.
result = subprocess.run(["sh", "-c", 'exec "$0" <&-', BINARY], stdout=subprocess.PIPE,
                        stderr=subprocess.PIPE, timeout=60)
check(result.returncode == baseline.returncode, f"stdin closed: status {result.returncode}")
check(comparable(result.stdout) == comparable(run(BINARY).stdout), "stdin closed: another report")

# Typed at a terminal: the prompt waits for Enter only when it is on screen.
# Piped or redirected, it is printed but not waited for, so `Ostrel | head`
# ends and a pager on the same terminal keeps its first key.
def run_at_terminal(stdout_is_terminal):
    controller, terminal = pty.openpty()
    try:
        process = subprocess.Popen([BINARY], stdin=terminal,
                                   stdout=terminal if stdout_is_terminal else subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        try:
            process.wait(timeout=1.5 if stdout_is_terminal else 30)
            waited = False
        except subprocess.TimeoutExpired:
            waited = True
        os.write(controller, b"\n")
        process.wait(timeout=30)
        out = b"" if stdout_is_terminal else process.stdout.read()
        return waited, out
    finally:
        os.close(controller)
        os.close(terminal)


waited, out = run_at_terminal(stdout_is_terminal=True)
check(waited, "stdin and stdout a terminal: did not wait for Enter")
waited, out = run_at_terminal(stdout_is_terminal=False)
check(not waited, "stdin a terminal, stdout a pipe: waited for Enter")
check(out.endswith(b"\nPress <Enter> to exit.\n"), "stdin a terminal, stdout a pipe: no prompt")

# A key piped in by a script that sends it late: the report is out whole
# before the key, for a reader at the pipe's far end (a container's log).
def report_before_key():
    process = subprocess.Popen([BINARY], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL)
    out = b""
    try:
        while not out.endswith(b"Press <Enter> to exit.\n"):
            ready, _, _ = select.select([process.stdout], [], [], 30)
            chunk = os.read(process.stdout.fileno(), 65536) if ready else b""
            if not chunk:
                break
            out += chunk
    finally:
        process.stdin.write(b"\n")
        process.stdin.close()
        rest = process.stdout.read()
        process.wait(timeout=30)
    return out, rest


out, rest = report_before_key()
check(out.endswith(b"\nPress <Enter> to exit.\n") and rest == b"",
      f"key sent late: {len(out)} bytes before the key, {len(rest)} after")

for failure in failures:
    print("FAIL:", failure)
print("all checks passed" if not failures else f"{len(failures)} checks failed")
sys.exit(1 if failures else 0)
