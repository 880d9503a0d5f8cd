#!/usr/bin/env python3
"""Turns bench/run.sh's measurements into the Markdown table and the target
lines. Input: one tab-separated line per size (interfaces, hyperfine JSON file,
Ostrel peak RSS KiB, ip peak RSS KiB). Exit status 1 if a target is missed."""

import json
import sys


def fail(message):
    print("table.py: " + message, file=sys.stderr)
    sys.exit(2)

RSS_LIMIT_KIB = 8192
RATIO_LIMIT = 0.6
GROWTH_LIMIT = 1.5


def mean_ms(results, name):
    for result in results:
        if result["command"] == name:
            return result["mean"] * 1000.0, result["stddev"] * 1000.0
    fail("no hyperfine result for %s" % name)


def read_rows(path):
    rows = []
    with open(path) as lines:
        for line in lines:
            size, json_path, ostrel_rss, ip_rss = line.rstrip("\n").split("\t")
            with open(json_path) as f:
                results = json.load(f)["results"]
            ostrel, ostrel_dev = mean_ms(results, "Ostrel")
            ip, ip_dev = mean_ms(results, "ip")
            rows.append({
                "n": int(size), "ostrel": ostrel, "ostrel_dev": ostrel_dev, "ip": ip,
                "ip_dev": ip_dev, "ostrel_rss": int(ostrel_rss), "ip_rss": int(ip_rss),
                "per_if": ostrel * 1000.0 / int(size),
            })
    return rows


def print_table(rows):
    print("| interfaces | Ostrel mean ms | ip mean ms | ratio Ostrel/ip "
          "| Ostrel peak RSS KiB | ip peak RSS KiB | Ostrel µs per interface |")
    print("|---:|---:|---:|---:|---:|---:|---:|")
    for r in rows:
        print("| %d | %.2f ± %.2f | %.2f ± %.2f | %.2f | %d | %d | %.1f |" % (
            r["n"], r["ostrel"], r["ostrel_dev"], r["ip"], r["ip_dev"],
            r["ostrel"] / r["ip"], r["ostrel_rss"], r["ip_rss"], r["per_if"]))


def check_targets(rows):
    """(passed, text) per target; a target whose sizes were not measured is
    left out."""
    checks = []
    worst = max(rows, key=lambda r: r["ostrel"] / r["ip"])
    checks.append((worst["ostrel"] / worst["ip"] <= RATIO_LIMIT,
                   "ratio Ostrel/ip <= %.1f at every size (highest %.2f at %d)"
                   % (RATIO_LIMIT, worst["ostrel"] / worst["ip"], worst["n"])))
    by_size = {r["n"]: r for r in rows}
    if 1000 in by_size and 4000 in by_size:
        growth = by_size[4000]["per_if"] / by_size[1000]["per_if"]
        checks.append((growth <= GROWTH_LIMIT,
                       "time per interface at 4000 within %.1fx of 1000 (%.1f vs %.1f µs: %.2fx)"
                       % (GROWTH_LIMIT, by_size[4000]["per_if"], by_size[1000]["per_if"],
                          growth)))
    if 4000 in by_size:
        rss = by_size[4000]["ostrel_rss"]
        checks.append((rss <= RSS_LIMIT_KIB,
                       "Ostrel peak RSS at 4000 <= %d KiB (%d KiB)" % (RSS_LIMIT_KIB, rss)))
    return checks


def main():
    if len(sys.argv) != 2:
        fail("usage: table.py RESULTS.tsv")
    rows = read_rows(sys.argv[1])
    if not rows:
        fail("no measurements")
    print_table(rows)
    print()
    checks = check_targets(rows)
    for passed, text in checks:
        print("- %s: %s" % ("PASS" if passed else "FAIL", text))
    return 0 if all(passed for passed, _ in checks) else 1


if __name__ == "__main__":
    sys.exit(main())
