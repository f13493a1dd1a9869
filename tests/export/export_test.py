"""vorlan-tohtml and vorlan-tocast as installed: the command line and its messages, and what
real clients make of their output: tidy and a headless browser for pages, the asciinema
client and its web player for casts.

Usage: export_test.py BINDIR GROUP [unittest arguments]
  GROUP: CommandLine, Tidy, Asciinema, Browser or Player
"""
import functools
import http.server
import html
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import time
import unittest

from support.tmux_pane import Pane
from support.scratch import ScratchCase
from support import tools
from support import charset_movies
from support.messages import input_as_output
from support.waiting import wait_for

BINDIR = None
DEADLINE = 30.0
HERE = os.path.dirname(os.path.abspath(__file__))
DEMO = os.path.join(HERE, "..", "..", "examples", "demo.movie")
TOCAST_MAN = os.path.join(HERE, "..", "..", "man", "vorlan-tocast.1")
PLAYER_BUNDLE = None  # the web player's dist/bundle folder, for the Player group
SKIP = tools.SKIP

EXAMPLE = b"line a\nprompt b> \nsleep 1500\nline c\n"
# Markup, entities, quotes and event handlers: all of it must stay text.
HOSTILE = (b"line <script>document.title='pwned';window.pwned=1</script>\n"
           b"line <img src=x onerror=\"window.pwned=2\"> & &amp; \"q\" 'a'\n"
           b"#1 <svg onload=window.pwned=3>\r\n"
           b"line </pre><script>window.pwned=4</script><pre>\n"
           b"prompt <!-- --><iframe src=javascript:window.pwned=5>\n"
           b"line \x1b[31m<b onclick=window.pwned=6>red</b>\x1b[0m\n")
HOSTILE_TEXT = ("<script>document.title='pwned';window.pwned=1</script>\n"
                "<img src=x onerror=\"window.pwned=2\"> & &amp; \"q\" 'a'\n"
                "##==> <svg onload=window.pwned=3>\n"
                "</pre><script>window.pwned=4</script><pre>\n"
                "<!-- --><iframe src=javascript:window.pwned=5>"
                "<b onclick=window.pwned=6>red</b>\n")
# Every look the writers know, controls shown, a carriage return inside a line, a text
# that starts with a newline.
LOOKS = (b"line \nline \x1b[31mred \x1b[91mbold red \x1b[38mgrey \x1b[3200mwhite\x1b[0m\n"
         b"#2 note\n"
         b"line \x1b[34m\x07\x7f\ta\xc2\x85\xe9!\x1b[0m\n"
         b"sleep 250\n"
         b"prompt \x1b[1mend> ")
LOOKS_TEXT = "\nred bold red grey white\n##==> note\n^G^?    a~E\u00e9!\nend> "
LOOKS_CAST = (b"\r\n\x1b[0;31mred \x1b[0;1;31mbold red \x1b[0;1;90mgrey \x1b[0;1;37mwhite"
              b"\r\n\x1b[0;7m##==> note\r\n\x1b[0;34m^G^?    a~E\xc3\xa9!"
              b"\r\n\x1b[0;1mend> \x1b[0m")
# What the viewer's screen shows for the way lines are written: returns and backspaces that
# write over a line, tabs, wide characters, bidirectional controls. Each line ends in "|" or
# "x" so that a browser's columns can be compared.
LAYOUT = ("line cr\rmid|\n"
          "line two\r\x1b[0m\nline three\r\r\n"
          "line abc\b\bX|\n"
          "#1 \ta\tb|\n"
          "line \u65e5\u672c\u8a9e|\n"
          "line abcdef|\n"
          "line \u65e5\u672c\tx\n"
          "line abcd\tx\n"
          "line \u26a1\u2705\U0001f680|\n"
          "line Ylva says: \u202emeti eht em evig\u202c ok|\n"
          "line \u05e9\u05dc\u05d5\u05dd ab|\n"
          "line ab\u65e5\be\tZ|\n"
          "line \u65e5\u672c\b\n").encode()
LAYOUT_ROWS = ["mid|", "two", "three", "aX|", "##==>   a       b|", "\u65e5\u672c\u8a9e|",
               "abcdef|", "\u65e5\u672c    x", "abcd    x", "\u26a1\u2705\U0001f680|",
               "Ylva says: meti eht em evig ok|", "\u05e9\u05dc\u05d5\u05dd ab|",
               "ab\u65e5e    Z|", "\u65e5\u672c"]


class Case(ScratchCase):
    def setUp(self):
        super().setUp()
        self.tohtml = os.path.join(BINDIR, "vorlan-tohtml")
        self.tocast = os.path.join(BINDIR, "vorlan-tocast")

    def export(self, prog, movie_name, movie, out_name):
        r = self.run_prog([prog, self.file(movie_name, movie), self.path(out_name)])
        self.assertRun(r, 0, b"")
        return self.path(out_name)


def cast_events(data):
    """The header and the events of a cast, each line parsed on its own."""
    lines = data.decode("utf-8").split("\n")
    assert lines[-1] == "", "a cast ends with a line end"
    parsed = [json.loads(line) for line in lines[:-1]]
    return parsed[0], parsed[1:]


def page_text(page):
    """The set a page names and its <pre>'s text, tags left out."""
    named = re.search(r'<meta name="movie-charset" content="([^"]*)">', page).group(1)
    pre = page[page.index("<pre>") + 5:page.index("</pre>")]
    return named, html.unescape(re.sub(r"<[^>]*>", "", pre))


