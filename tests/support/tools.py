"""The outside programs some end-to-end tests drive. Where one is missing, the test is skipped
with ctest's skip code (SKIP_RETURN_CODE in its CMakeLists.txt) and names the Debian package
to install; under CI=true a missing program fails the test instead, so that CI runs it all."""
import os
import shutil
import sys

SKIP = 77

# Each program and the Debian package that has it.
PACKAGES = {
    "asciinema": "asciinema",
    "chromium": "chromium",
    "lintian": "lintian",
    "man": "man-db",
    "mandoc": "mandoc",
    "tidy": "tidy",
    "npm": "npm",
    "strace": "strace",
    "tmux": "tmux",
}


def need(*programs):
    """Returns when every program is on PATH; else says which packages to install and exits
    with the skip code, or with 1 under CI=true."""
    missing = [p for p in programs if not shutil.which(p)]
    if not missing:
        return
    packages = " ".join(sorted({PACKAGES[p] for p in missing}))
    if os.environ.get("CI") == "true":
        print(f"not found: {' '.join(missing)}; CI must run every test: install {packages}")
        sys.exit(1)
    print(f"skipped: {' '.join(missing)} not found; install the Debian package(s) {packages}")
    sys.exit(SKIP)
