"""Every program's front door, as installed: a standard descriptor closed at start stays
closed under any name, no program writes into its own input, and every read, write and
close is checked to the end (faults injected with strace). Every file is compared byte for
byte after each run.

Usage: front_door_test.py BINDIR [unittest arguments]
Without strace the injected cases are skipped (exit 77), except under CI=true.
"""
import errno
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import unittest

from support.messages import input_as_output as refused
from support.scratch import ScratchCase
from support.tools import SKIP
from support.waiting import DEADLINE, read_within

BINDIR = None
MOVIE = b"line a\nprompt b> \nline c\n"
KEPT = b"keep me\n"
# One record fills the exporters' first read (their 256 KiB character-set sample) but for two
# bytes, and the other programs' first reads are shorter, so every program reads the next
# record in a later read: a read error there that cleared itself would drop it.
SPLIT = b"line " + b"a" * (256 * 1024 - 8) + b"\n" + b"line IMPORTANT\nline after\n"
CONVERTERS = ("vorlan-totext", "vorlan-tohtml", "vorlan-tocast")


def closing(fds):
    return lambda: [os.close(fd) for fd in fds]


class Front(ScratchCase):
    def prog(self, name):
        return os.path.join(BINDIR, name)

    def setUp(self):
        super().setUp()
        self.movie = self.file("movie", MOVIE)
        self.kept = self.file("kept", KEPT)

    def run_prog(self, argv, closed=(), stdout=subprocess.PIPE, stdin=subprocess.DEVNULL, **kw):
        """Runs with the descriptors in `closed` closed; a closed one is not captured."""
        return subprocess.run(argv, stdin=None if 0 in closed else stdin,
                              stdout=None if 1 in closed else stdout,
                              stderr=None if 2 in closed else subprocess.PIPE,
                              preexec_fn=closing(closed), timeout=60, **kw)

    def assertFiles(self, **want):
        """The movie and the kept file are as they were, and each named file as given."""
        want = {"movie": MOVIE, "kept": KEPT, **want}
        for name, content in want.items():
            self.assertTrue(self.read(name) == content, f"{name} changed: {self.read(name)[:60]!r}")


class ClosedDescriptors(Front):
    def names(self, fd):
        link = self.path(f"link{fd}")
        std = ("/dev/stdin", "/dev/stdout", "/dev/stderr")[fd]
        if not os.path.lexists(link):
            os.symlink(std, link)
        return [std, f"/dev/fd/{fd}", f"/proc/self/fd/{fd}", f"//dev/./fd/{fd}", link]

    def test_an_input_named_after_a_closed_standard_input(self):
        for name in self.names(0):
            for prog in CONVERTERS:
                with self.subTest(prog=prog, name=name):
                    r = self.run_prog([self.prog(prog), name, self.kept], closed=(0,))
                    self.assertEqual((r.returncode, r.stdout, r.stderr),
                                     (1, b"", b'Error opening input file "%s"\n' % name.encode()))
                    self.assertFiles()
            with self.subTest(prog="vorlan-replay", name=name):
                r = self.run_prog([self.prog("vorlan-replay"), name], closed=(0,))
                self.assertEqual((r.returncode, r.stdout, r.stderr),
                                 (1, b"", b'Error opening input file "%s"\n' % name.encode()))
            with self.subTest(prog="rawcopy", name=name):
                r = self.run_prog([self.prog("rawcopy"), self.movie, name, self.kept], closed=(0,))
                self.assertEqual((r.returncode, r.stdout, r.stderr),
                                 (1, MOVIE + KEPT, b"rawcopy: %s: %s\n"
                                  % (name.encode(), os.strerror(errno.EBADF).encode())))
            with self.subTest(prog="vorlan-viewer", name=name):
                r = self.run_prog([self.prog("vorlan-viewer"), name], closed=(0,))
                self.assertEqual((r.returncode, r.stdout, r.stderr),
                                 (1, b"", b"Unable to open file: %s\n"
                                  % os.strerror(errno.EBADF).encode()))
            self.assertFiles()
        # Bare, a closed standard input cannot be read.
        for argv in ([self.prog("rawcopy")], [self.prog("vorlan-replay")]):
            with self.subTest(argv=argv):
                self.assertEqual(self.run_prog(argv, closed=(0,)).returncode, 1)

    def test_an_output_named_after_a_closed_standard_output(self):
        for fd in (1, 2):
            for name in self.names(fd):
                for prog in CONVERTERS:
                    with self.subTest(prog=prog, name=name):
                        r = self.run_prog([self.prog(prog), self.movie, name], closed=(fd,))
                        self.assertEqual(r.returncode, 1)
                        if fd == 1:
                            self.assertEqual(r.stderr, b'Error opening output file "%s"\n'
                                             % name.encode())
                        self.assertFiles()
        for prog in CONVERTERS[1:]:
            with self.subTest(prog=prog, name="-"):
                r = self.run_prog([self.prog(prog), self.movie, "-"], closed=(1,))
                self.assertEqual((r.returncode, r.stderr), (1, b"Error writing file\n"))
        for prog in ("vorlan-replay", "rawcopy"):
            with self.subTest(prog=prog):
                self.assertEqual(self.run_prog([self.prog(prog), self.movie], closed=(1,))
                                 .returncode, 1)
        self.assertFiles()

    def test_null_named_outright_is_still_empty_and_a_sink(self):
        for prog in CONVERTERS:
            with self.subTest(prog=prog):
                r = self.run_prog([self.prog(prog), "/dev/null", self.path("out")],
                                  closed=(0, 1, 2))
                self.assertEqual(r.returncode, 0)
                if prog == "vorlan-totext":
                    self.assertFiles(out=b"\n")
                r = self.run_prog([self.prog(prog), self.movie, "/dev/null"], closed=(0, 1, 2))
                self.assertEqual(r.returncode, 0)
        self.assertFiles()

    def test_open_standard_descriptors_named_are_what_they_are(self):
        with open(self.movie, "rb") as movie:
            r = self.run_prog([self.prog("vorlan-totext"), "/dev/stdin", "/dev/stdout"],
                              stdin=movie)
        self.assertEqual((r.returncode, r.stdout, r.stderr), (0, b"a\nb> c\n\n", b""))


