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


# Another user's id: root's checks plant files of someone else.
NOBODY = 65534 if os.geteuid() == 0 else -1


def forged_version(exe, text):
    """The bytes of exe with its version text replaced by one as long."""
    with open(exe, "rb") as original:
        return original.read().replace("1, 0, 0, 2".encode("utf-16-le"), text.encode("utf-16-le"))


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
        # The packages' lowercase link, run by its path, leads back to the file.
        lower = os.path.join(bindir, "ostrel")
        os.symlink("Ostrel", lower)
        check("link ostrel by full path", version_line([lower], lower, elsewhere), RECORD)
        # A bare name, or none, is the running program, never a file in the current folder.
        with open(os.path.join(elsewhere, "Ostrel.com"), "wb") as forged:
            forged.write(forged_version(exe, "6, 6\x1b[1m\n6"))
        for name in ("Ostrel.com", "Ostrel.COM", ""):
            check("exec -a " + name, through_path(bindir, 'exec -a "$0" "$1"', name, exe), RECORD)

        # Root running a copy in a folder anyone may write to, where another
        # user left a sound executable of another version, or a link to a
        # file only root may read, as Ostrel.exe: only the running file is read.
        shared = os.path.join(work, "shared")
        os.mkdir(shared)
        os.chmod(shared, 0o1777)
        copy = os.path.join(shared, "Ostrel")
        shutil.copy2(exe, copy)
        secret = os.path.join(work, "secret")
        with open(secret, "wb") as other:
            other.write(forged_version(exe, "9, 9, 9, 9"))
        os.chmod(secret, 0o600)
        planted = os.path.join(shared, "Ostrel.exe")
        for what, plant in (("a forged Ostrel.exe", lambda: shutil.copy(secret, planted)),
                            ("a link Ostrel.exe", lambda: os.symlink(secret, planted))):
            plant()
            os.lchown(planted, NOBODY, NOBODY)
            check("1777 folder, " + what, version_line(["./Ostrel"], copy, shared), RECORD)
            check("1777 folder, " + what + ", full path",
                  version_line([copy + ".exe"], copy, elsewhere), RECORD)
            os.unlink(planted)

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
