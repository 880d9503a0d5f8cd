#!/usr/bin/env python3
"""Writes the seeds of fuzz_version_file from what the build made, so that
the tree holds no executables: the build's own executable cut down to a few
sections, whole and truncated, and a copy whose FileVersion node is binary;
the compiled record in objects of both classes and byte orders; the head of
a Windows executable.

Usage: make_version_seeds.py OBJCOPY EXECUTABLE RECORD.res OUTPUT-DIR
(OBJCOPY: GNU objcopy, which writes ELF objects of any class and byte order)
"""
import os
import struct
import subprocess
import sys

KEEP = (".interp", ".note.gnu.build-id", ".note.ABI-tag", ".ostrel_resources", ".comment")
FILE_VERSION_KEY = "FileVersion".encode("utf-16-le")


def objcopy(tool, *arguments):
    """Runs objcopy, whose warnings about the cut-down copy say nothing new."""
    run = subprocess.run([tool] + list(arguments), stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                         universal_newlines=True)
    if run.returncode != 0:
        sys.exit("make_version_seeds.py: %s failed:\n%s" % (tool, run.stdout))


def write(folder, name, data):
    with open(os.path.join(folder, name), "wb") as file:
        file.write(data)


def binary_file_version(image):
    """The same image with the FileVersion node's type word (1: text) set
    to 0 (binary); the word sits just before the node's key."""
    at = image.find(FILE_VERSION_KEY)
    if at < 6 or image[at - 2:at] != b"\x01\x00":
        sys.exit("make_version_seeds.py: no FileVersion text node in the executable")
    return image[:at - 2] + b"\x00\x00" + image[at:]


def windows_head():
    """A 32-bit console executable's headers, no sections: an MZ stub that
    points at a PE signature, the file header and an optional header."""
    stub = struct.pack("<2s58xI", b"MZ", 0x80).ljust(0x80, b"\0")
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", 0x14C, 0, 0, 0, 0, 0xE0, 0x102)
    optional = struct.pack("<HBB9I6H4I2H", 0x10B, 2, 30, 0, 0, 0, 0x1000, 0x1000, 0, 0x400000,
                           0x1000, 0x200, 4, 0, 0, 0, 4, 0, 0, 0x1000, 0x200, 0, 3, 0x140)
    return (stub + coff + optional).ljust(1024, b"\0")


def main(tool, executable, record, folder):
    os.makedirs(folder, exist_ok=True)
    native = os.path.join(folder, "native")
    objcopy(tool, *["--only-section=" + name for name in KEEP], executable, native)
    with open(native, "rb") as file:
        image = file.read()
    write(folder, "native_binary_version", binary_file_version(image))
    write(folder, "native_truncated", image[:len(image) // 2])
    header_size = 64 if image[4] == 2 else 52
    write(folder, "elf_header_only", image[:header_size])
    for bits in (32, 64):
        for order in ("little", "big"):
            objcopy(tool, "-I", "binary", "-O", "elf%d-%s" % (bits, order), "--rename-section",
                    ".data=.ostrel_resources,alloc,load,readonly,data", record,
                    os.path.join(folder, "object%d_%s" % (bits, order)))
    write(folder, "windows_header", windows_head())


if __name__ == "__main__":
    if len(sys.argv) != 5:
        sys.exit(__doc__)
    main(*sys.argv[1:])
