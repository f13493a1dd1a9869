#!/usr/bin/env python3
"""Lints the manual pages as installed: mandoc reports nothing above style, man renders them
without a complaint, every page they refer to is one of the suite's or a system page, every
installed program has a page, every page in the source tree is installed, and the viewer's
page quotes the usage the viewer prints.

Usage: man_lint.py STAGE_DIR MAN_SOURCE_DIR"""
import gzip
import os
import re
import subprocess
import sys

from support import tools

# Pages the suite's own pages may name that it does not ship.
SYSTEM_PAGES = {"atoi(3)", "cat(1)"}


def installed_pages(stage):
    """{"name(section)": path} for every page in the stage's man folders, links included."""
    pages = {}
    for root, _, files in os.walk(stage):
        for f in files:
            m = re.fullmatch(r"(.+)\.([1-8])\.gz", f)
            if m and os.path.basename(root) == f"man{m[2]}":
                pages[f"{m[1]}({m[2]})"] = os.path.join(root, f)
    return pages


def quoted_usage(source):
    """The literal block of the page's DIAGNOSTICS: the usage as the program prints it."""
    m = re.search(r"^\.Sh DIAGNOSTICS\n.*?^\.Bd -literal[^\n]*\n(.*?)^\.Ed", source, re.M | re.S)
    return m[1].replace(".Pp\n", "\n") if m else None


def main() -> int:
    stage, man_dir = sys.argv[1], sys.argv[2]
    tools.need("mandoc", "man")
    installed = installed_pages(stage)
    failures = []
    if not installed:
        failures.append(f"no manual page installed under {stage}")
    for program in sorted(os.listdir(os.path.join(stage, "bin"))):
        if f"{program}(1)" not in installed:
            failures.append(f"{program} is installed without a page")
    for f in sorted(os.listdir(man_dir)):
        m = re.fullmatch(r"(.+)\.([1-8])", f)
        if m and f"{m[1]}({m[2]})" not in installed:
            failures.append(f"{f} is written but not installed")
    for page, path in sorted(installed.items()):
        lint = subprocess.run(["mandoc", "-T", "lint", "-W", "warning", path],
                              capture_output=True, text=True)
        if lint.stdout or lint.stderr or lint.returncode != 0:
            failures.append(f"{page}: mandoc -T lint:\n{lint.stdout}{lint.stderr}")
        env = dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="")
        shown = subprocess.run(["man", "-l", path], capture_output=True, text=True, env=env)
        if shown.stderr or shown.returncode != 0 or "NAME" not in shown.stdout:
            failures.append(f"{page}: man -l:\n{shown.stderr}")
        with gzip.open(path, "rt", encoding="utf-8") as f:
            source = f.read()
        for name, section in re.findall(r"^\.Xr (\S+) (\d)", source, re.M):
            ref = f"{name}({section})"
            if ref not in installed.keys() | SYSTEM_PAGES:
                failures.append(f"{page}: refers to {ref}, which is not shipped")
        if page == "vorlan-viewer(1)":
            usage = subprocess.run([os.path.join(stage, "bin", "vorlan-viewer")],
                                   capture_output=True, text=True, timeout=10).stderr
            if quoted_usage(source) != usage:
                failures.append(f"{page}: DIAGNOSTICS does not quote the usage:\n{usage}")
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
