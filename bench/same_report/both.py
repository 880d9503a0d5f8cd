#!/usr/bin/env python3
"""Stands in for Ostrel in the integration scenarios: runs OSTREL_OLD, then
OSTREL_NEW, in the same place with the same input, keeps both reports in
OSTREL_LOG with the chain links and other heap pointers masked, and answers
as OSTREL_NEW did."""
import os
import re
import subprocess
import sys
import time

data = b"" if sys.stdin is None or sys.stdin.isatty() else sys.stdin.buffer.read()
runs = [subprocess.run([os.environ[name]] + sys.argv[1:], input=data, capture_output=True)
        for name in ("OSTREL_OLD", "OSTREL_NEW")]
POINTER = re.compile(rb"(?m)^(\s*(?:Next|Address):\s+)0x[0-9a-f]+(?: \(\d+\))?")
stamp = "%d.%d" % (time.time_ns(), os.getpid())
for tag, run in zip(("old", "new"), runs):
    with open(os.path.join(os.environ["OSTREL_LOG"], stamp + "." + tag), "wb") as out:
        out.write(POINTER.sub(rb"\1<pointer>", run.stdout) + b"\n-- standard error\n" +
                  run.stderr + b"\n-- exit %d\n" % run.returncode)
sys.stdout.buffer.write(runs[1].stdout)
sys.stderr.buffer.write(runs[1].stderr)
sys.exit(runs[1].returncode)
