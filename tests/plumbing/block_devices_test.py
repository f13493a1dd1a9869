"""The programs that write a file named beside their input, given block devices that hold
that input: a device as its own output, a loop device and the file it reads, a partition and
its whole disk, refused under any node; two partitions of one disk are two outputs like any
other. Every byte of the
images is compared after each run.

Usage: block_devices_test.py BINDIR
Needs root and loop devices with partitions; exits 77 (skipped) with the reason when it
cannot make them.
"""
import os
import shutil
import stat
import struct
import subprocess
import sys
import tempfile
import time

from support.messages import input_as_output as refused
from support.tools import SKIP
from support.waiting import DEADLINE

SECTOR = 512
PROGRAMS = ("vorlan-totext", "vorlan-tohtml", "vorlan-tocast")
RECORD = b"line " + b"m" * 1018 + b"\n"  # 1 kB
MOVIE = RECORD * 4096  # 4 MiB
# A disk of 4 MiB: two partitions of 1 MiB each, the first holding a movie.
PARTITIONS = ((2048, 2048), (4096, 2048))


def disk_image():
    image = bytearray(4 << 20)
    for i, (start, count) in enumerate(PARTITIONS):
        entry = struct.pack("<B3sB3sII", 0, b"\0\0\0", 0x83, b"\0\0\0", start, count)
        image[0x1BE + 16 * i:0x1BE + 16 * (i + 1)] = entry
    image[510:512] = b"\x55\xaa"
    first = PARTITIONS[0][0] * SECTOR
    image[first:first + 1024 * 1024] = RECORD * 1024
    return bytes(image)


def read(path):
    with open(path, "rb") as f:
        return f.read()


class Devices:
    def __init__(self, scratch):
        self.scratch = scratch
        self.made = []
        self.failures = []

    def loop(self, image, partitions=False):
        r = subprocess.run(["losetup", "-f", "--show", *(["-P"] if partitions else []), image],
                           capture_output=True, text=True)
        if r.returncode != 0:
            return None
        self.made.append(r.stdout.strip())
        return self.made[-1]

    def node(self, name, sysfs):
        """A block node of our own for the device that sysfs describes, once it is there."""
        end = time.monotonic() + DEADLINE
        while not os.path.exists(os.path.join(sysfs, "dev")):
            if time.monotonic() > end:
                return None
            time.sleep(0.05)
        with open(os.path.join(sysfs, "dev")) as f:
            major, minor = (int(n) for n in f.read().split(":"))
        path = os.path.join(self.scratch, name)
        os.mknod(path, stat.S_IFBLK | 0o600, os.makedev(major, minor))
        return path

    def run(self, argv, status, err, images, stdout=subprocess.PIPE):
        r = subprocess.run(argv, stdout=stdout, stderr=subprocess.PIPE, timeout=60)
        if (r.returncode, r.stderr) != (status, err):
            self.failures.append(f"{argv}: status {r.returncode}, {r.stderr[:120]!r}")
        for path, want in images.items():
            if read(path) != want:
                self.failures.append(f"{argv}: {path} changed")

    def close(self):
        for device in reversed(self.made):
            subprocess.run(["losetup", "-d", device], check=False)


def main() -> int:
    bindir = sys.argv[1]
    if os.geteuid() != 0 or not shutil.which("losetup"):
        print("skipped: making a loop device needs root and losetup")
        return SKIP
    with tempfile.TemporaryDirectory(prefix="vorlan-devices-") as scratch:
        devices = Devices(scratch)
        try:
            movie = os.path.join(scratch, "movie")
            with open(movie, "wb") as f:
                f.write(MOVIE)
            loop = devices.loop(movie)
            if loop is None:
                print("skipped: no loop device here")
                return SKIP
            alias = devices.node("loop-alias", f"/sys/class/block/{os.path.basename(loop)}")
            kept = {movie: MOVIE}
            for prog in (os.path.join(bindir, p) for p in PROGRAMS):
                for node in (loop, alias):
                    # The loop device into the file it reads, and the file into the device.
                    devices.run([prog, node, movie], 1, refused(movie), kept)
                    devices.run([prog, movie, node], 1, refused(node), kept)
                    # The device into itself, under either node.
                    for out in (loop, alias):
                        devices.run([prog, node, out], 1, refused(out), kept)
            # Through standard output: the file the loop device reads, appended to or
            # written inside.
            for node in (loop, alias):
                for mode, at in (("ab", None), ("r+b", 5)):
                    with open(movie, mode) as out:
                        if at is not None:
                            out.seek(at)
                        devices.run([os.path.join(bindir, "rawcopy"), node], 1,
                                    b"rawcopy: %s: it is standard output\n" % node.encode(),
                                    kept, stdout=out)
                        devices.run([os.path.join(bindir, "vorlan-replay"), node], 1,
                                    b'Error opening input file "%s": it is standard output\n'
                                    % node.encode(), kept, stdout=out)

            disk = os.path.join(scratch, "disk")
            image = disk_image()
            with open(disk, "wb") as f:
                f.write(image)
            whole = devices.loop(disk, partitions=True)
            sysfs = f"/sys/class/block/{os.path.basename(whole)}"
            name = os.path.basename(whole)
            if not os.path.exists(os.path.join(sysfs, f"{name}p1")) and shutil.which("partx"):
                # Where the kernel's own scan shows nothing, partx adds them from the table.
                subprocess.run(["partx", "-a", whole], capture_output=True, check=False)
            p1 = devices.node("p1", os.path.join(sysfs, f"{name}p1"))
            p2 = devices.node("p2", os.path.join(sysfs, f"{name}p2"))
            if p1 is None or p2 is None:
                print("skipped: the loop device shows no partitions here")
                return SKIP
            kept = {disk: image}
            for prog in (os.path.join(bindir, p) for p in PROGRAMS):
                devices.run([prog, p1, whole], 1, refused(whole), kept)
                devices.run([prog, whole, p1], 1, refused(p1), kept)
                devices.run([prog, p1, disk], 1, refused(disk), kept)
                devices.run([prog, disk, p2], 1, refused(p2), kept)
            # Through standard output: the disk that holds the partition being read.
            with open(whole, "wb") as out:
                devices.run([os.path.join(bindir, "rawcopy"), p1], 1,
                            b"rawcopy: %s: it is standard output\n" % p1.encode(), kept,
                            stdout=out)
                devices.run([os.path.join(bindir, "vorlan-replay"), p1], 1,
                            b'Error opening input file "%s": it is standard output\n'
                            % p1.encode(), kept, stdout=out)
            # Another partition of the same disk shares no byte with the first.
            totext = os.path.join(bindir, "vorlan-totext")
            r = subprocess.run([totext, p1, p2], capture_output=True, timeout=60)
            first = PARTITIONS[0][0] * SECTOR
            second = PARTITIONS[1][0] * SECTOR
            written = read(disk)
            transcript = (b"m" * 1018 + b"\n") * 1024 + b"\n"
            if r.returncode != 0 or written[:second] != image[:second] or \
                    written[second:second + len(transcript)] != transcript:
                devices.failures.append(f"{p1} into {p2}: status {r.returncode}, "
                                        f"{r.stderr[:120]!r}, first partition kept: "
                                        f"{written[first:second] == image[first:second]}")
        finally:
            devices.close()
    for f in devices.failures:
        print(f, file=sys.stderr)
    return 1 if devices.failures else 0


if __name__ == "__main__":
    sys.exit(main())
