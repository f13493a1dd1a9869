"""vorlan-tohtml and vorlan-tocast as installed: the command line and its messages, and what
real clients make of their output: tidy and a headless browser for pages, the asciinema
client for casts.

Usage: export_test.py BINDIR GROUP [unittest arguments]
  GROUP: CommandLine, Tidy, Asciinema or Browser
"""
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

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "viewer",
                                "terminal"))
from tmux_pane import Pane  # noqa: E402
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
from scratch import ScratchCase  # noqa: E402
import charset_movies  # noqa: E402

BINDIR = None
DEADLINE = 30.0
DEMO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "examples",
                    "demo.movie")

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
         b"line \x1b[34m\x07\x08\x7f\ta\rb\xc2\x85\xe9!\x1b[0m\n"
         b"sleep 250\n"
         b"prompt \x1b[1mend> ")
LOOKS_TEXT = "\nred bold red grey white\n##==> note\n^G^H^?\ta^Mb~E\u00e9!\nend> "
LOOKS_CAST = (b"\r\n\x1b[0;31mred \x1b[0;1;31mbold red \x1b[0;1;90mgrey \x1b[0;1;37mwhite"
              b"\x1b[0m\r\n\x1b[0;7m##==> note\r\n\x1b[0;34m^G^H^?\ta^Mb~E\xc3\xa9!\x1b[0m"
              b"\r\n\x1b[0;1mend> \x1b[0m")


class Case(ScratchCase):
    def setUp(self):
        super().setUp()
        self.tohtml = os.path.join(BINDIR, "vorlan-tohtml")
        self.tocast = os.path.join(BINDIR, "vorlan-tocast")

    def run_prog(self, argv, stdin=b"", **kw):
        return subprocess.run(argv, input=stdin, capture_output=True, timeout=60, **kw)

    def assertRun(self, r, status, out, err=b""):
        self.assertEqual((r.returncode, r.stderr, r.stdout), (status, err, out))

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
                                 (1, b'Error opening output file "-": it is the input file\n'))
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
        cases = [(EXAMPLE, 80), (wide, 200), (b"line " + b"x" * 300 + b"\n", 240)]
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
                with open(out, "rb") as f:
                    self.assertEqual(events, cast_events(f.read())[1])

    def test_cast_events_and_times(self):
        out = self.export(self.tocast, "m", EXAMPLE + b"#20 note\nline d\n", "o")
        with open(out, "rb") as f:
            _, events = cast_events(f.read())
        self.assertEqual(events, [[0.0, "o", "a\r\n"], [0.0, "o", "b> "], [1.5, "o", "c\r\n"],
                                  [1.5, "m", "note"], [1.5, "o", "\x1b[0;7m##==> note\r\n"],
                                  [3.5, "o", "\x1b[0md\r\n"]])


class Tidy(Case):
    def test_pages_pass_tidy(self):
        with open(DEMO, "rb") as f:
            demo = f.read()
        movies = {"demo.movie": demo, "<b>&'\".movie": HOSTILE, "looks": LOOKS, "empty": b"",
                  "zero": b"line a\0b\n\0\0\0", "long": b"line " + b"y" * 100000 + b"\n"}
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
            end = time.monotonic() + DEADLINE
            while not os.path.exists(done) or os.path.getsize(done) == 0:
                if time.monotonic() > end:
                    self.fail(f"asciinema cat did not finish; screen:\n{pane.text()}")
                time.sleep(0.05)
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


class Browser(Case):
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
            [shutil.which("chromium"), "--headless", "--no-sandbox", "--disable-gpu",
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
        target = self.send("Target.createTarget", url="file://" + page)["targetId"]
        session = self.send("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
        end = time.monotonic() + DEADLINE
        # A new target shows about:blank first.
        while not self.evaluate(session, "location.protocol === 'file:' && "
                                         "document.readyState === 'complete'"):
            if time.monotonic() > end:
                self.fail("the page did not load")
            time.sleep(0.05)
        return session

    def evaluate(self, session, expression):
        result = self.send("Runtime.evaluate", session, expression=expression,
                           returnByValue=True)
        self.assertNotIn("exceptionDetails", result, expression)
        return result["result"].get("value")

    def test_page_shows_the_text_in_its_colours(self):
        page = self.export(self.tohtml, "looks", LOOKS, "looks.html")
        session = self.open_page(page)
        self.assertEqual(self.evaluate(session, "document.querySelector('pre').textContent"),
                         LOOKS_TEXT)
        styles = self.evaluate(session, """[document.querySelector('pre'),
            ...document.querySelectorAll('span')].map(e => {
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
            ["^G^H^?\ta^Mb~E\u00e9!", "rgb(80, 128, 240)", "rgba(0, 0, 0, 0)", "400"],
            ["end> ", grey, "rgba(0, 0, 0, 0)", "700"]])
        # The page is as wide as the window: long lines wrap.
        self.assertTrue(self.evaluate(session, "getComputedStyle(document.querySelector('pre'))"
                                               ".whiteSpace === 'pre-wrap'"))

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
                         ["body", "head", "html", "meta", "pre", "span", "style", "title"])
        self.assertEqual(self.evaluate(session, "document.querySelectorAll('pre').length"), 1)


if __name__ == "__main__":
    BINDIR = os.path.abspath(sys.argv.pop(1))
    group = sys.argv.pop(1)
    suite = unittest.defaultTestLoader.loadTestsFromTestCase(globals()[group])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    sys.exit(0 if result.wasSuccessful() else 1)