def cast_text(events):
    """The output of a cast's events, its writer's looks left out, line ends as newlines."""
    joined = "".join(e[2] for e in events if e[1] == "o")
    return re.sub("\x1b\\[[0-9;]*m", "", joined).replace("\r\n", "\n")


class CommandLine(Case):
    def test_character_sets_decided_once_for_the_page_and_the_cast(self):
        for key, (movie, name, shown) in charset_movies.all_movies().items():
            with self.subTest(movie=key):
                # (Compared whole, not diffed: one of them is longer than the sample.)
                with open(self.export(self.tohtml, "m.movie", movie, "m.html"), "rb") as f:
                    self.assertTrue(page_text(f.read().decode("utf-8")) == (name, shown))
                with open(self.export(self.tocast, "m.movie", movie, "m.cast"), "rb") as f:
                    cast = f.read()
                header, events = cast_events(cast)
                self.assertEqual(header["env"], {"MOVIE_CHARSET": name})
                self.assertTrue(cast_text(events) == shown)
                # Read from a pipe, the sample is read once and the reading goes on from it.
                piped = subprocess.run(
                    f"cat {self.path('m.movie')} | {self.tocast} /dev/stdin -", shell=True,
                    capture_output=True, timeout=60)
                self.assertEqual(piped.returncode, 0, piped.stderr)
                self.assertTrue(cast_events(piped.stdout)[1] == events)

    def test_usage_with_the_invocation_name(self):
        movie = self.file("m", EXAMPLE)
        for prog in [self.tohtml, self.tocast]:
            for args in [[], [movie], [movie, self.path("o"), self.path("p")]]:
                with self.subTest(prog=prog, args=args):
                    self.assertRun(self.run_prog([prog, *args]), 1, b"",
                                   b"Usage: %s infile outfile\n" % prog.encode())
                    self.assertFalse(os.path.exists(self.path("o")))
        r = self.run_prog(["./vorlan-tocast"], cwd=BINDIR)
        self.assertRun(r, 1, b"", b"Usage: ./vorlan-tocast infile outfile\n")

    def test_input_opened_first_and_the_output_left_alone(self):
        missing = self.path("missing")
        os.mkdir(self.path("dir"))
        for prog in [self.tohtml, self.tocast]:
            with self.subTest(prog=prog):
                kept = self.file("kept", b"keep me\n")
                self.assertRun(self.run_prog([prog, missing, kept]), 1, b"",
                               b'Error opening input file "%s"\n' % missing.encode())
                self.assertRun(self.run_prog([prog, missing, self.path("new")]), 1, b"",
                               b'Error opening input file "%s"\n' % missing.encode())
                self.assertFalse(os.path.exists(self.path("new")))
                # A directory opens but cannot be read: known before the output is touched.
                self.assertRun(self.run_prog([prog, self.path("dir"), kept]), 1, b"",
                               b"Error reading file\n")
                self.assertEqual(self.read("kept"), b"keep me\n")
                out = self.path("no/such/dir")
                self.assertRun(self.run_prog([prog, self.file("m", EXAMPLE), out]), 1, b"",
                               b'Error opening output file "%s"\n' % out.encode())

    def test_refuses_to_write_over_its_input(self):
        movie = self.file("m", EXAMPLE)
        os.link(movie, self.path("hard"))
        os.symlink(movie, self.path("soft"))
        for prog in [self.tohtml, self.tocast]:
            for out in [movie, "m", "./m", self.path("hard"), self.path("soft")]:
                with self.subTest(prog=prog, out=out):
                    r = self.run_prog([prog, movie, out], cwd=self.dir)
                    self.assertRun(r, 1, b"", b'Error opening output file "%s": it is the '
                                   b'input file\n' % out.encode())
                    self.assertEqual(self.read("m"), EXAMPLE)
            with self.subTest(prog=prog, out="- appending to the input"):
                with open(movie, "ab") as appended:
                    r = subprocess.run([prog, movie, "-"], stdout=appended,
                                       stderr=subprocess.PIPE, timeout=60)
                self.assertEqual((r.returncode, r.stderr),
                                 (1, input_as_output("-")))
                self.assertEqual(self.read("m"), EXAMPLE)
            self.assertRun(self.run_prog([prog, "/dev/null", "/dev/null"]), 0, b"")

    def test_standard_output_is_the_file_output(self):
        for prog in [self.tohtml, self.tocast]:
            with self.subTest(prog=prog):
                written = self.export(prog, "m", LOOKS, "o")
                r = self.run_prog([prog, self.path("m"), "-"])
                with open(written, "rb") as f:
                    self.assertRun(r, 0, f.read())

    def test_write_and_read_failures(self):
        movie = self.file("m", EXAMPLE)
        for prog in [self.tohtml, self.tocast]:
            with self.subTest(prog=prog):
                self.assertRun(self.run_prog([prog, movie, "/dev/full"]), 1, b"",
                               b"Error writing file\n")
                with open("/dev/full", "wb") as full:
                    r = subprocess.run([prog, movie, "-"], stdout=full, stderr=subprocess.PIPE,
                                       timeout=60)
                self.assertEqual((r.returncode, r.stderr), (1, b"Error writing file\n"))
                # Reading a process's memory from address 0 fails at once.
                if os.path.exists("/proc/self/mem"):
                    self.assertRun(self.run_prog([prog, "/proc/self/mem", self.path("o")]), 1,
                                   b"", b"Error reading file\n")

    def test_cast_width_measured_when_the_input_can_be_read_twice(self):
        wide = b"line " + b"x" * 150 + b"\nline " + "\u4e2d".encode() * 100 + b"\n"
        # One overlong line among ordinary ones wraps rather than widening the cast.
        one_long = b"line short\n" * 99 + b"line " + b"x" * 300 + b"\n"
        # However short the movie.
        short = b"line short\n" * 20 + b"line " + b"x" * 300 + b"\n"
        cases = [(EXAMPLE, 80), (wide, 160), ((b"line " + b"x" * 120 + b"\n") * 2, 120),
                 (one_long, 80), (short, 80)]
        for movie, width in cases:
            with self.subTest(width=width):
                out = self.export(self.tocast, "m.movie", movie, "o")
                with open(out, "rb") as f:
                    header, _ = cast_events(f.read())
                self.assertEqual(header, {"version": 2, "width": width, "height": 24,
                                          "title": "m.movie",
                                          "env": {"MOVIE_CHARSET": "UTF-8/windows-1252"}})
                # A pipe is read once: the narrowest width does, the events are the same.
                piped = subprocess.run(
                    f"cat {self.path('m.movie')} | {self.tocast} /dev/stdin -", shell=True,
                    capture_output=True, timeout=60)
                self.assertEqual(piped.returncode, 0, piped.stderr)
                header, events = cast_events(piped.stdout)
                self.assertEqual(header["width"], 80)
                if width == 80:
                    with open(out, "rb") as f:
                        self.assertEqual(events, cast_events(f.read())[1])

    def test_chapters_beyond_memory_from_a_pipe(self):
        # More chapters than the page's writer holds in memory wait in a temporary file.
        movie = b"".join(b"#1 chapter %d\n" % i for i in range(20000))
        page = self.export(self.tohtml, "m", movie, "o")
        piped = subprocess.run(f"cat {self.path('m')} | {self.tohtml} /dev/stdin -", shell=True,
                               capture_output=True, timeout=60)
        self.assertEqual(piped.returncode, 0, piped.stderr)
        with open(page, "rb") as f:
            self.assertEqual(piped.stdout.replace(b">stdin<", b">m<"), f.read())
        self.assertEqual(piped.stdout.count(b"<li>"), 20000)
        self.assertIn(b"chapter-20000\"><span class=\"at\">0:33:19</span>chapter 19999</a>",
                      piped.stdout)
        # When no temporary file can be made, the run fails as a write does.
        r = self.run_prog([self.tohtml, self.path("m"), self.path("o")],
                          env={**os.environ, "TMPDIR": self.path("none")})
        self.assertRun(r, 1, b"", b"Error writing file\n")

    def test_cast_events_and_times(self):
        out = self.export(self.tocast, "m", EXAMPLE + b"#20 note\nline d\n", "o")
        with open(out, "rb") as f:
            _, events = cast_events(f.read())
        self.assertEqual(events, [[0.0, "o", "a\r\n"], [0.0, "o", "b> "], [1.5, "o", "c\r\n"],
                                  [1.5, "m", "note"], [1.5, "o", "\x1b[0;7m##==> note\r\n"],
                                  [3.5, "o", "\x1b[0md\r\n"], [3.5, "o", ""]])

    def test_cast_ends_where_the_viewer_reaches_its_end(self):
        for start in (b"line b\n", b"line \x1b[31mb\n"):
            with self.subTest(start=start):
                out = self.export(self.tocast, "m", start + b"sleep 60000\nsleep 1\n", "o")
                with open(out, "rb") as f:
                    _, events = cast_events(f.read())
                self.assertEqual(events[-1], [60.0, "o", "\x1b[0m" if b"\x1b" in start else ""])

    def test_cast_widths_match_east_asian_width(self):
        """Every code point's columns in the cast, read off the blanks the tab after it puts,
        against Unicode's East Asian Width: W and F take two columns, the rest one; combining
        marks, format characters and Hangul vowels and finals none."""
        import unicodedata
        points = [c for c in range(0x21, 0x110000)
                  if not (0x7F <= c <= 0x9F or 0xD800 <= c <= 0xDFFF
                          or 0xFDD0 <= c <= 0xFDEF or (c & 0xFFFE) == 0xFFFE)]
        per_line = 8  # 72 columns with the lead: no row wraps
        lines = [points[i:i + per_line] for i in range(0, len(points), per_line)]
        movie = "".join("line --------" + "".join(chr(c) + "\t" for c in line) + "\n"
                        for line in lines).encode()
        out = self.export(self.tocast, "m", movie, "o")
        with open(out, "rb") as f:
            header, events = cast_events(f.read())
        self.assertEqual((header["width"], len(events)), (80, len(lines) + 1))
        wrong, skew = [], []
        for line, event in zip(lines, events):
            text, pos = event[2].removesuffix("\r\n"), 8
            for c in line:
                # Each character, unless it is left out, then the blanks to the next stop.
                if text[pos] == chr(c):
                    pos += 1
                blanks = len(text[pos:pos + 8]) - len(text[pos:pos + 8].lstrip(" "))
                pos += blanks
                columns = 8 - blanks
                ch = chr(c)
                expected = 2 if unicodedata.east_asian_width(ch) in ("W", "F") else 1
                category = unicodedata.category(ch)
                if columns == expected:
                    continue
                if columns == 0 and (category in ("Mn", "Me", "Cf")
                                     or 0x1160 <= c <= 0x11FF or 0xD7B0 <= c <= 0xD7FF):
                    continue
                if category == "Cn":
                    # Unassigned in this Python's Unicode data, whose East Asian Width calls
                    # them F; some were assigned in the newer Unicode the library knows.
                    skew.append(c)
                    continue
                wrong.append((hex(c), columns, expected, category))
        self.assertEqual(wrong, [])
        print(f"{len(skew)} code points unassigned in Unicode {unicodedata.unidata_version} "
              "left out", file=sys.stderr)


