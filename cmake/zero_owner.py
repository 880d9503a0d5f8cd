#!/usr/bin/env python3
"""Records owner and group 0 (root) for every entry of a .tar.gz or .zip
made by cpack, which takes them from whoever runs it, so that builds by
different users give the same bytes. Everything else stays as it is.

Usage: zero_owner.py ARCHIVE...
"""
import gzip
import io
import struct
import sys
import tarfile

OWNER_KEYS = ("uid", "gid", "uname", "gname")


def rewrite_tarball(path):
    out = io.BytesIO()
    with tarfile.open(path, "r:gz") as source:
        # No file name and no time in the gzip header.
        with gzip.GzipFile(filename="", mode="wb", fileobj=out, mtime=0) as packed:
            with tarfile.open(fileobj=packed, mode="w", format=tarfile.PAX_FORMAT) as target:
                for member in source:
                    data = source.extractfile(member) if member.isfile() else None
                    member.uid = member.gid = 0
                    member.uname = member.gname = "root"
                    for key in OWNER_KEYS:
                        member.pax_headers.pop(key, None)
                    target.addfile(member, data)
    with open(path, "wb") as file:
        file.write(out.getvalue())


def zero_unix_extra(data, start, length):
    """Zeroes the owner numbers in the Info-ZIP Unix extra field ("ux")."""
    at, end = start, start + length
    while at + 4 <= end:
        tag, size = struct.unpack_from("<HH", data, at)
        body, after = at + 4, min(at + 4 + size, end)
        if tag == 0x7875 and size >= 1:
            field = body + 1  # past the version byte
            for _ in range(2):  # uid, then gid, each a size byte and the number
                if field >= after:
                    break
                width = data[field]
                stop = min(field + 1 + width, after)
                data[field + 1:stop] = bytes(stop - field - 1)
                field = stop
        at = body + size


def rewrite_zip(path):
    with open(path, "rb") as file:
        data = bytearray(file.read())
    end = data.rfind(b"PK\x05\x06")
    if end < 0 or end + 22 > len(data):
        sys.exit("zero_owner.py: %s has no end of central directory" % path)
    count, _, directory = struct.unpack_from("<HII", data, end + 10)
    at = directory
    for _ in range(count):
        if data[at:at + 4] != b"PK\x01\x02":
            sys.exit("zero_owner.py: %s: damaged central directory" % path)
        name, extra, comment = struct.unpack_from("<HHH", data, at + 28)
        local = struct.unpack_from("<I", data, at + 42)[0]
        zero_unix_extra(data, at + 46 + name, extra)
        if data[local:local + 4] != b"PK\x03\x04":
            sys.exit("zero_owner.py: %s: damaged local header" % path)
        local_name, local_extra = struct.unpack_from("<HH", data, local + 26)
        zero_unix_extra(data, local + 30 + local_name, local_extra)
        at += 46 + name + extra + comment
    with open(path, "wb") as file:
        file.write(data)


for archive in sys.argv[1:]:
    if archive.endswith(".tar.gz"):
        rewrite_tarball(archive)
    elif archive.endswith(".zip"):
        rewrite_zip(archive)
