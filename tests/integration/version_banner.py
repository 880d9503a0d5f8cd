#!/usr/bin/env python3
"""The banner of the real executable under every name it may be started by.

Usage: version_banner.py PATH-TO-Ostrel
"""
import os
import shutil
import subprocess
import sys
import tempfile

RECORD = "Version 1, 0, 0, 2 \n"
FALLBACK = "Version 0, 0, 0, 0 \n"
BASH = shutil.which("bash") or "/bin/bash"


def version_line(argv, executable, cwd, path_env=None):
    env = dict(os.environ)
    if path_env is not None:
        env["PATH"] = path_env
    run = subprocess.run(argv, executable=executable, cwd=cwd, env=env,
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.PIPE, timeout=30)
    lines = run.stdout.decode("utf-8", "replace").splitlines(keepends=True)
    return lines[2] if len(lines) > 2 else "<no banner: %r>" % run.stdout[:200]


def main():
    binary = os.path.abspath(sys.argv[1])
    failures = []

    def check(what, line, expected):
        status = "ok" if line == expected else "FAILED"
        print("%-40s %s %r" % (what, status, line))
        if line != expected:
            failures.append(what)

    with tempfile.TemporaryDirectory() as work:
        bindir = os.path.join(work, "bin")
        elsewhere = os.path.join(work, "elsewhere")
        for d in (bindir, elsewhere):
            os.mkdir(d)
        exe = os.path.join(bindir, "Ostrel")
        shutil.copy2(binary, exe)
        system_path = os.environ.get("PATH", "/usr/bin:/bin")

        def through_path(folder, *command):
            path = folder + ":" + system_path
            return version_line(["bash", "-c", *command], BASH, elsewhere, path)

        check("full path", version_line([exe], exe, elsewhere), RECORD)
        # The shell hands the bare name on when it finds it through PATH.
        check("bare name through PATH", through_path(bindir, "Ostrel"), RECORD)
        # The Windows build in the same folder carries its record in a form
        # this build does not read; the name without ".exe" is read instead.
        with open(os.path.join(bindir, "Ostrel.exe"), "wb") as pe:
            pe.write(b"MZ\x90\x00" + bytes(4092))
        check("./Ostrel beside Ostrel.exe", version_line(["./Ostrel"], exe, bindir), RECORD)
        link = os.path.join(bindir, "Ostrel.EXE")
        os.symlink(exe, link)
        check("symlink Ostrel.EXE by full path", version_line([link], link, elsewhere), RECORD)
        # A bare name, or none, is the running program, never a file in the current folder.
        with open(os.path.join(elsewhere, "Ostrel.com"), "wb") as forged:
            forged.write(open(exe, "rb").read().replace("1, 0, 0, 2".encode("utf-16-le"),
                                                        "6, 6\x1b[1m\n6".encode("utf-16-le")))
        for name in ("Ostrel.com", "Ostrel.COM", ""):
            check("exec -a " + name, through_path(bindir, 'exec -a "$0" "$1"', name, exe), RECORD)

        bare = os.path.join(work, "bare", "Ostrel")
        os.mkdir(os.path.dirname(bare))
        subprocess.run(["objcopy", "--remove-section", ".ostrel_resources", exe, bare], check=True)
        check("record section removed", version_line([bare], bare, elsewhere), FALLBACK)

    if failures:
        print("failed: " + ", ".join(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