class Tidy(Case):
    def test_pages_pass_tidy(self):
        with open(DEMO, "rb") as f:
            demo = f.read()
        movies = {"demo.movie": demo, "<b>&'\".movie": HOSTILE, "looks": LOOKS, "layout": LAYOUT,
                  "empty": b"", "zero": b"line a\0b\n\0\0\0",
                  "long": b"line " + b"y" * 100000 + b"\n"}
        for name, movie in movies.items():
            with self.subTest(movie=name):
                page = self.export(self.tohtml, name, movie, "page.html")
                r = subprocess.run(["tidy", "-e", "-q", page], capture_output=True, timeout=60)
                # No errors (status 2), and no warning but tidy's own about an empty <pre>.
                report = r.stderr.decode(errors="replace")
                self.assertLess(r.returncode, 2, report)
                self.assertEqual([line for line in report.splitlines()
                                  if "trimming empty <pre>" not in line], [], report)


class Asciinema(Case):
    def cat(self, cast):
        """What `asciinema cat` writes for a cast; it wants a terminal, so it runs in a pane."""
        out, done = cast + ".out", cast + ".status"
        pane = Pane(["sh", "-c", f"asciinema cat {cast} > {out} 2> {out}.err; echo $? > {done}"])
        try:
            wait_for("asciinema cat to finish",
                     lambda: os.path.exists(done) and os.path.getsize(done) != 0, DEADLINE, 0.05,
                     shown=lambda: f"screen:\n{pane.text()}")
        finally:
            pane.close()
        with open(done) as f, open(out, "rb") as o, open(out + ".err", "rb") as e:
            status, output, errors = f.read().strip(), o.read(), e.read()
        self.assertEqual(status, "0", errors)
        return output

    def test_cat_reproduces_the_output(self):
        with open(DEMO, "rb") as f:
            demo = f.read()
        cases = [(LOOKS, LOOKS_CAST),
                 (b"line \"quoted\" \\ back\n#3 \x1b[2J\n", b"\"quoted\" \\ back\r\n"
                  b"\x1b[0;7m##==> ^[[2J\r\n\x1b[0m"),
                 (HOSTILE, None), (demo, None)]
        for movie, expected in cases:
            with self.subTest(movie=movie[:30]):
                cast = self.export(self.tocast, "m", movie, f"{len(movie)}.cast")
                with open(cast, "rb") as f:
                    _, events = cast_events(f.read())
                joined = "".join(e[2] for e in events if e[1] == "o").encode()
                if expected is not None:
                    self.assertEqual(joined, expected)
                self.assertEqual(self.cat(cast), joined)


    def test_cat_shows_other_character_sets(self):
        for key in ("gb18030", "big5", "cp1251"):
            with self.subTest(movie=key):
                movie, _, shown = charset_movies.screen_movie(key)
                cast = self.export(self.tocast, "m", movie, key + ".cast")
                with open(cast, "rb") as f:
                    _, events = cast_events(f.read())
                out = self.cat(cast).decode("utf-8")
                self.assertEqual(cast_text([[0, "o", out]]), shown)



    def screen(self, cast, cols, rows=24):
        """The pane `asciinema cat` has written a cast on; the pane stays as it left it (a
        dead pane's notice would scroll it)."""
        done = cast + ".done"
        pane = Pane(["sh", "-c", f"asciinema cat {cast} && touch {done}; exec sleep 600"],
                    rows=rows, cols=cols)
        try:
            pane.wait_for(lambda _: os.path.exists(done), "asciinema cat to end")
            return pane
        except BaseException:
            pane.close()
            raise

    def test_cast_leaves_the_viewers_rows(self):
        cast = self.export(self.tocast, "m", LAYOUT, "layout.cast")
        pane = self.screen(cast, 80)
        try:
            self.assertEqual([r.rstrip() for r in pane.lines()[:len(LAYOUT_ROWS)]], LAYOUT_ROWS)
            # An annotation's tab is blanks in reverse video: its bar has no gap.
            bar = pane.cells()[LAYOUT_ROWS.index("##==>   a       b|")][:18]
            self.assertEqual([c.char for c in bar if not c.reverse], [])
        finally:
            pane.close()

    def test_a_full_row_leaves_an_empty_one_after_it(self):
        """As in the viewer: the row wraps after its last column, then the newline moves on;
        the terminal's pending wrap must not swallow one of them."""
        movie = (b"line " + b"x" * 80 + b"\nline y\nline " + b"x" * 78 + "\u65e5".encode()
                 + b"\nline z\n")
        cast = self.export(self.tocast, "m", movie, "full.cast")
        pane = self.screen(cast, 80)
        try:
            self.assertEqual([r.rstrip() for r in pane.lines()[:6]],
                             ["x" * 80, "", "y", "x" * 78 + "\u65e5", "", "z"])
        finally:
            pane.close()

    def test_layout_rows_are_the_viewers(self):
        """The rows the page and the cast are held to are the viewer's own, in a pane as wide
        as the cast; the bidirectional controls it hands the terminal draw nothing there."""
        viewer = os.path.join(BINDIR, "vorlan-viewer")
        pane = Pane(["env", "LANG=C.UTF-8", viewer, self.file("layout", LAYOUT)], rows=30)
        try:
            pane.wait_text("**** END ***")
            rows = [r.rstrip() for r in pane.lines()[:len(LAYOUT_ROWS)]]
        finally:
            pane.close()
        bidi = dict.fromkeys([*range(0x202A, 0x202F), *range(0x2066, 0x206A)])
        self.assertEqual([r.translate(bidi) for r in rows], LAYOUT_ROWS)

    def test_an_overlong_line_wraps_at_an_ordinary_width(self):
        movie = b"line short\n" * 99 + b"line " + b"y" * 200 + b"z\n"
        cast = self.export(self.tocast, "m", movie, "long.cast")
        with open(cast, "rb") as f:
            header, _ = cast_events(f.read())
        self.assertEqual(header["width"], 80)
        pane = self.screen(cast, 80, rows=110)
        try:
            rows = [r.rstrip() for r in pane.lines()]
            self.assertEqual(rows[99:103], ["y" * 80, "y" * 80, "y" * 40 + "z", ""])
        finally:
            pane.close()


