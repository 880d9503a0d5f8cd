#!/usr/bin/env python3
"""The closing summary of scripts/check.sh: tests run, passed, failed and
skipped per build, and every skipped test with the reason it printed.

Usage: test_summary.py [--not-root] NAME=JUNIT.xml...
"""
import itertools
import sys
import xml.etree.ElementTree as ElementTree


def reason(case):
    out = case.findtext("system-out") or ""
    lines = [line.strip() for line in out.splitlines() if line.strip()]
    # GoogleTest prints "FILE:LINE: Skipped", the reason, then "[  SKIPPED ]".
    for at, line in enumerate(lines):
        if line.endswith(": Skipped"):
            said = itertools.takewhile(lambda text: not text.startswith("["), lines[at + 1:])
            return " ".join(said) or "no reason given"
    marked = [line for line in lines if line.startswith("SKIP")]
    if marked:
        return marked[-1]
    if lines:
        return lines[-1]
    return case.find("skipped").get("message", "no reason given")


def main(argv):
    not_root = "--not-root" in argv
    skipped = []
    failed_total = 0
    for argument in (a for a in argv if a != "--not-root"):
        name, _, path = argument.partition("=")
        try:
            suite = ElementTree.parse(path).getroot()
        except (OSError, ElementTree.ParseError):
            print("%-9s no results (the step did not get to its tests)" % name)
            continue
        cases = suite.findall("testcase")
        missed = [c for c in cases if c.find("skipped") is not None]
        failed = [c for c in cases if c.find("failure") is not None or
                  c.find("error") is not None]
        failed_total += len(failed)
        print("%-9s %3d tests: %3d passed, %d failed, %d skipped" %
              (name, len(cases), len(cases) - len(missed) - len(failed), len(failed),
               len(missed)))
        skipped += [(name, c.get("name"), reason(c)) for c in missed]
    if skipped:
        print("skipped, with the reason each test gave:")
        for build, test, why in skipped:
            print("  %s %s: %s" % (build, test, why))
        if not_root:
            print("%d skipped tests: run bash scripts/check.sh as root to run them" %
                  len(skipped))
    return 1 if failed_total else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
