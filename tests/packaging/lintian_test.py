#!/usr/bin/env python3
"""Builds the Debian package from the build tree with CPack and runs lintian on it; fails on
any error or warning lintian reports.

Usage: lintian_test.py BUILD_DIR"""
import os
import subprocess
import sys
import tempfile

from support import tools


def main() -> int:
    build = sys.argv[1]
    tools.need("lintian")
    with tempfile.TemporaryDirectory(prefix="vorlan-lintian-") as scratch:
        made = subprocess.run(["cpack", "-G", "DEB", "--config",
                               os.path.join(build, "CPackConfig.cmake"), "-B", scratch],
                              capture_output=True, text=True, timeout=120)
        debs = [f for f in os.listdir(scratch) if f.endswith(".deb")]
        if made.returncode != 0 or len(debs) != 1:
            print(made.stdout, made.stderr)
            return 1
        # --fail-on makes the status count warnings too; the tags are checked as well, so a
        # lintian that knew no such option could not pass the package quietly.
        r = subprocess.run(["lintian", "--fail-on", "error,warning", "--no-tag-display-limit",
                            os.path.join(scratch, debs[0])],
                           capture_output=True, text=True, timeout=600)
    tags = [line for line in r.stdout.splitlines() if line[:2] in ("E:", "W:")]
    for line in tags:
        print(line)
    if r.returncode != 0 and not tags:
        print(f"lintian exited with {r.returncode}:\n{r.stdout}{r.stderr}")
    return 1 if tags or r.returncode != 0 else 0


if __name__ == "__main__":
    sys.exit(main())
