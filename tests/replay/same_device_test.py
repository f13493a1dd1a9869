"""vorlan-totext given a movie on a block device: refuses that device as its output under
any node that names it, and takes a block device that is not its input as an output.

Usage: same_device_test.py BINDIR
Needs root and loop devices; exits 77 (skipped) with the reason when it cannot make one.
"""
import os
import shutil
import stat
import subprocess
import sys
import tempfile

from support.messages import input_as_output
from support.tools import SKIP

# Two records of 4096 bytes each fill the 8 kB device exactly, so it reads as a movie.
MOVIE = b"".join(b"line " + c * 4090 + b"\n" for c in (b"a", b"b"))
TRANSCRIPT = b"a" * 4090 + b"\n" + b"b" * 4090 + b"\n\n"


def device_bytes(device, n):
    with open(device, "rb") as f:
        return f.read(n)


def main() -> int:
    totext = os.path.join(sys.argv[1], "vorlan-totext")
    if os.geteuid() != 0 or not shutil.which("losetup"):
        print("skipped: making a loop device needs root and losetup")
        return SKIP
    failures = []
    with tempfile.TemporaryDirectory(prefix="vorlan-device-") as scratch:
        image = os.path.join(scratch, "image")
        with open(image, "wb") as f:
            f.write(MOVIE)
        made = subprocess.run(["losetup", "-f", "--show", image], capture_output=True, text=True)
        if made.returncode != 0:
            print(f"skipped: no loop device here: {made.stderr.strip()}")
            return SKIP
        device = made.stdout.strip()
        try:
            # A second node of the same device, as mknod or a udev alias would make.
            alias = os.path.join(scratch, "alias")
            os.mknod(alias, stat.S_IFBLK | 0o600, os.stat(device).st_rdev)
            for out in (device, alias):
                r = subprocess.run([totext, device, out], capture_output=True, timeout=60)
                want = input_as_output(out)
                if (r.returncode, r.stdout, r.stderr) != (1, b"", want):
                    failures.append(f"{device} into {out}: status {r.returncode}, "
                                    f"{r.stderr[:100]!r}")
                if device_bytes(device, len(MOVIE)) != MOVIE:
                    failures.append(f"{device} into {out}: the movie on the device changed")
            # A device that is not the input is an output like any other.
            movie = os.path.join(scratch, "movie")
            with open(movie, "wb") as f:
                f.write(MOVIE)
            r = subprocess.run([totext, movie, device], capture_output=True, timeout=60)
            if r.returncode != 0 or device_bytes(device, len(TRANSCRIPT)) != TRANSCRIPT:
                failures.append(f"{movie} into {device}: status {r.returncode}, "
                                f"{r.stderr[:100]!r}")
        finally:
            subprocess.run(["losetup", "-d", device], check=False)
    for f in failures:
        print(f, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
