#!/usr/bin/env python3
"""Lints the manual pages: mandoc reports nothing above style, man renders them without a
complaint, and every page they refer to is one of the suite's or a system page."""
import os
import re
import shutil
import subprocess
import sys

# Pages the suite's own pages may name that it does not ship.
SYSTEM_PAGES = {"atoi(3)", "cat(1)"}


def main() -> int:
    man_dir = sys.argv[1]
    pages = sorted(f for f in os.listdir(man_dir) if re.fullmatch(r"[a-z-]+\.[1-8]", f))
    shipped = {f"{p[:-2]}({p[-1]})" for p in pages} | {"vorlan-totext(1)"}
    failures = []
    for page in pages:
        path = os.path.join(man_dir, page)
        lint = subprocess.run(["mandoc", "-T", "lint", "-W", "warning", path],
                              capture_output=True, text=True)
        if lint.stdout or lint.stderr or lint.returncode != 0:
            failures.append(f"{page}: mandoc -T lint:\n{lint.stdout}{lint.stderr}")
        if shutil.which("man"):
            env = dict(os.environ, MANWIDTH="80", MAN_KEEP_FORMATTING="")
            shown = subprocess.run(["man", "-l", path], capture_output=True, text=True, env=env)
            if shown.stderr or shown.returncode != 0 or "NAME" not in shown.stdout:
                failures.append(f"{page}: man -l:\n{shown.stderr}")
        with open(path, encoding="utf-8") as f:
            for name, section in re.findall(r"^\.Xr (\S+) (\d)", f.read(), re.M):
                ref = f"{name}({section})"
                if ref not in shipped | SYSTEM_PAGES:
                    failures.append(f"{page}: refers to {ref}, which is not shipped")
    if len(pages) < 4:
        failures.append(f"expected the four pages in {man_dir}, found {pages}")
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
