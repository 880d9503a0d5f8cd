#!/usr/bin/env python3
"""Each hardening property of a built executable, read back with objdump.
--unfortified: the build asked for no fortified calls (not optimised, or the
builder's flags turned them off), so none are expected.

Usage: hardening.py EXECUTABLE OBJDUMP [--unfortified]
"""
import re
import subprocess
import sys

DF_BIND_NOW = 0x8
DF_1_NOW = 0x1
DF_1_PIE = 0x08000000


def objdump(tool, option, binary):
    return subprocess.run([tool, option, binary], check=True, stdout=subprocess.PIPE,
                          universal_newlines=True).stdout


def dynamic_value(headers, name):
    found = re.search(r"^\s+%s\s+0x([0-9a-f]+)$" % name, headers, re.M)
    return int(found.group(1), 16) if found else 0


def fortified(symbols):
    """Checked library calls such as __printf_chk, not the stack guard's."""
    return any("stack_chk" not in name for name in re.findall(r"\w+_chk\b", symbols))


def elf_checks(tool, binary):
    headers = objdump(tool, "-p", binary)
    symbols = objdump(tool, "-T", binary)
    flags = dynamic_value(headers, "FLAGS")
    flags_1 = dynamic_value(headers, "FLAGS_1")
    stack = re.search(r"STACK off.*\n.*flags (\S+)", headers)
    return [
        ("position-independent executable", bool(flags_1 & DF_1_PIE)),
        ("read-only relocations (RELRO)", re.search(r"^\s+RELRO off", headers, re.M) is not None),
        ("symbols bound at start-up (BIND_NOW)",
         bool(flags & DF_BIND_NOW) or bool(flags_1 & DF_1_NOW)),
        ("stack not executable", stack is not None and "x" not in stack.group(1)),
        ("stack protector", "__stack_chk_fail" in symbols),
        ("fortified calls", fortified(symbols)),
    ]


def pe_checks(tool, binary):
    headers = objdump(tool, "-p", binary)
    sections = objdump(tool, "-h", binary)
    symbols = objdump(tool, "-t", binary)
    characteristics = re.search(r"^DllCharacteristics\s+([0-9a-f]+)", headers, re.M)
    value = int(characteristics.group(1), 16) if characteristics else 0
    checks = [
        ("ASLR (DYNAMIC_BASE)", bool(value & 0x40)),
        ("relocations kept for ASLR", re.search(r"\s\.reloc\s", sections) is not None),
        ("DEP (NX_COMPAT)", bool(value & 0x100)),
        ("stack protector", "__stack_chk_fail" in symbols),
        ("fortified calls", fortified(symbols)),
    ]
    if "(PE32+)" in headers:
        checks.append(("high-entropy ASLR (HIGH_ENTROPY_VA)", bool(value & 0x20)))
    return checks


def main():
    binary, tool = sys.argv[1], sys.argv[2]
    with open(binary, "rb") as f:
        magic = f.read(4)
    checks = elf_checks(tool, binary) if magic == b"\x7fELF" else pe_checks(tool, binary)
    if "--unfortified" in sys.argv[3:]:
        checks = [(name, None if name == "fortified calls" else ok) for name, ok in checks]
    failed = [name for name, ok in checks if ok is False]
    for name, ok in checks:
        print("%-40s %s" % (name, "not asked for" if ok is None else "ok" if ok else "MISSING"))
    if failed:
        print("FAIL: %s lacks %s" % (binary, ", ".join(failed)))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