class ClosedAtStart(ScratchCase):
    """Each program started with standard descriptors closed, as `2>&-` leaves them: no
    message or output may land in a file the program opens, so every file is compared byte
    for byte after the run. A closed standard output is still a write error, a closed
    standard input still reads as an error, a closed standard error just loses the message."""

    MOVIE = b"line a\nbad record\n"
    SYNTAX = b"Syntax error in line:\nbad record\n"
    VICTIM = random.Random(9).randbytes(9000)

    def prog(self, name):
        return os.path.join(BINDIR, name)

    def run_closed(self, argv, closed, stdout=subprocess.PIPE, ignore_sigpipe=False):
        """Runs argv with the descriptors in `closed` closed; a closed stream reads as None."""
        def close_them():
            if ignore_sigpipe:
                signal.signal(signal.SIGPIPE, signal.SIG_IGN)
            for fd in closed:
                os.close(fd)
        try:
            r = subprocess.run(argv, stdin=subprocess.DEVNULL, stdout=stdout,
                               stderr=subprocess.PIPE, timeout=60, preexec_fn=close_them)
        except subprocess.TimeoutExpired:
            self.fail(f"{argv[0]} hung")
        return (r.returncode, None if 1 in closed else r.stdout,
                None if 2 in closed else r.stderr)

    def test_no_file_takes_a_closed_descriptor(self):
        rawcopy, replay, totext = (self.prog(n) for n in ("rawcopy", "vorlan-replay",
                                                        "vorlan-totext"))
        movie, victim, out = (os.path.join(self.dir, n) for n in ("movie", "victim", "out"))
        full = "/dev/full"
        nospace = f"rawcopy: write error: {os.strerror(errno.ENOSPC)}\n".encode()
        badfd = os.strerror(errno.EBADF).encode()
        # argv, standard output, closed, then status, output, errors (None: that one is
        # closed) and what `out` holds after.
        cases = [
            ([rawcopy, victim], full, {0}, 1, None, nospace, b"kept\n"),
            ([rawcopy, victim], full, {2}, 1, None, None, b"kept\n"),
            ([rawcopy, victim], None, {1}, 1, None, b"rawcopy: write error: " + badfd + b"\n",
             b"kept\n"),
            ([rawcopy, victim], None, {1, 2}, 1, None, None, b"kept\n"),
            ([rawcopy, victim], None, {0}, 0, self.VICTIM, b"", b"kept\n"),
            ([rawcopy, victim], None, {2}, 0, self.VICTIM, None, b"kept\n"),
            ([rawcopy], None, {0}, 1, b"", b"rawcopy: -: " + badfd + b"\n", b"kept\n"),
            ([totext, movie, out], None, {0}, 1, b"", self.SYNTAX, b"a\n"),
            ([totext, movie, out], None, {1}, 1, None, self.SYNTAX, b"a\n"),
            ([totext, movie, out], None, {2}, 1, b"", None, b"a\n"),
            ([totext, movie, out], None, {1, 2}, 1, None, None, b"a\n"),
            ([replay, movie], None, {0}, 1, b"a\n", self.SYNTAX, b"kept\n"),
            ([replay, movie], None, {1}, 1, None, b"Error writing file\n", b"kept\n"),
            ([replay, movie], None, {2}, 1, b"a\n", None, b"kept\n"),
            ([replay, movie], None, {1, 2}, 1, None, None, b"kept\n"),
            ([replay], None, {0}, 1, b"", b"Error reading file\n", b"kept\n"),
        ]
        for argv, stdout, closed, status, want_out, want_err, want_file in cases:
            label = f"{os.path.basename(argv[0])} {len(argv) - 1} args, closed {sorted(closed)}"
            with self.subTest(label):
                self.file("movie", self.MOVIE)
                self.file("victim", self.VICTIM)
                self.file("out", b"kept\n")
                if stdout:
                    with open(stdout, "wb") as f:
                        got = self.run_closed(argv, closed, stdout=f)
                else:
                    got = self.run_closed(argv, closed)
                if stdout:
                    got = (got[0], None, got[2])
                self.assertEqual(got, (status, want_out, want_err))
                for name, want in [("movie", self.MOVIE), ("victim", self.VICTIM),
                                   ("out", want_file)]:
                    with open(os.path.join(self.dir, name), "rb") as f:
                        self.assertTrue(f.read() == want, f"{name} changed")

    def test_exporters_with_closed_descriptors(self):
        movie = b"line <b>a</b>\nbad record\nsleep 10\n"
        for name, start in (("vorlan-tohtml", b"<!DOCTYPE html>"), ("vorlan-tocast", b'{"version": 2')):
            for closed in ({0}, {1}, {2}, {0, 1, 2}):
                with self.subTest(f"{name}, closed {sorted(closed)}"):
                    path = self.file("movie", movie)
                    out = self.file("out", b"kept\n")
                    status, _, _ = self.run_closed([self.prog(name), path, out], closed)
                    self.assertEqual(status, 0)
                    with open(out, "rb") as f:
                        self.assertTrue(f.read().startswith(start))
                    with open(path, "rb") as f:
                        self.assertTrue(f.read() == movie, "the movie changed")
            with self.subTest(f"{name} to a closed standard output"):
                path = self.file("movie", movie)
                self.assertEqual(self.run_closed([self.prog(name), path, "-"], {1}),
                                 (1, None, b"Error writing file\n"))

    def test_rawcopy_reader_gone_with_standard_error_closed(self):
        zeros = self.file("zeros", bytes(1 << 20))

        def close_stderr():
            signal.signal(signal.SIGPIPE, signal.SIG_IGN)
            os.close(2)
        with subprocess.Popen([self.prog("rawcopy"), zeros], stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, preexec_fn=close_stderr) as p:
            try:
                first = read_within(p.stdout.fileno(), 1, "the copy's first byte", DEADLINE)
                self.assertEqual(first, b"\0")
                p.stdout.close()
                self.assertEqual(p.wait(timeout=DEADLINE), 1)  # the broken pipe, reported
            finally:
                p.kill()
        with open(zeros, "rb") as f:
            self.assertTrue(f.read() == bytes(1 << 20), "the input changed")