class DevTools(Case):
    """Headless chromium over its DevTools pipe: NUL-separated JSON on descriptors 3 and 4."""

    def setUp(self):
        super().setUp()
        to_browser, self.commands = os.pipe()
        self.replies, from_browser = os.pipe()

        def descriptors():
            # Both are copied out of the way first, since either may already be 3 or 4.
            reads, writes = os.dup(to_browser), os.dup(from_browser)
            os.dup2(reads, 3)
            os.dup2(writes, 4)

        self.profile = tempfile.mkdtemp()
        self.browser = subprocess.Popen(
            ["chromium", "--headless", "--no-sandbox", "--disable-gpu",
             "--disable-quic", "--no-first-run", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--remote-debugging-pipe",
             f"--user-data-dir={self.profile}", "about:blank"],
            preexec_fn=descriptors, close_fds=False, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_browser)
        os.close(from_browser)
        self.pending = b""
        self.next_id = 0

    def tearDown(self):
        os.close(self.commands)
        self.browser.terminate()
        try:
            self.browser.wait(timeout=DEADLINE)
        except subprocess.TimeoutExpired:
            self.browser.kill()
            self.browser.wait()
        os.close(self.replies)
        shutil.rmtree(self.profile, ignore_errors=True)
        super().tearDown()

    def send(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.commands, json.dumps(message).encode() + b"\0")
        end = time.monotonic() + DEADLINE
        while True:
            while b"\0" in self.pending:
                raw, self.pending = self.pending.split(b"\0", 1)
                reply = json.loads(raw)
                if reply.get("id") == self.next_id:
                    self.assertNotIn("error", reply, method)
                    return reply["result"]
            if time.monotonic() > end:
                self.fail(f"no reply to {method}")
            import select
            if select.select([self.replies], [], [], end - time.monotonic())[0]:
                data = os.read(self.replies, 1 << 20)
                if not data:
                    self.fail(f"the browser ended before answering {method}")
                self.pending += data

    def open_page(self, page):
        """Opens a file, or a URL (http:...), in a new target; returns its session."""
        url = page if page.startswith("http:") else "file://" + page
        target = self.send("Target.createTarget", url=url)["targetId"]
        session = self.send("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        # A new target shows about:blank first.
        loaded = (f"location.protocol === '{url.split(':')[0]}:' && "
                  "document.readyState === 'complete'")
        wait_for("the page to load", lambda: self.evaluate(session, loaded), DEADLINE, 0.05)
        return session

    def evaluate(self, session, expression, wait=False):
        """The value of `expression`; with `wait`, of the promise it gives."""
        result = self.send("Runtime.evaluate", session, expression=expression,
                           returnByValue=True, awaitPromise=wait)
        self.assertNotIn("exceptionDetails", result, expression)
        return result["result"].get("value")

    def poll(self, session, expression, expected):
        """Evaluates `expression` until it gives `expected`, up to the deadline."""
        end = time.monotonic() + DEADLINE
        while True:
            value = self.evaluate(session, expression)
            if value == expected or time.monotonic() > end:
                self.assertEqual(value, expected, expression)
                return
            time.sleep(0.05)


class Browser(DevTools):

    def test_page_shows_the_text_in_its_colours(self):
        page = self.export(self.tohtml, "looks", LOOKS, "looks.html")
        session = self.open_page(page)
        self.assertEqual(self.evaluate(session, "document.querySelector('pre').textContent"),
                         LOOKS_TEXT)
        styles = self.evaluate(session, """[document.querySelector('pre'),
            ...document.querySelectorAll('pre span')].map(e => {
              const s = getComputedStyle(e);
              return [e.textContent, s.color, s.backgroundColor, s.fontWeight];
            })""")
        black, grey = "rgb(0, 0, 0)", "rgb(208, 208, 208)"
        self.assertEqual(styles[0][1:], [grey, black, "400"])
        self.assertEqual(styles[1:], [
            ["red ", "rgb(224, 72, 72)", "rgba(0, 0, 0, 0)", "400"],
            ["bold red ", "rgb(224, 72, 72)", "rgba(0, 0, 0, 0)", "700"],
            ["grey ", "rgb(138, 138, 138)", "rgba(0, 0, 0, 0)", "700"],
            ["white", "rgb(224, 224, 224)", "rgba(0, 0, 0, 0)", "700"],
            ["##==> note\n", black, grey, "400"],
            ["^G^?    a~E\u00e9!", "rgb(80, 128, 240)", "rgba(0, 0, 0, 0)", "400"],
            ["end> ", grey, "rgba(0, 0, 0, 0)", "700"]])
        # The page is as wide as the window: long lines wrap.
        self.assertTrue(self.evaluate(session, "getComputedStyle(document.querySelector('pre'))"
                                               ".whiteSpace === 'pre-wrap'"))

    def test_page_lines_up_as_the_viewers_screen(self):
        page = self.export(self.tohtml, "layout", LAYOUT, "layout.html")
        session = self.open_page(page)
        text = self.evaluate(session, "document.querySelector('pre').textContent")
        self.assertEqual(text, "\n".join(LAYOUT_ROWS) + "\n")
        # The whole <pre> selected copies its text alone.
        self.assertEqual(self.evaluate(session, """(() => {
            const range = document.createRange();
            range.selectNodeContents(document.querySelector('pre'));
            getSelection().removeAllRanges();
            getSelection().addRange(range);
            return getSelection().toString();
          })()""").rstrip("\n"), text.rstrip("\n"))
        # Where each character is drawn, row by row.
        drawn = self.evaluate(session, """(() => {
            const pre = document.querySelector('pre');
            const walk = document.createTreeWalker(pre, NodeFilter.SHOW_TEXT);
            const out = [];
            for (let n = walk.nextNode(); n; n = walk.nextNode()) {
              for (let i = 0; i < n.length; i++) {
                const r = document.createRange();
                r.setStart(n, i);
                r.setEnd(n, i + 1);
                out.push([n.data[i], r.getBoundingClientRect().left]);
              }
            }
            return out;
          })()""")
        rows = [[]]
        for ch, left in drawn:
            if ch == "\n":
                rows.append([])
            else:
                rows[-1].append((ch, left))

        def left_of(row, ch):
            return next(left for c, left in rows[LAYOUT_ROWS.index(row)] if c == ch)

        abc = rows[LAYOUT_ROWS.index("abcdef|")]
        cell = abc[1][1] - abc[0][1]
        self.assertGreater(cell, 0)
        # Columns after wide characters line up with columns after narrow ones.
        for wide, narrow, ch in [("\u65e5\u672c\u8a9e|", "abcdef|", "|"),
                                 ("\u26a1\u2705\U0001f680|", "abcdef|", "|"),
                                 ("\u65e5\u672c    x", "abcd    x", "x")]:
            with self.subTest(row=wide):
                self.assertAlmostEqual(left_of(wide, ch), left_of(narrow, ch), delta=0.5)
                self.assertAlmostEqual(left_of(narrow, ch) - abc[0][1],
                                       cell * narrow.index(ch), delta=0.5)
        # Characters are drawn in the order they come, right-to-left text and the text of a
        # right-to-left override alike.
        for row in ("Ylva says: meti eht em evig ok|", "\u05e9\u05dc\u05d5\u05dd ab|"):
            with self.subTest(row=row):
                lefts = [left for _, left in rows[LAYOUT_ROWS.index(row)]]
                self.assertEqual(lefts, sorted(lefts))
                self.assertEqual(len(set(lefts)), len(lefts))

    def test_pages_in_other_character_sets(self):
        for key in ("gb18030", "koi8_r", "shift_jis"):
            with self.subTest(movie=key):
                movie, name, shown = charset_movies.screen_movie(key)
                page = self.export(self.tohtml, key, movie, key + ".html")
                session = self.open_page(page)
                self.assertEqual(
                    self.evaluate(session, "document.querySelector('pre').textContent"), shown)
                self.assertEqual(self.evaluate(
                    session, "document.querySelector('meta[name=movie-charset]').content"), name)
                self.assertEqual(self.evaluate(session, "document.characterSet"), "UTF-8")

    def test_hostile_movie_stays_text(self):
        name = "<img src=x onerror=window.pwned=7>.movie"
        page = self.export(self.tohtml, name, HOSTILE, "hostile.html")
        session = self.open_page(page)
        self.assertEqual(self.evaluate(session, "document.querySelector('pre').textContent"),
                         HOSTILE_TEXT)
        self.assertEqual(self.evaluate(session, "document.title"), name)
        self.assertEqual(self.evaluate(session, "typeof window.pwned"), "undefined")
        tags = self.evaluate(session, "[...document.querySelectorAll('*')].map(e => e.localName)")
        self.assertEqual(sorted(set(tags)),
                         ["a", "body", "h1", "h2", "head", "header", "html", "li", "meta", "nav",
                          "ol", "p", "pre", "span", "style", "title"])
        self.assertEqual(self.evaluate(session, "document.querySelectorAll('pre').length"), 1)
        self.assertEqual(self.evaluate(session, "document.querySelector('h1').textContent"), name)
        self.assertEqual(self.evaluate(session, "document.querySelector('li').textContent"),
                         "0:00:00<svg onload=window.pwned=3>")

    def test_bidirectional_controls_stay_out_of_names_and_chapters(self):
        # Else the name reads "a" "exe.mov" reversed, and the chapter "x" "yz" reordered.
        name = "a\u202evom.exe"
        page = self.export(self.tohtml, name, "#1 x\u202ey\u2067z\n".encode(), "bidi.html")
        session = self.open_page(page)
        self.assertEqual(self.evaluate(session, """[document.title, ...document.querySelectorAll(
            'h1, li, pre')].map(e => typeof e === 'string' ? e : e.textContent)"""),
                         ["avom.exe", "##==> xyz\n", "avom.exe", "0:00:00xyz"])
        cast = self.export(self.tocast, name, "#1 x\u202ey\n".encode(), "bidi.cast")
        with open(cast, "rb") as f:
            header, events = cast_events(f.read())
        self.assertEqual((header["title"], events[0][1:]), ("avom.exe", ["m", "xy"]))

    def test_heading_above_the_transcript_and_chapters_that_reach_their_annotations(self):
        movie = (b"line first\n" + b"line filler\n" * 300 + b"#600 Into the <cave>\n"
                 + b"line dark\n" * 300 + b"sleep 3600000\n#20 Out again\nline " + b"x" * 70
                 + b"\nsleep 1500\nline last\n")
        # From a file and from a pipe alike: one pass writes the same page.
        page = self.export(self.tohtml, "m.movie", movie, "m.html")
        piped = subprocess.run(f"cat {self.path('m.movie')} | {self.tohtml} /dev/stdin -",
                               shell=True, capture_output=True, timeout=60)
        self.assertEqual(piped.returncode, 0, piped.stderr)
        with open(page, "rb") as f:
            self.assertEqual(piped.stdout, f.read().replace(b"<title>m.movie<", b"<title>stdin<")
                             .replace(b"<h1>m.movie<", b"<h1>stdin<"))
        session = self.open_page(page)
        size = f"{len(movie) // 1000}.{len(movie) // 100 % 10} kB"
        self.assertEqual(self.evaluate(session, """[...document.querySelectorAll(
            'h1, header p, h2, li')].map(e => e.textContent)"""),
                         ["m.movie", f"Length 1:01:03 at normal speed, size {size}", "Chapters",
                          "0:00:00Into the <cave>", "1:01:00Out again"])
        # The heading is above the transcript, which holds the transcript alone: selecting
        # all of it copies the text and nothing else (a selection leaves off the last newline).
        self.assertTrue(self.evaluate(session, "document.querySelector('header')"
                                      ".getBoundingClientRect().bottom <= document.querySelector"
                                      "('pre').getBoundingClientRect().top"))
        text = movie.replace(b"line ", b"").replace(b"sleep 3600000\n", b"")
        text = text.replace(b"sleep 1500\n", b"").replace(b"#600 ", b"##==> ")
        text = text.replace(b"#20 ", b"##==> ").decode()
        self.assertEqual(self.evaluate(session, """(() => {
            const pre = document.querySelector('pre');
            getSelection().selectAllChildren(pre);
            return getSelection().toString(); })()"""), text[:-1])
        # Each chapter link leads to an anchor just before its annotation, scrolled to the top.
        for n, shown in [(1, "##==> Into the <cave>\n"), (2, "##==> Out again\n")]:
            with self.subTest(chapter=n):
                self.assertEqual(self.evaluate(session, f"""(() => {{
                    scrollTo(0, 0);
                    const link = document.querySelectorAll('nav a')[{n - 1}];
                    link.click();
                    const target = document.getElementById(link.hash.slice(1));
                    const range = document.createRange();
                    range.setStartAfter(target);
                    range.setEnd(document.querySelector('pre'), document.querySelector('pre')
                                 .childNodes.length);
                    return [location.hash, target.closest('pre') !== null,
                            range.toString().split('\\n')[0] + '\\n', scrollY > 0];
                    }})()"""), [f"#chapter-{n}", True, shown, True])


def player_embedding():
    """The embedding vorlan-tocast(1) shows: the literal block that creates the player, its
    roff escapes undone. The test plays casts through it, so the manual shows what works."""
    with open(TOCAST_MAN) as f:
        blocks = re.findall(r"^\.Bd -literal[^\n]*\n(.*?)^\.Ed$", f.read(), re.M | re.S)
    [block] = [b for b in blocks if "AsciinemaPlayer.create" in b]
    return block.replace("\\e", "\\").replace("\\&", "")


# Movies played in the web player: at each time (in seconds), the rows the viewer shows then,
# trailing blanks left out (a tab reaches the next multiple of 8 columns).
ROWS = [b"line row %d\nsleep 100\n" % n for n in range(1, 31)]
PLAYED = [
    ("a chapter", b"line a\nsleep 1500\n#20 Look here.\nline \x1b[31mb\x1b[0m\n",
     [(0.5, ["a"]), (2.0, ["a", "##==> Look here."]),
      (3.5, ["a", "##==> Look here.", "b"])]),
    ("prompts, looks and two chapters",
     b"prompt \x1b[32mHP:10\x1b[0m> \nline look\nsleep 500\n#10 First one\n"
     b"line \x1b[1mcaf\xe9 \x1b[34m<&>\x1b[0m\ttab\x07\nsleep 2000\n#5 \"Second\" \\\nprompt end> ",
     [(0.2, ["HP:10> look"]), (0.5, ["HP:10> look", "##==> First one"]),
      (2.0, ["HP:10> look", "##==> First one", "caf\u00e9 <&>" + " " * 8 + "tab^G"]),
      (4.0, ["HP:10> look", "##==> First one", "caf\u00e9 <&>" + " " * 8 + "tab^G",
             "##==> \"Second\" \\", "end>"])]),
    ("scrolling", b"".join(ROWS),
     [(1.25, [f"row {n}" for n in range(1, 14)]),
      (2.9, [f"row {n}" for n in range(8, 31)])]),
]


class Player(DevTools):
    """Casts in the asciinema web player, on the page vorlan-tocast(1) shows, served from
    127.0.0.1 only."""

    def setUp(self):
        super().setUp()
        served = self.path("site")
        os.mkdir(served)
        for name in ["asciinema-player.min.js", "asciinema-player.css"]:
            shutil.copy(os.path.join(PLAYER_BUNDLE, name), served)
        self.served = served
        handler = functools.partial(Quiet, directory=served)
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        import threading
        thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        thread.start()
        self.addCleanup(thread.join)
        self.addCleanup(self.server.server_close)
        self.addCleanup(self.server.shutdown)

    def page_for(self, cast_name):
        page = ("<!DOCTYPE html>\n<html lang=\"en\">\n<head><meta charset=\"utf-8\">"
                "<title>player</title></head>\n<body>\n"
                + player_embedding().replace("session.cast", cast_name) + "</body>\n</html>\n")
        name = cast_name + ".html"
        with open(os.path.join(self.served, name), "w") as f:
            f.write(page)
        return f"http://127.0.0.1:{self.server.server_address[1]}/{name}"

    def screen(self, session):
        return self.evaluate(session, """(() => {
            const rows = [...document.querySelectorAll('.ap-line')]
                .map(l => l.textContent.replaceAll('\\u00a0', ' ').trimEnd());
            while (rows.length && rows[rows.length - 1] === '') rows.pop();
            return rows; })()""")

    def test_casts_play_in_the_web_player(self):
        for n, (name, movie, moments) in enumerate(PLAYED):
            with self.subTest(movie=name):
                cast = f"{n}.cast"
                self.export(self.tocast, f"{n}.movie", movie, os.path.join("site", cast))
                with open(os.path.join(self.served, cast), "rb") as f:
                    header, events = cast_events(f.read())
                session = self.open_page(self.page_for(cast))
                self.poll(session, "typeof player", "object")
                self.evaluate(session, "player.seek(0)", wait=True)
                self.assertAlmostEqual(self.evaluate(session, "player.getDuration()"),
                                       events[-1][0], places=6)
                # Each marker on the progress bar, its label after its time (mm:ss).
                self.assertEqual(self.evaluate(session, "[...document.querySelectorAll("
                                 "'.ap-marker-container .ap-tooltip')].map(e => e.textContent)"),
                                 [f"{int(e[0]) // 60:02}:{int(e[0]) % 60:02} - {e[2]}"
                                  for e in events if e[1] == "m"])
                for at, rows in moments:
                    with self.subTest(at=at):
                        self.evaluate(session, f"player.seek({at})", wait=True)
                        self.poll(session, "player.getCurrentTime()", at)
                        end = time.monotonic() + DEADLINE
                        while self.screen(session) != rows and time.monotonic() < end:
                            time.sleep(0.05)
                        self.assertEqual(self.screen(session), rows)


class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass


def install_player():
    """Installs the web player from the npm registry into a scratch folder. Returns the folder
    and the bundle folder in it, or None and the reason."""
    npm = shutil.which("npm")
    if npm is None:
        return None, "no npm (Debian package npm)"
    folder = tempfile.mkdtemp(prefix="vorlan-player-")
    r = subprocess.run([npm, "install", "--prefix", folder, "--no-audit", "--no-fund",
                        "--no-save", "asciinema-player"], capture_output=True, timeout=600)
    bundle = os.path.join(folder, "node_modules", "asciinema-player", "dist", "bundle")
    if r.returncode != 0 or not os.path.exists(os.path.join(bundle, "asciinema-player.min.js")):
        shutil.rmtree(folder, ignore_errors=True)
        return None, ("npm could not install the package asciinema-player:\n"
                      + r.stderr.decode(errors="replace"))
    return folder, bundle


if __name__ == "__main__":
    BINDIR = os.path.abspath(sys.argv.pop(1))
    group = sys.argv.pop(1)
    tools.need(*{"Tidy": ["tidy"], "Asciinema": ["asciinema", "tmux"],
                 "Browser": ["chromium"], "Player": ["chromium", "npm"]}.get(group, []))
    scratch = None
    if group == "Player":
        scratch, PLAYER_BUNDLE = install_player()
        if scratch is None:
            print(PLAYER_BUNDLE, file=sys.stderr)
            sys.exit(1 if os.environ.get("CI") == "true" else SKIP)
    try:
        suite = unittest.defaultTestLoader.loadTestsFromTestCase(globals()[group])
        result = unittest.TextTestRunner(verbosity=2).run(suite)
    finally:
        if scratch is not None:
            shutil.rmtree(scratch, ignore_errors=True)
    sys.exit(0 if result.wasSuccessful() else 1)
