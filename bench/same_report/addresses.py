#!/usr/bin/env python3
"""The unicast IPv4 addresses a lease fixture tree mentions: dotted quads in
its files, and the yiaddr of dhcpcd's raw replies."""
import os
import re
import sys

found = []
for folder, _, files in os.walk(sys.argv[1]):
    for name in files:
        data = open(os.path.join(folder, name), "rb").read()
        if name.endswith(".lease") and "dhcpcd" in folder and len(data) >= 20:
            found.append(".".join(str(b) for b in data[16:20]))
        found += [m.decode() for m in re.findall(rb"(?<![\d.])(?:\d{1,3}\.){3}\d{1,3}(?![\d.])", data)]
kept = []
for address in found:
    parts = [int(p) for p in address.split(".")]
    if max(parts) <= 255 and 0 < parts[0] < 224 and parts[0] != 127 and address not in kept:
        kept.append(address)
print(" ".join(kept[:40]))