class WritesIntoItsInput(Front):
    def test_directory_input_leaves_the_output_alone(self):
        os.mkdir(self.path("dir"))
        for prog in CONVERTERS:
            with self.subTest(prog=prog):
                r = self.run_prog([self.prog(prog), self.path("dir"), self.kept])
                self.assertEqual((r.returncode, r.stdout, r.stderr),
                                 (1, b"", b"Error reading file\n"))
                self.assertFiles()

    def open_as_output(self, name, how):
        """The file `name` as standard output: appended to, at its start or at its end."""
        fd = os.open(self.path(name), os.O_WRONLY | (os.O_APPEND if how == "append" else 0))
        if how == "end":
            os.lseek(fd, 0, os.SEEK_END)
        return fd

    def test_rawcopy_passes_over_its_own_output(self):
        other = self.file("other", b"other\n")
        for how in ("append", "start", "end"):
            with self.subTest(how=how):
                self.file("movie", MOVIE)
                fd = self.open_as_output("movie", how)
                try:
                    r = self.run_prog([self.prog("rawcopy"), other, self.movie, other], stdout=fd)
                finally:
                    os.close(fd)
                self.assertEqual((r.returncode, r.stderr),
                                 (1, b"rawcopy: %s: it is standard output\n" % self.movie.encode()))
                # What rawcopy wrote before and after went where standard output pointed.
                want = {"append": MOVIE + b"other\n" * 2, "end": MOVIE + b"other\n" * 2,
                        "start": b"other\n" * 2 + MOVIE[12:]}[how]
                self.assertFiles(movie=want, other=b"other\n")

    def test_rawcopy_refuses_standard_input_that_is_its_output(self):
        fd = self.open_as_output("movie", "append")
        try:
            with open(self.movie, "rb") as f:
                r = self.run_prog([self.prog("rawcopy")], stdin=f, stdout=fd)
        finally:
            os.close(fd)
        self.assertEqual((r.returncode, r.stderr), (1, b"rawcopy: -: it is standard output\n"))
        self.assertFiles()

    def test_replay_refuses_before_it_writes(self):
        for how in ("append", "start", "end"):
            for stdin in (False, True):
                with self.subTest(how=how, stdin=stdin):
                    self.file("movie", MOVIE)
                    fd = self.open_as_output("movie", how)
                    try:
                        if stdin:
                            with open(self.movie, "rb") as f:
                                r = self.run_prog([self.prog("vorlan-replay")], stdin=f, stdout=fd)
                        else:
                            r = self.run_prog([self.prog("vorlan-replay"), self.movie], stdout=fd)
                    finally:
                        os.close(fd)
                    name = b"-" if stdin else self.movie.encode()
                    self.assertEqual((r.returncode, r.stderr),
                                     (1, b'Error opening input file "%s": it is standard output\n'
                                      % name))
                    self.assertFiles()

    def test_an_emptied_own_output_is_allowed(self):
        # "> movie" empties the movie before the program starts: nothing is left to lose.
        fd = os.open(self.movie, os.O_WRONLY | os.O_TRUNC)
        try:
            r = self.run_prog([self.prog("rawcopy"), self.movie], stdout=fd)
        finally:
            os.close(fd)
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertFiles(movie=b"")


