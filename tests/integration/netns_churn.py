#!/usr/bin/env python3
"""Ostrel runs 500 times in a namespace whose interfaces and addresses are
created and deleted all the while, then 100 times more with 4000 interfaces
beside the churn: every run must succeed with complete blocks and a chain
that ends where the printed records end. The runs are counted, not timed:
how long they take on a busy machine is shown, never judged (the dump
loop's bound on its retries is a unit test's; the speed is the
benchmark's). A run that does not end at all is a fault."""

import os
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # the source tree stays as it was
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import netns_common as common  # noqa: E402

RUNS = 500
HEAVY_RUNS = 100
HEAVY_PAIRS = 2000
# A run takes well under a second; one still going after this has hung.
HUNG_SECONDS = 300
# Eight veth pairs with addresses come and go in one batch per round, the
# rounds apart by the pause given.
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
  sleep "$3"
done
"""


def start_churn(name, rounds_file, pause):
    return subprocess.Popen(["sh", "-c", CHURN, "churn", name, rounds_file, str(pause)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)


def run_phase(ostrel, name, runs, failures, label):
    """Runs Ostrel the given number of times, or until more than five
    failed; returns the number of runs, their times and the record counts
    seen."""
    done = 0
    times = []
    seen = set()
    while done < runs:
        began = time.time()
        done += 1
        where = "%s run %d" % (label, done)
        try:
            result = common.run_ostrel(ostrel, name, timeout=HUNG_SECONDS)
        except subprocess.TimeoutExpired:
            failures.append("%s: no end within %d s" % (where, HUNG_SECONDS))
            break
        times.append(time.time() - began)
        if result.returncode != 0:
            lines = [line for line in result.stdout.splitlines() if line.startswith("Calling")]
            failures.append("%s: exit status %d after %.1f s, %r"
                            % (where, result.returncode, times[-1], lines[-1:]))
            continue
        try:
            queries, records = common.parse_report(result.stdout)
            needed = int(queries[-1].split("= ")[1].split(":")[0])
            common.check_links(records, needed)
            seen.add(len(records))
            if not queries[-1].endswith("completed successfully."):
                failures.append("%s: last query line %r" % (where, queries[-1]))
        except (common.ReportError, IndexError, ValueError) as error:
            failures.append("%s: %s" % (where, error))
        if len(failures) > 5:
            break
    return done, times, seen


def describe(times):
    ordered = sorted(times) or [0.0]
    return "median %.2f s, p99 %.2f s, slowest %.2f s" % (
        ordered[len(ordered) // 2], ordered[min(len(ordered) - 1, len(ordered) * 99 // 100)],
        ordered[-1])


def main():
    ostrel = common.ostrel_argument("netns_churn.py")
    failures = []
    work = tempfile.TemporaryDirectory(prefix="ostrel_churn_")
    rounds_file = os.path.join(work.name, "rounds")
    setup = "addr add 10.99.0.1/24 dev base\nroute add default via 10.99.0.254 dev base\n"
    with common.namespace("ostrel_churn", pairs=[("base", "peer")], setup=setup) as name:
        churn = start_churn(name, rounds_file, 0)
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
            runs, times, seen = run_phase(ostrel, name, RUNS, failures, "small")
            elapsed = time.time() - started
            print("%d runs in %.1f s; record counts seen: %s; %s"
                  % (runs, elapsed, sorted(seen), describe(times)))
            if len(failures) <= 5:
                common.run_ip("-n", name, "-batch", "-", stdin="".join(
                    "link add h%d type veth peer name k%d\n" % (i, i)
                    for i in range(HEAVY_PAIRS)))
                # Back to back, a round of the churn leaves a dump of this
                # size no gap to get through at all; 50 ms apart they still
                # interrupt most dumps.
                churn.kill()
                churn.wait()
                churn = start_churn(name, rounds_file, 0.05)
                started = time.time()
                heavy, times, seen = run_phase(ostrel, name, HEAVY_RUNS, failures, "large")
                print("%d runs with %d more interfaces in %.1f s; %s"
                      % (heavy, 2 * HEAVY_PAIRS, time.time() - started, describe(times)))
        finally:
            churn.kill()
            churn.wait()
    try:
        with open(rounds_file) as f:
            rounds = int(f.read().strip() or 0)
    except (OSError, ValueError):
        rounds = 0
    work.cleanup()
    if rounds == 0:
        failures.append("the churn loop never completed a round: " + churn.stderr.read())
    return common.finish(failures, "", "against %d churn rounds" % rounds)


if __name__ == "__main__":
    sys.exit(main())
