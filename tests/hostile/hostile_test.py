#!/usr/bin/env python3
"""Hostile input for the installed programs: garbage, a 10 MB record, only zero bytes,
counts beyond 32 bits, and a file truncated while it is being read. Each program must end
with its documented message or a normal exit: never a signal, never a hang.

Usage: hostile_test.py STAGE_DIR [unittest arguments]"""
import json
import os
import random
import select
import subprocess
import sys
import unittest

from support.scratch import ScratchCase
from support import tools
from support.tmux_pane import Pane
from support.waiting import read_within, wait_for

STAGE = ""
DEADLINE = 20  # seconds; every case ends far sooner
BIG = 10 * 1024 * 1024

GARBAGE = b"\xff" + random.Random(6).randbytes(64 * 1024)
HUGE_COUNTS = (b"line a\nsleep 99999999999999999999\nsleep -99999999999999999999\n"
               b"sleep 4294967296\n#99999999999 x\n#-99999999999\nline b\n")


def program(name):
    return os.path.join(STAGE, "bin", name)


def read_text(path):
    try:
        with open(path) as f:
            return f.read().strip()
    except FileNotFoundError:
        return ""


class Scratch(ScratchCase):
    def run_program(self, args, **kw):
        try:
            r = subprocess.run(args, capture_output=True, timeout=DEADLINE, **kw)
        except subprocess.TimeoutExpired:
            self.fail(f"{args[0]} hung")
        self.assertGreaterEqual(r.returncode, 0, f"{args[0]} died of signal {-r.returncode}")
        return r