# The counting run and the faulty run must make the same calls: under the sanitizers, how
# often the runtime reads at start-up moves with the address layout, so it is held fixed.
FIXED_LAYOUT = ["setarch", "-R"] if shutil.which("setarch") else []


def traced_environment():
    """The environment for a traced program: LeakSanitizer cannot work under ptrace, and its
    failed attempt at exit closes descriptors of its own, so a sanitizer build leaves it off
    there."""
    asan = os.environ.get("ASAN_OPTIONS")
    return dict(os.environ, ASAN_OPTIONS=asan + ":detect_leaks=0") if asan else None


class Injected(Front):
    """Faults made with strace at the one call that matters, found by a first traced run."""

    def calls(self, argv, syscall, pattern, after=None, **kw):
        """The 1-based numbers, among the traced `syscall` calls, of those matching `pattern`
        (and, given `after`, coming after the opening of that file)."""
        log = self.path("trace")
        self.run_prog([*FIXED_LAYOUT, "strace", "-qq", "-o", log, "-e", f"trace={syscall},openat",
                       *argv],
                      env=traced_environment(), **kw)
        found, n, opened = [], 0, after is None
        with open(log) as f:
            for line in f:
                if line.startswith("openat(") and after and f'"{after}"' in line:
                    opened = True
                if not line.startswith(syscall + "("):
                    continue
                n += 1
                if opened and re.match(pattern, line):
                    found.append(n)
        return found

    def inject(self, argv, syscall, fault, when, **kw):
        return self.run_prog([*FIXED_LAYOUT, "strace", "-qq", "-o", "/dev/null",
                              "-e", f"trace={syscall}",
                              "-e", f"inject={syscall}:{fault}:when={when}", *argv],
                             env=traced_environment(), **kw)

    def test_a_read_error_is_never_a_success(self):
        split = self.file("split", SPLIT)
        cases = [[self.prog(p), split, self.path("out")] for p in CONVERTERS]
        cases.append([self.prog("vorlan-replay"), split])
        for argv in cases:
            with self.subTest(argv=argv[0]):
                reads = self.calls(argv, "read", r"read\(3,", after=split)
                self.assertGreaterEqual(len(reads), 2)
                r = self.inject(argv, "read", "error=EIO", reads[1])
                self.assertEqual((r.returncode, r.stderr), (1, b"Error reading file\n"))
                self.assertFiles(split=SPLIT)

    def test_the_input_as_output_refused_when_its_name_cannot_be_looked_at(self):
        # The look at the output's name fails: the output, once open, is looked at again
        # before anything empties it.
        os.link(self.movie, self.path("hard"))
        for prog in CONVERTERS:
            with self.subTest(prog=prog):
                argv = [self.prog(prog), self.movie, self.path("hard")]
                looks = self.calls(argv, "newfstatat",
                                   rf'newfstatat\(AT_FDCWD, "{self.path("hard")}"')
                if not looks:
                    self.skipTest("names are looked at by another system call here")
                r = self.inject(argv, "newfstatat", "error=EIO", looks[0])
                self.assertEqual((r.returncode, r.stderr), (1, refused(self.path("hard"))))
                self.assertFiles()

    def test_a_write_that_takes_nothing_is_a_write_error(self):
        cases = [([self.prog(p), self.movie, self.path("out")], b"Error writing file\n")
                 for p in CONVERTERS]
        cases += [([self.prog(p), self.movie, "-"], b"Error writing file\n")
                  for p in CONVERTERS[1:]]
        cases += [([self.prog("vorlan-replay"), self.movie], b"Error writing file\n"),
                  ([self.prog("rawcopy"), self.movie, self.kept],
                   b"rawcopy: write error: %s\n" % os.strerror(errno.EIO).encode())]
        for argv, message in cases:
            with self.subTest(argv=argv):
                # Every write takes nothing, the messages' too: still no spin.
                r = self.inject(argv, "write", "retval=0", "1+")
                self.assertEqual(r.returncode, 1)
                # Only the first: the message comes through.
                r = self.inject(argv, "write", "retval=0", 1)
                self.assertEqual((r.returncode, r.stderr), (1, message))
                self.assertFiles()

    def test_a_failed_close_of_the_output_is_a_write_error(self):
        cases = [([self.prog(p), self.movie, self.path("out")], 4, b"Error writing file\n")
                 for p in CONVERTERS]
        cases += [([self.prog(p), self.movie, "-"], 1, b"Error writing file\n")
                  for p in CONVERTERS[1:]]
        cases += [([self.prog("vorlan-replay"), self.movie], 1, b"Error writing file\n"),
                  ([self.prog("rawcopy"), self.movie], 1,
                   b"rawcopy: write error: %s\n")]
        for argv, fd, message in cases:
            for error in ("EIO", "EINTR"):
                with self.subTest(argv=argv, error=error):
                    closes = self.calls(argv, "close", rf"close\({fd}\)")
                    self.assertTrue(closes, "the output is closed")
                    r = self.inject(argv, "close", f"error={error}", closes[-1])
                    if b"%s" in message:
                        want = message % os.strerror(getattr(errno, error)).encode()
                    else:
                        want = message
                    self.assertEqual((r.returncode, r.stderr), (1, want))
                    self.assertFiles()


def main():
    global BINDIR
    BINDIR = sys.argv.pop(1)
    argv = sys.argv[:1] + sys.argv[1:]
    if not shutil.which("strace"):
        if os.environ.get("CI") == "true":
            print("strace is missing (package strace)", file=sys.stderr)
            return 1
        print("strace is missing (package strace): the injected faults are not tried")
        result = unittest.main(argv=argv + ["-k", "ClosedDescriptors", "-k", "ClosedAtStart",
                                            "-k", "WritesIntoItsInput"], exit=False).result
        return 1 if result.failures or result.errors else SKIP
    result = unittest.main(argv=argv, exit=False).result
    return 1 if result.failures or result.errors else 0


if __name__ == "__main__":
    sys.exit(main())
