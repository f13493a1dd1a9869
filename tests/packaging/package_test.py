#!/usr/bin/env python3
"""Builds the Debian package and the tarball from the build tree, unpacks the .deb into a
scratch root as dpkg would, and runs each program from there."""
import os
import subprocess
import sys
import tarfile
import tempfile

PROGRAMS = ["vorlan-viewer", "vorlan-replay", "vorlan-totext", "vorlan-tohtml", "vorlan-tocast",
            "rawcopy"]
PAGES = ["man1/vorlan-viewer.1.gz", "man1/vorlan-replay.1.gz", "man1/vorlan-totext.1.gz",
         "man1/vorlan-tohtml.1.gz", "man1/vorlan-tocast.1.gz", "man1/rawcopy.1.gz",
         "man5/vorlan-movie.5.gz"]
DOCS = ["README.md", "copyright", "changelog.gz"]
# cpack on a loaded machine of two cores has been seen past 30 s; a hang still fails.
TIMEOUT = 180

failures = []


def check(ok, what):
    if not ok:
        failures.append(what)


def run(cmd, **kw):
    try:
        return subprocess.run(cmd, capture_output=True, timeout=TIMEOUT, **kw)
    except OSError as e:
        return subprocess.CompletedProcess(cmd, 127, b"", str(e).encode())


def main() -> int:
    build = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="vorlan-package-") as scratch:
        made = run(["cpack", "-G", "DEB;TGZ", "--config", os.path.join(build, "CPackConfig.cmake"),
                    "-B", scratch])
        if made.returncode != 0:
            print(made.stdout.decode(errors="replace"), made.stderr.decode(errors="replace"))
            return 1
        debs = [f for f in os.listdir(scratch) if f.endswith(".deb")]
        tars = [f for f in os.listdir(scratch) if f.endswith(".tar.gz")]
        if len(debs) != 1 or len(tars) != 1:
            print(f"expected one .deb and one .tar.gz, found {os.listdir(scratch)}")
            return 1
        deb = os.path.join(scratch, debs[0])

        depends = run(["dpkg-deb", "-f", deb, "Depends"]).stdout.decode()
        check("libncursesw6" in depends and "libtinfo6" in depends,
              f"Depends lacks the ncursesw runtime: {depends!r}")

        root = os.path.join(scratch, "root")
        check(run(["dpkg-deb", "-x", deb, root]).returncode == 0, "dpkg-deb -x failed")
        usr = os.path.join(root, "usr")
        bindir = os.path.join(usr, "bin")
        for prog in PROGRAMS:
            check(os.access(os.path.join(bindir, prog), os.X_OK), f"usr/bin/{prog} missing")
        totext = os.path.join(bindir, "vorlan-totext")
        check(os.path.islink(totext) and os.readlink(totext) == "vorlan-replay",
              "usr/bin/vorlan-totext is not a relative symlink to vorlan-replay")
        for page in PAGES:
            check(os.path.exists(os.path.join(usr, "share/man", page)), f"{page} missing")
        for doc in DOCS:
            check(os.path.exists(os.path.join(usr, "share/doc/vorlan-tools", doc)),
                  f"share/doc/vorlan-tools/{doc} missing")
        page = os.path.join(usr, "share/man/man1/vorlan-totext.1.gz")
        check(os.path.islink(page) and os.readlink(page) == "vorlan-replay.1.gz",
              "vorlan-totext.1.gz is not a relative symlink to vorlan-replay.1.gz")

        with tarfile.open(os.path.join(scratch, tars[0])) as tar:
            names = {n.split("/", 1)[1] for n in tar.getnames() if "/" in n}
        for member in [f"bin/{p}" for p in PROGRAMS] + [f"share/man/{p}" for p in PAGES]:
            check(member in names, f"tarball lacks {member}")

        movie = os.path.join(scratch, "tiny.movie")
        with open(movie, "wb") as f:
            f.write(b"line a\nprompt b> \nsleep 1\nline c\n")
        replay = run([os.path.join(bindir, "vorlan-replay"), movie])
        check(replay.returncode == 0 and replay.stdout == b"a\nb> c\n\n",
              f"vorlan-replay: {replay}")
        out = os.path.join(scratch, "tiny.txt")
        converted = run([totext, movie, out])
        check(converted.returncode == 0, f"vorlan-totext: {converted}")
        if os.path.exists(out):
            with open(out, "rb") as f:
                check(f.read() == b"a\nb> c\n\n", "vorlan-totext wrote the wrong transcript")
        else:
            check(False, "vorlan-totext wrote nothing")
        copied = run([os.path.join(bindir, "rawcopy"), movie])
        with open(movie, "rb") as f:
            check(copied.returncode == 0 and copied.stdout == f.read(), f"rawcopy: {copied}")
        for prog, start in [("vorlan-tohtml", b"<!DOCTYPE html>\n"),
                            ("vorlan-tocast", b'{"version": 2, "width": 80, "height": 24, '
                                              b'"title": "tiny.movie", '
                                              b'"env": {"MOVIE_CHARSET": "UTF-8/windows-1252"}}'
                                              b'\n[0.000000, "o", "a\\r\\n"]')]:
            exported = run([os.path.join(bindir, prog), movie, "-"])
            check(exported.returncode == 0 and exported.stdout.startswith(start),
                  f"{prog}: {exported}")
        usage = run([os.path.join(bindir, "vorlan-viewer")], stdin=subprocess.DEVNULL)
        check(usage.returncode == 1 and b"Usage: vorlan-viewer file" in usage.stderr,
              f"vorlan-viewer with no argument: {usage}")

    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