class Replay(Scratch):
    def totext(self, movie):
        out = os.path.join(self.dir, "out.txt")
        r = self.run_program([program("vorlan-totext"), self.file("in.movie", movie), out])
        with open(out, "rb") as f:
            return r, f.read()

    def test_rejected_input_stops_with_syntax_error(self):
        for name, movie, shown in [("garbage", GARBAGE, GARBAGE[:20]),
                                   ("only zero bytes", b"\0" * 100000, b""),
                                   ("10 MB record of no kind", b"x" * BIG + b"\n", b"x" * 100)]:
            with self.subTest(name):
                r, out = self.totext(movie)
                self.assertEqual(r.returncode, 1)
                self.assertTrue(r.stderr.startswith(b"Syntax error in line:\n" + shown))
                self.assertEqual(out, b"")

    def test_ten_megabyte_records_are_written_whole(self):
        text = bytes(random.Random(7).choices(b"abc \x1b[31m;", k=BIG))
        movie = b"line " + text + b"\nprompt " + text + b"\nsleep " + b"9" * BIG + b"\nline z\n"
        want = text + b"\n" + text + b"z\n\n"
        r, out = self.totext(movie)
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertEqual(out, want)
        # Replay mode would take the 10 MB count as a pause of 24 days: a short one instead.
        r = self.run_program([program("vorlan-replay")], input=movie.replace(b"9" * BIG, b"1"))
        self.assertEqual((r.returncode, r.stderr), (0, b""))
        self.assertEqual(r.stdout, want)

    def test_counts_beyond_32_bits(self):
        movie = b"line a\nsleep 99999999999999999999\nline b\n"
        r, out = self.totext(movie)
        self.assertEqual((r.returncode, out), (0, b"a\nb\n\n"))
        # Negative or wrapped-to-zero counts give no pause whichever way they are read.
        r = self.run_program([program("vorlan-replay")],
                             input=b"line a\nsleep -99999999999999999999\nline b\n")
        self.assertEqual((r.returncode, r.stdout), (0, b"a\nb\n\n"))
        # A huge positive count is a long pause: nothing more comes, and the replay lives on.
        p = subprocess.Popen([program("vorlan-replay"), self.file("big.movie", movie)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        try:
            self.assertEqual(read_within(p.stdout.fileno(), 2, "the record before the pause",
                                         DEADLINE), b"a\n")
            ready, _, _ = select.select([p.stdout], [], [], 0.5)
            self.assertEqual(ready, [], "vorlan-replay went on, or ended, instead of pausing")
            self.assertIsNone(p.poll(), "vorlan-replay died during a long pause")
        finally:
            p.kill()
            p.communicate()

    def test_file_truncated_during_a_pause(self):
        filler = b"line filler\n" * 100000
        path = self.file("shrinks.movie", b"line before\nsleep 400\n" + filler)
        p = subprocess.Popen([program("vorlan-replay"), path],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(p.kill)
        try:
            self.assertEqual(read_within(p.stdout.fileno(), 7, "the record before the pause",
                                         DEADLINE), b"before\n")
            os.truncate(path, 0)
            out, err = p.communicate(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            p.kill()
            p.communicate()
            self.fail("vorlan-replay hung after its input shrank")
        # What was read ahead before the cut plays; a record cut short ends the input like
        # any last record, or is refused if the cut fell inside its keyword.
        if p.returncode == 1:
            self.assertTrue(err.startswith(b"Syntax error in line:\n"), err)
        else:
            self.assertEqual((p.returncode, err), (0, b""))
            self.assertTrue(out.endswith(b"\n"))
            for line in out.split(b"\n"):
                self.assertTrue(b"filler".startswith(line), line)
        self.assertLess(len(out), len(filler))


class Rawcopy(Scratch):
    def test_hostile_bytes_are_copied_exactly(self):
        for name, data in [("garbage", GARBAGE), ("10 MB record", b"line " + b"y" * BIG + b"\n"),
                           ("only zero bytes", b"\0" * 100000), ("huge counts", HUGE_COUNTS)]:
            with self.subTest(name):
                path = self.file("in", data)
                r = self.run_program([program("rawcopy"), path])
                self.assertEqual((r.returncode, r.stderr), (0, b""))
                self.assertEqual(r.stdout, data)
                r = self.run_program([program("rawcopy")], input=data)
                self.assertEqual(r.stdout, data)

    def test_file_truncated_while_copied(self):
        data = random.Random(8).randbytes(8 * 1024 * 1024)
        path = self.file("shrinks", data)
        p = subprocess.Popen([program("rawcopy"), path],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.addCleanup(p.kill)
        try:
            # The pipe fills and rawcopy blocks in a write, part way through the file.
            head = read_within(p.stdout.fileno(), 256 * 1024, "the copy's first bytes", DEADLINE)
            os.truncate(path, 1024 * 1024)
            rest, err = p.communicate(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            p.kill()
            p.communicate()
            self.fail("rawcopy hung after its input shrank")
        self.assertEqual((p.returncode, err), (0, b""))
        out = head + rest
        self.assertEqual(out, data[:len(out)])
        self.assertLess(len(out), len(data))


class Export(Scratch):
    def test_hostile_movies_export_whole(self):
        """Every movie gives a whole page and a cast whose every line is JSON, times included."""
        movies = [("garbage", GARBAGE), ("only zero bytes", b"\0" * 100000),
                  ("10 MB line", b"line " + b"<\x1b[31m&\x07" * (BIG // 8) + b"\n"),
                  ("10 MB annotation", b"#1 " + b"\"\\\r" * (BIG // 3) + b"\n"),
                  ("counts beyond 32 bits", HUGE_COUNTS * 3)]
        for name, movie in movies:
            path = self.file("in.movie", movie)
            with self.subTest(name, program="vorlan-tohtml"):
                r = self.run_program([program("vorlan-tohtml"), path, "-"])
                self.assertEqual((r.returncode, r.stderr), (0, b""))
                self.assertTrue(r.stdout.endswith(b"</header>\n</body>\n</html>\n"))
                self.assertEqual(r.stdout.count(b"</pre>\n<header>\n"), 1)
                self.assertEqual(r.stdout.count(b"<pre>"), 1)
            with self.subTest(name, program="vorlan-tocast"):
                r = self.run_program([program("vorlan-tocast"), path, "-"])
                self.assertEqual((r.returncode, r.stderr), (0, b""))
                events = [json.loads(line) for line in r.stdout.decode().splitlines()[1:]]
                times = [e[0] for e in events]
                self.assertEqual(times, sorted(times))


class Viewer(Scratch):
    """The viewer in a tmux pane of fixed size on a private server; a wrapper records the
    terminal modes before and after and the exit status."""

    def start(self, movie_path, redirect=""):
        before, after, status = (os.path.join(self.dir, n) for n in ("before", "after", "status"))
        for leftover in (before, after, status):
            if os.path.exists(leftover):
                os.remove(leftover)
        # The trap keeps the wrapper alive through an interrupt aimed at the viewer; exec
        # resets it, so the viewer gets the signal's usual effect.
        script = (f'trap : INT TERM; stty -g > {before}; '
                  f'{program("vorlan-viewer")} {movie_path} {redirect}; '
                  f'echo $? > {status}.tmp; stty -g > {after}; mv {status}.tmp {status}; '
                  f'sleep 60')
        self.pane = Pane(["sh", "-c", script])
        self.addCleanup(self.pane.close)
        self.status_file, self.before, self.after = status, before, after
        self.pane.wait_text("Speed:", DEADLINE)

    def keys_until_end(self):
        """Presses a key that only ends the wait until the end marker shows."""
        def shown():
            self.pane.keys("x")
            return "**** END ***" in self.pane.text()
        wait_for("the end marker", shown, DEADLINE, poll=0.05)

    def quit_and_check(self, key="q"):
        self.pane.keys(key)
        status = wait_for("the viewer to exit", lambda: read_text(self.status_file), DEADLINE)
        if key == "q":
            self.assertEqual(status, "0", "vorlan-viewer did not exit normally")
        self.assertEqual(read_text(self.before), read_text(self.after),
                         "terminal modes not restored")
        self.assertEqual(self.pane.query("#{alternate_on}"), "0")

    def test_hostile_movies_play_to_the_end(self):
        for name, data in [("garbage", GARBAGE), ("10 MB record", b"line " + b"y" * BIG + b"\n"),
                           ("only zero bytes", b"\0" * 100000), ("huge counts", HUGE_COUNTS)]:
            with self.subTest(name):
                self.start(self.file("hostile.movie", data))
                self.keys_until_end()
                self.quit_and_check()
                self.pane.close()

    def test_file_truncated_during_a_wait(self):
        path = self.file("shrinks.movie", b"line before\nsleep 600000\n" + b"line filler\n" * 50000)
        self.start(path)
        self.pane.wait_text("Cmd: sleep", DEADLINE)
        os.truncate(path, 0)
        self.pane.keys("x")
        # What was read ahead plays; then the read finds nothing and playback ends there.
        self.pane.wait_text("**** END ***", DEADLINE)
        # A jump forward is held to the size measured at start, which the file no longer has.
        self.pane.keys("F")
        self.pane.wait_text("Final offset", DEADLINE)
        self.quit_and_check()

    def test_closed_standard_descriptors(self):
        # Keys then come from the terminal itself and the screen goes to it; the movie, the
        # only file the viewer opens, must come out as it went in.
        movie = b"line shown\nsleep 600000\nline b\n"
        for redirect in ("0<&-", "1>&-", "2>&-", "0<&- 1>&- 2>&-"):
            with self.subTest(redirect):
                path = self.file("kept.movie", movie)
                self.start(path, redirect)
                self.pane.wait_text("shown", DEADLINE)
                self.quit_and_check()
                self.pane.close()
                with open(path, "rb") as f:
                    self.assertTrue(f.read() == movie, "the movie changed")

    def test_interrupt_restores_the_terminal(self):
        self.start(self.file("waits.movie", b"line a\nsleep 600000\nline b\n"))
        self.pane.wait_text("Cmd: sleep", DEADLINE)
        self.quit_and_check("C-c")


if __name__ == "__main__":
    STAGE = sys.argv[1]
    if "Viewer" in sys.argv[2:]:
        tools.need("tmux")
    unittest.main(argv=[sys.argv[0], *sys.argv[2:]], verbosity=2)
