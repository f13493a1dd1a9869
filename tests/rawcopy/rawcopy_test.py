"""rawcopy as installed: bytes exact, order kept, failures reported, output never held back.

Usage: rawcopy_test.py PATH-TO-RAWCOPY [unittest arguments]
"""
import errno
import os
import random
import signal
import stat
import subprocess
import sys
import unittest

from support.scratch import ScratchCase
from support.waiting import DEADLINE, open_fifo_end, read_within

RAWCOPY = None


def read_exactly(fd, n, deadline=DEADLINE):
    """Reads n bytes from fd, failing if they do not all come within the deadline."""
    got = read_within(fd, n, f"{n} bytes", deadline)
    if len(got) < n:
        raise AssertionError(f"end of output after {len(got)} of {n} bytes")
    return got


class Rawcopy(ScratchCase):

    def run_rawcopy(self, *args, **kw):
        return subprocess.run([RAWCOPY, *args], stdout=kw.pop("stdout", subprocess.PIPE),
                              stderr=subprocess.PIPE, timeout=60, **kw)

    def test_standard_input_through_a_pipe(self):
        data = bytes(range(256)) * 4096 + random.Random(5).randbytes(3 << 20)
        r = self.run_rawcopy(input=data)
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertEqual(len(r.stdout), len(data))
        self.assertTrue(r.stdout == data)

    def test_names_copied_whole_in_the_order_given(self):
        big = random.Random(7).randbytes(10000)
        names = [self.file("a", b"alpha\n"), self.file("empty", b""), self.file("big", big),
                 self.file("b", b"\x00\xffbeta"), self.path("a")]
        r = self.run_rawcopy(*names)
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertEqual(r.stdout, b"alpha\n" + big + b"\x00\xffbeta" + b"alpha\n")

    def test_names_that_cannot_be_opened_are_reported_and_passed_over(self):
        os.mkdir(self.path("dir"))
        bad = [(self.path("missing"), errno.ENOENT), (self.path("dir"), errno.EISDIR)]
        if os.geteuid() != 0:  # root may write to any file
            os.chmod(self.file("readonly", b"kept out\n"), stat.S_IRUSR)
            bad.append((self.path("readonly"), errno.EACCES))
        args, out, err = [], b"", b""
        for i, (name, code) in enumerate(bad):
            good = f"good {i}\n".encode()
            args += [self.file(f"good{i}", good), name]
            out += good
            err += f"rawcopy: {name}: {os.strerror(code)}\n".encode()
        args.append(self.file("last", b"last\n"))
        r = self.run_rawcopy(*args)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (1, out + b"last\n", err))

    def test_read_error_on_standard_input_is_reported_as_dash(self):
        os.mkdir(self.path("dir"))
        fd = os.open(self.path("dir"), os.O_RDONLY)
        try:
            r = self.run_rawcopy(stdin=fd)
        finally:
            os.close(fd)
        self.assertEqual((r.returncode, r.stdout), (1, b""))
        self.assertEqual(r.stderr, f"rawcopy: -: {os.strerror(errno.EISDIR)}\n".encode())

    def test_write_error_is_reported_and_stops_the_run(self):
        data = self.file("data", b"x" * 10000)
        message = f"rawcopy: write error: {os.strerror(errno.ENOSPC)}\n".encode()
        cases = {"named": ([data, self.path("missing")], None), "standard input": ([], b"y" * 10000)}
        for label, (args, stdin) in cases.items():
            with self.subTest(label), open("/dev/full", "wb") as full:
                r = self.run_rawcopy(*args, input=stdin, stdout=full)
                self.assertEqual((r.returncode, r.stderr), (1, message))

    def test_closed_standard_output_leaves_the_input_alone(self):
        content = random.Random(3).randbytes(9000)
        name = self.file("data", content)
        r = subprocess.run([RAWCOPY, name], stderr=subprocess.PIPE, timeout=60,
                           preexec_fn=lambda: os.close(1))
        self.assertEqual(r.returncode, 1)
        self.assertEqual(r.stderr, f"rawcopy: write error: {os.strerror(errno.EBADF)}\n".encode())
        with open(name, "rb") as f:
            self.assertEqual(f.read(), content)

    def test_closed_reader_kills_it_by_sigpipe(self):
        big = self.file("big", b"z" * (1 << 20))
        with subprocess.Popen([RAWCOPY, big], stdout=subprocess.PIPE, stderr=subprocess.PIPE) as p:
            read_exactly(p.stdout.fileno(), 1)
            p.stdout.close()
            err = p.stderr.read()
            self.assertEqual((p.wait(timeout=DEADLINE), err), (-signal.SIGPIPE, b""))

    def test_output_from_a_slow_pipe_comes_before_its_input_ends(self):
        with subprocess.Popen([RAWCOPY], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE) as p:
            try:
                for piece in (b"first\n", b"x", b"\x1b[1;31mred\x1b[0m\n"):
                    os.write(p.stdin.fileno(), piece)
                    self.assertEqual(read_exactly(p.stdout.fileno(), len(piece)), piece)
                p.stdin.close()
                self.assertEqual(p.stdout.read(), b"")
                self.assertEqual((p.wait(timeout=DEADLINE), p.stderr.read()), (0, b""))
            finally:
                p.kill()

    def test_fifo_opens_without_a_writer(self):
        # Opened for reading and writing, the FIFO has a writer from the start, rawcopy itself:
        # the open does not wait for one, and the input never ends. So the test sends through
        # it, sees that our writer closing brings no end of input, and ends the run by a signal.
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        first = self.file("first", b"before the fifo\n")
        with subprocess.Popen([RAWCOPY, first, fifo], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE) as p:
            try:
                self.assertEqual(read_exactly(p.stdout.fileno(), 16), b"before the fifo\n")
                w = open_fifo_end(fifo, os.O_WRONLY, DEADLINE)
                data = bytes(range(256)) * 64
                os.write(w, data)
                os.close(w)
                self.assertEqual(read_exactly(p.stdout.fileno(), len(data)), data)
                with self.assertRaises(subprocess.TimeoutExpired):
                    p.wait(timeout=0.5)
            finally:
                p.kill()
                p.wait()
            self.assertEqual(p.stderr.read(), b"")


if __name__ == "__main__":
    RAWCOPY = sys.argv.pop(1)
    unittest.main()
