"""vorlan-replay and vorlan-totext as installed: names, arguments, messages, statuses, bytes.

Usage: replay_test.py BINDIR [unittest arguments]
"""
import os
import subprocess
import sys
import time
import unittest

from support.scratch import ScratchCase
from support.messages import input_as_output
from support.waiting import DEADLINE, open_fifo_end, read_within

BINDIR = None
EXAMPLE = b"line a\nprompt b> \nline c\n"
EXAMPLE_TEXT = b"a\nb> c\n\n"
NAME_MESSAGE = b'Please run this program as "vorlan-replay" or "vorlan-totext"\n'


def read_until(fd, want, deadline=DEADLINE):
    """Reads from fd until exactly `want` has come; fails on more, on end or on the deadline.
    Returns the time it came."""
    got = read_within(fd, len(want), repr(want), deadline, beyond=True)
    if got != want:
        raise AssertionError(f"got {got!r}, wanted {want!r}")
    return time.monotonic()


class Program(ScratchCase):
    def setUp(self):
        super().setUp()
        self.replay = os.path.join(BINDIR, "vorlan-replay")
        self.totext = os.path.join(BINDIR, "vorlan-totext")

    def link(self, name, target=None):
        os.symlink(target or self.replay, self.path(name))
        return self.path(name)

    def test_installed_second_name_is_a_relative_link(self):
        self.assertEqual(os.readlink(self.totext), "vorlan-replay")

    def test_mode_from_the_name_as_started(self):
        movie = self.file("m", EXAMPLE)
        replay_names = [self.replay, self.link("vorlan-replay.old"),
                        self.link("vorlan-totext-vorlan-replay")]
        for name in replay_names:
            with self.subTest(name=name):
                self.assertRun(self.run_prog([name, movie]), 0, EXAMPLE_TEXT)
        text_names = [self.totext, self.link("my-vorlan-totext-2"),
                      self.link("t-vorlan-totext", self.totext)]
        for i, name in enumerate(text_names):
            with self.subTest(name=name):
                self.assertRun(self.run_prog([name, movie, self.path(f"o{i}")]), 0, b"")
                self.assertEqual(self.read(f"o{i}"), EXAMPLE_TEXT)
        with self.subTest(name="relative"):
            r = self.run_prog(["./vorlan-totext", movie, self.path("rel")], cwd=BINDIR)
            self.assertRun(r, 0, b"")
            self.assertEqual(self.read("rel"), EXAMPLE_TEXT)
        for name in [self.link("player"), self.link("vorlan_replay"), self.link("VORLAN-TOTEXT")]:
            with self.subTest(name=name):
                self.assertRun(self.run_prog([name, movie, self.path("x")], stdin=EXAMPLE), 1,
                               b"", NAME_MESSAGE)
                self.assertFalse(os.path.exists(self.path("x")))

    def test_replay_arguments(self):
        movie = self.file("m", b"line from file\n")
        piped = b"line from stdin\n"
        cases = [([], b"from stdin\n\n"), ([movie], b"from file\n\n"),
                 ([movie, movie], b"from stdin\n\n"), (["/nonexistent", "x", "y"], b"from stdin\n\n")]
        for args, out in cases:
            with self.subTest(args=args):
                self.assertRun(self.run_prog([self.replay, *args], stdin=piped), 0, out)
        missing = self.path("missing")
        self.assertRun(self.run_prog([self.replay, missing], stdin=piped), 1, b"",
                       b'Error opening input file "%s"\n' % missing.encode())

    def test_totext_usage(self):
        movie = self.file("m", EXAMPLE)
        for args in [[], [movie], [movie, self.path("o"), self.path("p")]]:
            with self.subTest(args=args):
                r = self.run_prog([self.totext, *args], stdin=EXAMPLE)
                self.assertRun(r, 1, b"", b"Usage: %s [infile [outfile]]\n" % self.totext.encode())
                self.assertFalse(os.path.exists(self.path("o")))

    def test_totext_missing_input_leaves_the_output_alone(self):
        missing = self.path("missing")
        message = b'Error opening input file "%s"\n' % missing.encode()
        kept = self.file("kept", b"keep me\n")
        self.assertRun(self.run_prog([self.totext, missing, kept]), 1, b"", message)
        self.assertEqual(self.read("kept"), b"keep me\n")
        self.assertRun(self.run_prog([self.totext, missing, self.path("new")]), 1, b"", message)
        self.assertFalse(os.path.exists(self.path("new")))

    def test_totext_output_cannot_be_opened(self):
        out = self.path("no/such/dir")
        r = self.run_prog([self.totext, self.file("m", EXAMPLE), out])
        self.assertRun(r, 1, b"", b'Error opening output file "%s"\n' % out.encode())

    def test_totext_refuses_to_write_over_its_input(self):
        movie = self.file("m", EXAMPLE)
        os.link(movie, self.path("hard"))
        os.mkdir(self.path("sub"))
        spellings = [(movie, self.dir), ("m", self.dir), ("./m", self.dir),
                     (os.path.join(self.dir, "sub", "..", "m"), self.dir),
                     (self.path("hard"), self.dir), (self.link("soft", movie), self.dir),
                     ("../m", self.path("sub"))]
        for out, cwd in spellings:
            with self.subTest(out=out):
                r = self.run_prog([self.totext, movie, out], cwd=cwd)
                self.assertRun(r, 1, b"", input_as_output(out))
                self.assertEqual(self.read("m"), EXAMPLE)
        # A copy is another file; devices are not movies to lose.
        copy = self.file("copy", EXAMPLE)
        self.assertRun(self.run_prog([self.totext, movie, copy]), 0, b"")
        self.assertEqual(self.read("copy"), EXAMPLE_TEXT)
        self.assertRun(self.run_prog([self.totext, "/dev/null", "/dev/null"]), 0, b"")

    def test_totext_refuses_a_fifo_that_is_its_input(self):
        # Allowed, it would write its transcript into the FIFO and read it back as a movie.
        fifo = self.path("fifo")
        os.mkfifo(fifo)
        with subprocess.Popen([self.totext, fifo, fifo], stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE) as p:
            try:
                w = open_fifo_end(fifo, os.O_WRONLY)
                # A movie for it to read were it to go on; refused, it may be gone already.
                try:
                    os.write(w, EXAMPLE)
                except BrokenPipeError:
                    pass
                self.assertEqual(p.wait(timeout=DEADLINE), 1)
                os.close(w)
                self.assertEqual((p.stdout.read(), p.stderr.read()),
                                 (b"", input_as_output(fifo)))
            finally:
                p.kill()
        # Another FIFO is just an output.
        other = self.path("other")
        os.mkfifo(other)
        with subprocess.Popen([self.totext, self.file("m", EXAMPLE), other],
                              stderr=subprocess.PIPE) as p:
            # Our reader is there from the start; the transcript waits in the FIFO for it.
            r = os.open(other, os.O_RDONLY | os.O_NONBLOCK)
            try:
                self.assertEqual(p.wait(timeout=DEADLINE), 0)
                self.assertEqual(os.read(r, 65536), EXAMPLE_TEXT)
            finally:
                os.close(r)
                p.kill()

    def test_write_failure_is_reported(self):
        movie = self.file("m", EXAMPLE)
        error = b"Error writing file\n"
        for movie_bytes in [EXAMPLE, b""]:
            movie = self.file("m", movie_bytes)
            with self.subTest(movie=movie_bytes), open("/dev/full", "wb") as full:
                r = subprocess.run([self.replay, movie], stdout=full, stderr=subprocess.PIPE,
                                   timeout=60)
                self.assertEqual((r.returncode, r.stderr), (1, error))
                self.assertRun(self.run_prog([self.totext, movie, "/dev/full"]), 1, b"", error)

    def test_read_failure_is_reported(self):
        os.mkdir(self.path("dir"))
        error = b"Error reading file\n"
        self.assertRun(self.run_prog([self.replay, self.path("dir")]), 1, b"", error)
        self.assertRun(self.run_prog([self.totext, self.path("dir"), self.path("o")]), 1, b"", error)

    def test_records(self):
        long_text = b"".join(b"%d," % i for i in range(3000))[:10000]
        cases = [
            (b"", 0, b"\n", b""),
            (EXAMPLE, 0, EXAMPLE_TEXT, b""),
            (b"sleep 0\nline x\r\nsleep -5\nprompt \n", 0, b"x\r\n\n", b""),
            (b"line ab\0cd\nline e", 0, b"ab\ne\n\n", b""),
            (b"line " + long_text + b"\nprompt " + long_text + b"\n", 0,
             long_text + b"\n" + long_text + b"\n", b""),
            (b"line a\n#5 remark\nline b\n", 1, b"a\n", b"Syntax error in line:\n#5 remark\n"),
            (b"prompt a\n\n", 1, b"a", b"Syntax error in line:\n\n"),
            (b"line a\nline\n", 1, b"a\n", b"Syntax error in line:\nline\n"),
        ]
        for movie_bytes, status, out, err in cases:
            movie = self.file("m", movie_bytes)
            with self.subTest(movie=movie_bytes[:40], mode="replay"):
                self.assertRun(self.run_prog([self.replay, movie]), status, out, err)
            with self.subTest(movie=movie_bytes[:40], mode="text"):
                self.assertRun(self.run_prog([self.totext, movie, self.path("o")]), status, b"", err)
                self.assertEqual(self.read("o"), out)
        # Text mode drops pauses: this one would outlast the run's timeout.
        movie = self.file("m", b"line a\nsleep 100000000\nline b\n")
        self.assertRun(self.run_prog([self.totext, movie, self.path("o")]), 0, b"")
        self.assertEqual(self.read("o"), b"a\nb\n\n")

    def test_replay_flushes_before_each_pause(self):
        movie = self.file("m", b"line before\nprompt wait> \nsleep 300\nline after\n")
        p = subprocess.Popen([self.replay, movie], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            shown = read_until(p.stdout.fileno(), b"before\nwait> ")
            done = read_until(p.stdout.fileno(), b"after\n\n")
            self.assertEqual(p.wait(timeout=DEADLINE), 0)
        finally:
            p.kill()
            p.wait()
            p.stdout.close()
            p.stderr.close()
        self.assertGreaterEqual(done - shown, 0.25)
        self.assertLess(done - shown, 3.0)


if __name__ == "__main__":
    BINDIR = sys.argv.pop(1)
    unittest.main()
