#!/usr/bin/env python3
"""Ostrel runs 500 times in a namespace whose interfaces and addresses are
created and deleted all the while: every run must succeed with complete
blocks and a chain that ends where the printed records end."""

import os
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

RUNS = 500
BUDGET_SECONDS = 100
# Eight veth pairs with addresses come and go in one batch per round.
CHURN = """\
set -e
n=0
while :; do
  {
    for i in 0 1 2 3 4 5 6 7; do
      echo "link add c$i type veth peer name d$i"
      echo "addr add 10.88.$i.1/24 dev c$i valid_lft 600 preferred_lft 600"
      echo "link set c$i up"
    done
    for i in 0 1 2 3 4 5 6 7; do
      echo "link del c$i"
    done
  } | ip -n "$1" -batch - >/dev/null
  n=$((n + 1))
  echo $n > "$2"
done
"""


def main():
    ostrel = common.ostrel_argument("netns_churn.py")
    failures = []
    rounds_file = "/tmp/ostrel_churn_%d" % os.getpid()
    with common.namespace("ostrel_churn") as name:
        common.run_ip("-n", name, "-batch", "-",
                      stdin="link add base type veth peer name peer\n"
                            "addr add 10.99.0.1/24 dev base\n"
                            "link set base up\nlink set peer up\n"
                            "route add default via 10.99.0.254 dev base\n")
        churn = subprocess.Popen(["sh", "-c", CHURN, "churn", name, rounds_file],
                                 stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
        try:
            # The kernel may still be tearing down namespaces of earlier
            # tests, which holds up link creation for seconds: the runs only
            # count once the churn is really going.
            waited = time.time()
            while not os.path.exists(rounds_file) and time.time() - waited < 60:
                if churn.poll() is not None:
                    break
                time.sleep(0.05)
            started = time.time()
            runs = 0
            seen = set()
            while runs < RUNS and time.time() - started < BUDGET_SECONDS:
                result = common.run_ostrel(ostrel, name)
                runs += 1
                if result.returncode != 0:
                    failures.append("run %d: exit status %d" % (runs, result.returncode))
                    continue
                try:
                    queries, records = common.parse_report(result.stdout)
                    needed = int(queries[-1].split("= ")[1].split(":")[0])
                    common.check_links(records, needed)
                    seen.add(len(records))
                    if not queries[-1].endswith("completed successfully."):
                        failures.append("run %d: last query line %r" % (runs, queries[-1]))
                except (common.ReportError, IndexError, ValueError) as error:
                    failures.append("run %d: %s" % (runs, error))
                if len(failures) > 5:
                    break
            elapsed = time.time() - started
        finally:
            churn.kill()
            churn.wait()
    try:
        with open(rounds_file) as f:
            rounds = int(f.read().strip() or 0)
        os.unlink(rounds_file)
    except (OSError, ValueError):
        rounds = 0
    for failure in failures:
        print("FAIL: " + failure)
    if runs < RUNS:
        failures.append("only %d runs within %d s" % (runs, BUDGET_SECONDS))
        print("FAIL: " + failures[-1])
    if rounds == 0:
        print("FAIL: the churn loop never completed a round: " + churn.stderr.read())
        return 1
    print("%d runs in %.1f s against %d churn rounds; record counts seen: %s"
          % (runs, elapsed, rounds, sorted(seen)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
