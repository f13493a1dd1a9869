"""The installed vorlan-viewer driven in a tmux pane: keys typed, the screen read back.

usage: viewer_terminal_test.py VIEWER [unittest arguments, e.g. a test class]
"""
import os
import shutil
import signal
import sys
import subprocess
import tempfile
import time
import unicodedata
import unittest

from support.tmux_pane import Pane
from support import tools
from support.waiting import wait_for

from support import charset_movies

VIEWER = None
ESC = "\x1b"
HELP = "(q)uit (r)ew small (R)ew large (f)orw small (F)orw large (0-9)(+)(-) speed"
PLAIN = 7
STATUS_ROW = 23  # in an 80x24 pane; the key help is on row 22
# Runs the viewer as a shell would (its process id in run.sh.pid), then reports its exit
# status and whether the terminal modes came back as they were; Ctrl-C reaches the viewer
# while the wrapper carries on.
WRAPPER = """trap : INT QUIT
s=$(stty -g)
sh -c 'echo $$ >"$0"; exec "$@"' "$0.pid" "$@"
rc=$?
if [ "$s" = "$(stty -g)" ]; then t=same; else t=changed; fi
printf '[rc=%s tty=%s]' "$rc" "$t"
exec cat >/dev/null
"""


def alive(pid):
    """Whether the process exists (a zombie does too); kill with no signal only looks."""
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    return True


def status(offset, size, speed, cmd, timeout, raw):
    share = 100 if size == 0 else offset * 100 // size
    return (f"{offset:7d}/{size:7d}/{share:2d}% Speed: {speed} (5=normal,0=pause) "
            f"Cmd: {cmd:<6} ({timeout}/{raw})")


class ViewerCase(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="vorlan-viewer-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.wrapper = self.path("run.sh")
        with open(self.wrapper, "w") as f:
            f.write(WRAPPER)

    def path(self, name):
        return os.path.join(self.dir, name)

    def movie(self, data, name="m.movie"):
        if isinstance(data, str):
            data = data.encode("latin-1")
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def start(self, *args, rows=24, skip_viewer=False):
        command = list(args) if skip_viewer else [VIEWER, *args]
        pane = Pane(["sh", self.wrapper, *command], rows=rows)
        self.addCleanup(pane.close)
        return pane

    def play(self, data, rows=24):
        pane = self.start(self.movie(data), rows=rows)
        pane.wait_text("Speed:")
        return pane

    def wait_status(self, pane, line):
        line = line[:80]  # the pane's width cuts a long status line
        pane.wait_for(lambda s: s.split("\n")[STATUS_ROW] == line, f"status {line!r}")

    def quit(self, pane, key="q", rc=0):
        pane.keys(key)
        screen = pane.wait_text("[rc=")
        self.assertIn(f"[rc={rc} tty=same]", screen)
        self.assertEqual(pane.query("#{alternate_on}"), "0")
        return screen


class StartupFailures(ViewerCase):
    def test_refused_before_the_screen_starts(self):
        os.mkfifo(self.path("fifo"))
        cases = [
            ((), "vorlan filmvane v1.2.23\n\nUsage: vorlan-viewer file\n\n"
                 "file should be a #movie file generated in vorlan\n"),
            ((self.path("missing"),), "Unable to open file: No such file or directory\n"),
            ((self.dir,), "Unable to open file: Is a directory\n"),
            ((self.path("fifo"),), "Unable to open file: Illegal seek\n"),
        ]
        for args, message in cases:
            with self.subTest(args=args):
                pane = self.start(*args)
                screen = pane.wait_text("[rc=")
                self.assertTrue(screen.startswith(message + "[rc=1 tty=same]"), screen)
                pane.close()

    def test_too_small_terminal(self):
        pane = self.start(self.movie("line hello\n"), rows=2)
        screen = pane.wait_text("[rc=")
        self.assertIn("Terminal too small\n[rc=1 tty=same]", screen)
        self.assertNotIn("hello", screen)
        self.assertEqual(pane.query("#{alternate_on}"), "0")


class Display(ViewerCase):
    def test_first_status_line_and_key_help(self):
        data = "sleep 100000\nline one\n"
        pane = self.play(data)
        self.wait_status(pane, status(13, len(data), 5, "sleep", 100000, 100000))
        self.assertEqual(pane.lines()[22], HELP)
        cells = pane.cells()
        self.assertTrue(all(c.reverse for c in cells[22][:len(HELP)] + cells[23][:40]))
        self.assertTrue(all(not c.char.strip() for row in cells[:22] for c in row))

    def test_empty_movie_ends_at_once_with_a_full_share(self):
        pane = self.play("")
        self.wait_status(pane, status(0, 0, 5, "", 0, 0))
        self.assertIn("\n**** END ***\n", pane.text())

    def test_colours_bold_prompts_annotations_and_end_marker(self):
        colour_lines = "".join("line " + " ".join(f"{ESC}[3{n}mC{n}" for n in group) + "\n"
                               for group in (range(1, 8), range(8, 16)))
        data = ("sleep 100000\n" + colour_lines
                + f"line {ESC}[92mB2 {ESC}[0mPLAIN {ESC}[31mR1 {ESC}[30mSTILL1 {ESC}[mNORESET\n"
                + f"line {ESC}[0m{ESC}[1mBOLD{ESC}[0m {ESC}[1;33mNOCOLOUR{ESC}[0m\n"
                + "prompt HP:42> \nline look\n"
                + "#5 a remark\n"
                + f"line {ESC}[34mblue till the end\n")
        pane = self.play(data)
        pane.keys("x")
        self.wait_status(pane, status(len(data), len(data), 5, "line", 0, 0))

        rows = pane.cells()
        found = {}
        for row in rows[:22]:
            line = "".join(c.char for c in row)
            for word in line.split():
                found.setdefault(word, row[line.index(word)])
        # Colour pair 0 is the terminal's plain white on black, however it is sent.
        for cell in found.values():
            cell.fg = PLAIN if cell.fg is None else cell.fg
        expect = {f"C{n}": (n, False) for n in range(1, 16)}
        expect.update({"B2": (2, True), "PLAIN": (PLAIN, False), "R1": (1, False),
                       "STILL1": (1, False), "NORESET": (1, False), "BOLD": (PLAIN, True),
                       "NOCOLOUR": (PLAIN, True), "blue": (4, False), "****": (4, False)})
        for word, (fg, bold) in expect.items():
            with self.subTest(word=word):
                self.assertIn(word, found)
                self.assertEqual((found[word].fg, found[word].bold), (fg, bold))

        text = pane.lines()
        self.assertIn("HP:42> look", text)
        note = next(row for row in rows if "".join(c.char for c in row).startswith("##==> "))
        self.assertEqual("".join(c.char for c in note), "##==> a remark")
        self.assertTrue(all(c.reverse for c in note))
        end = text.index("**** END ***")
        self.assertEqual(text[end - 2:end], ["blue till the end", ""])
        # The cursor waits just after the last text: the line after the marker.
        pane.wait_for(lambda _: pane.query("#{cursor_x},#{cursor_y}") == f"0,{end + 1}",
                      "the cursor after the end marker")


    def test_command_word_shows_as_the_text_window_shows_it(self):
        forged = "xyz" + "\b" * 60 + "EVIL"
        records = ["sleep 100000\n", forged + " rest\n", "sleep 100000\n", "caf\xe9 x\n"]
        data = "".join(records)
        pane = self.start("env", "LC_ALL=C.UTF-8", VIEWER, self.movie(data), skip_viewer=True)
        # The other fields stay where they are; the word's characters are decoded.
        offset = 0
        for record, cmd in zip(records, ["sleep", "xyz" + "^H" * 60 + "EVIL", "sleep",
                                         "caf\u00e9"]):
            offset += len(record)
            self.wait_status(pane, status(offset, len(data), 5, cmd, 100000, 100000))
            pane.keys("x")

    def test_movie_cut_short_while_viewed_ends_at_the_marker(self):
        # Longer than the stream's buffer, so that the cut is seen by a later read.
        data = "line a\nsleep 100000\n" + "line b\n" * 5000
        path = self.movie(data)
        pane = self.start(path)
        self.wait_status(pane, status(20, len(data), 5, "sleep", 100000, 100000))
        os.truncate(path, 0)
        pane.keys("x")
        # Without the marker the carried pause would be replayed on every pass.
        pane.wait_text("b\n\n**** END ***")
        self.quit(pane)


class Keys(ViewerCase):
    def test_step_mode_advances_one_line_per_key(self):
        data = "sleep 100000\n" + "".join(f"line step {n}\n" for n in range(1, 6))
        pane = self.play(data)
        pane.keys("0")
        self.wait_status(pane, status(13 + 12, len(data), 0, "line", -1, 0))
        self.assertTrue(pane.stays_without("step 2"))
        for key, seen in (("x", "step 2"), ("Up", "step 3"), ("F5", "step 4")):
            pane.keys(key)
            pane.wait_text(seen)
        self.assertTrue(pane.stays_without("step 5"))
        self.assertNotIn("END", pane.text())

    def test_speed_keys_clamp_and_one_key_per_pass(self):
        record = "sleep 2000000000\n"
        data = record * 60
        pane = self.play(data)
        passes = 1
        # Typed ahead in one go: each key ends one wait and is acted on before the next line.
        for keys, speed, timeout in [
            ("9" + "+" * 12, 20, 2000000000 // 30),
            ("+", 20, 2000000000 // 30),
            ("=-", 19, 2000000000 // 28),
            ("-", 18, 2000000000 // 26),
            ("0", 0, -1),
            ("-", 0, -1),
            ("=", 1, 2147483647),
            ("5", 5, 2000000000),
        ]:
            with self.subTest(keys=keys):
                passes += len(keys)
                pane.keys("lit:" + keys)
                self.wait_status(pane, status(passes * len(record), len(data), speed,
                                              "sleep", timeout, 2000000000))


# Layout for the seek tests: two sleep records of 13 bytes, then lines of 30 bytes each, so
# line k runs from 26 + 30k to 56 + 30k.
def seek_movie(lines):
    return "sleep 100000\n" * 2 + "".join(f"line row {k:04d} {'.' * 15}\n" for k in range(lines))


def report(from_, target, landing):
    return (f"=============\nMoving from {from_} to file offset {target}\n"
            f"Final offset after adjusting for newline: {landing} ({landing - from_})\n"
            "=============")


class Seeking(ViewerCase):
    def test_four_seek_keys_and_their_reports(self):
        data = seek_movie(250)
        size = len(data)
        self.assertEqual(size, 7526)
        pane = self.play(data)
        # "r" right after the first record: held at 0, and the first record read again.
        pane.keys("r")
        pane.wait_text(report(13, 0, 13))
        self.wait_status(pane, status(26, size, 5, "sleep", 100000, 100000))
        pane.keys("0")
        self.wait_status(pane, status(56, size, 0, "line", -1, 0))
        for key, from_, target, landing, next_row in [
            ("f", 56, 1056, 1076, 35),
            ("F", 1106, 6106, 6116, 203),
            ("r", 6146, 5146, 5156, 171),
            ("R", 5186, 186, 206, 6),
        ]:
            with self.subTest(key=key):
                pane.keys(key)
                screen = pane.wait_text(report(from_, target, landing))
                self.wait_status(pane, status(landing + 30, size, 0, "line", -1, 0))
                screen = pane.text()
                self.assertIn(report(from_, target, landing) + f"\nrow {next_row:04d}", screen)
        # Back within the first 1000 bytes: the first record is passed over.
        pane.keys("r")
        pane.wait_text(report(236, 0, 13))
        self.wait_status(pane, status(26, size, 0, "sleep", -1, 100000))

    def test_seek_report_is_bold_and_ends_escape_bold(self):
        data = f"line {ESC}[91mred bold\n" + "sleep 100000\n" + "line after\n"
        pane = self.play(data)
        pane.keys("r")
        pane.wait_text("Final offset")
        pane.keys("x")
        pane.wait_text("after")
        rows = pane.cells()
        def first(word):
            for row in rows:
                line = "".join(c.char for c in row)
                if line.startswith(word):
                    return row[0]
        self.assertEqual((first("Moving").fg, first("Moving").bold), (1, True))
        self.assertEqual((first("after").fg, first("after").bold), (1, False))

    def test_forward_near_the_end_then_resume_after_the_end_marker(self):
        data = "sleep 100000\n" + "".join(f"line tail {k}\n" for k in range(10))
        size = len(data)
        pane = self.play(data)
        pane.keys("f")
        pane.wait_text(report(13, size, size) + "\n\n**** END ***")
        self.wait_status(pane, status(size, size, 5, "sleep", 100000, 100000))
        # Every later key runs one more pass at the end: the marker again, and a speed key
        # changes only the status line.
        pane.keys("x")
        pane.wait_for(lambda s: s.count("**** END ***") == 2, "a second end marker")
        pane.keys("+")
        pane.wait_for(lambda s: s.count("**** END ***") == 3, "a third end marker")
        self.wait_status(pane, status(size, size, 6, "sleep", 50000, 100000))
        pane.keys("R")
        self.wait_status(pane, status(size, size, 6, "line", 0, 0))
        screen = pane.text()
        self.assertIn(report(size, 0, 13) + "\n" + "\n".join(f"tail {k}" for k in range(10))
                      + "\n\n**** END ***", screen)


class LongRecords(ViewerCase):
    def test_long_records_drawn_whole_or_passed_over(self):
        text = "".join(chr(ord("a") + k % 26) for k in range(1500))
        # An unknown record whose second read would begin with a line record's bytes.
        unknown = "note " + "x" * 994 + "line LEAKED\n"
        # A zero byte ends a line's text, also for the pieces after it.
        zero = "line cut" + "\0" + "y" * 1500 + "HIDDEN\n"
        long_prompt = "prompt " + "P" * 1200 + "\n"
        data = ("sleep 100000\n" + "line " + text + "\n" + unknown + zero + long_prompt
                + "line >end\n" + "sleep 100000\n")
        pane = self.play(data)
        pane.keys("0")
        offset = 13 + 5 + len(text) + 1
        self.wait_status(pane, status(offset, len(data), 0, "line", -1, 0))
        screen = pane.text()
        self.assertIn(text, screen.replace("\n", ""))
        # The unknown record keeps the delay the line before it left: its timeout, -1.
        for record, cmd, raw in [(unknown, "note", -1), (zero, "line", 0),
                                 (long_prompt, "prompt", 0)]:
            offset += len(record)
            pane.keys("x")
            self.wait_status(pane, status(offset, len(data), 0, cmd, -1, raw))
        pane.keys("x")
        screen = pane.wait_text(">end")
        flat = screen.replace("\n", "")
        self.assertNotIn("LEAKED", flat)
        self.assertNotIn("HIDDEN", flat)
        self.assertIn("cut" + "P" * 1200 + ">end", flat)

    def test_seek_into_a_long_record_discards_all_of_it(self):
        data = "sleep 100000\n" + "line " + "L" * 3000 + "\n" + "line next\n" + "sleep 100000\n"
        pane = self.play(data)
        pane.keys("f")
        screen = pane.wait_text(report(13, 1013, 3019) + "\nnext")
        self.assertNotIn("L", screen.split("=============")[-1])
        self.wait_status(pane, status(len(data), len(data), 5, "sleep", 100000, 100000))


class Quitting(ViewerCase):
    def test_quit_keys_and_interrupt_restore_the_terminal(self):
        for key, rc in (("q", 0), ("Q", 0), ("C-c", 128 + signal.SIGINT),
                        ("C-\\", 128 + signal.SIGQUIT)):
            with self.subTest(key=key):
                pane = self.play("sleep 100000\nline one\n")
                self.assertEqual(pane.query("#{alternate_on}"), "1")
                self.quit(pane, key, rc)
                pane.close()

    def test_signals_restore_the_terminal_and_end_the_viewer(self):
        # Each ends the viewer by the same signal, so the shell sees it, with the terminal
        # as it was found.
        for sig in (signal.SIGTERM, signal.SIGHUP, signal.SIGPIPE, signal.SIGALRM,
                    signal.SIGUSR1):
            with self.subTest(signal=sig.name):
                pane = self.play("sleep 100000\nline one\n")
                with open(self.wrapper + ".pid") as f:
                    os.kill(int(f.read()), sig)
                screen = pane.wait_text("[rc=")
                self.assertIn(f"[rc={128 + sig} tty=same]", screen)
                self.assertEqual(pane.query("#{alternate_on}"), "0")
                pane.close()

    def test_quit_at_the_end_marker_in_step_mode(self):
        pane = self.play("line a\nline b\n")
        pane.wait_text("**** END ***")
        pane.keys("0")
        pane.wait_for(lambda s: s.count("**** END ***") == 2, "a second end marker")
        self.quit(pane)


def numbered(n, prefix="row"):
    return "".join(f"line {prefix} {k:02d}\n" for k in range(1, n + 1))


class Resizing(ViewerCase):
    def from_a_shell(self, path):
        """The viewer started from an interactive shell, which takes it back on a suspend."""
        pane = Pane(["bash", "--norc", "--noprofile", "-i"])
        self.addCleanup(pane.close)
        pane.keys("lit:PS1='$ '", "Enter", "lit:clear", "Enter")
        pane.keys(f"lit:{VIEWER} {path}", "Enter")
        return pane

    def rows_shown(self, pane):
        return [l for l in pane.lines() if l.startswith("row ")]

    def test_shrink_grow_and_below_three_rows_lay_the_screen_out_again(self):
        # A resize ends a wait, like a key: each lands on one more pause.
        before = numbered(30)
        data = before + "sleep 100000\n" * 4 + "line tail\n"
        pane = self.play(data)
        size = len(data)

        def laid_out(cols, rows, pauses):
            line = status(len(before) + 13 * pauses, size, 5, "sleep", 100000, 100000)
            pane.wait_for(lambda s: s.split("\n")[rows - 2] == HELP[:cols]
                          and s.split("\n")[rows - 1] == line[:cols].rstrip(),
                          f"status rows at {rows}")
            self.assertEqual(self.rows_shown(pane), [f"row {k:02d}" for k in range(22, 31)])
            self.assertTrue(all(c.reverse for c in pane.cells()[rows - 1][:cols]))

        self.wait_status(pane, status(len(before) + 13, size, 5, "sleep", 100000, 100000))
        # 60x12: ten text rows, the newest text kept: rows 22..30 and the cursor's row.
        pane.resize(60, 12)
        laid_out(60, 12, 2)
        # 100x30: the text stays at the top, the status rows go to the bottom.
        pane.resize(100, 30)
        laid_out(100, 30, 3)
        # Below three rows nothing is laid out and nothing stays; back at 80x24 all of it
        # is again.
        pane.resize(80, 2)
        pane.wait_for(lambda s: not s.strip(), "an empty screen")
        pane.resize(80, 24)
        pane.wait_for(lambda s: s.split("\n")[22] == HELP, "the key help on row 22")
        self.assertEqual(self.rows_shown(pane), [f"row {k:02d}" for k in range(22, 31)])
        pane.wait_text("Speed:")
        self.quit(pane)

    def test_suspend_and_resume_bring_the_screen_back(self):
        path = self.movie(numbered(3) + "sleep 100000\n")
        pane = self.from_a_shell(path)
        pane.wait_text("Speed:")
        pane.keys("C-z")
        pane.wait_text("Stopped")
        self.assertEqual(pane.query("#{alternate_on}"), "0")
        pane.keys("lit:fg", "Enter")
        pane.wait_for(lambda s: "row 03" in s and "Speed:" in s and HELP in s,
                      "the whole screen back")
        self.assertEqual(pane.query("#{alternate_on}"), "1")
        pane.keys("q")
        pane.wait_for(lambda _: pane.query("#{alternate_on}") == "0", "the shell's screen")

    def test_suspend_and_resume_go_on_with_the_pause(self):
        path = self.movie("line before\nsleep 3000\nline after\nsleep 100000\n")
        pane = self.from_a_shell(path)
        pane.wait_text("Cmd: sleep")
        pane.keys("C-z")
        pane.wait_text("Stopped")
        # Stopped for longer than the pause: the time stopped does not count.
        self.assertTrue(pane.stays_without("Cmd:", 3.5))
        pane.keys("lit:fg", "Enter")
        pane.wait_text("Cmd: sleep")
        # What was left of the three seconds goes on: the line after the pause is not there
        # at once, but comes.
        self.assertTrue(pane.stays_without("after", 1.0))
        pane.wait_text("after")
        pane.keys("q")
        pane.wait_for(lambda _: pane.query("#{alternate_on}") == "0", "the shell's screen")

class Characters(ViewerCase):
    def start_utf8(self, data):
        pane = self.start("env", "LC_ALL=C.UTF-8", VIEWER, self.movie(data), skip_viewer=True)
        pane.wait_text("Speed:")
        return pane

    def test_carriage_returns_before_line_ends_are_not_drawn(self):
        pane = self.play("line one\r\nline two\r\nprompt HP>\r\nline after\r\n"
                         "line a\rb\r\nsleep 100000\n")
        pane.wait_text("after")
        lines = pane.lines()
        self.assertEqual(lines[:4], ["one", "two", "HP>after", "b"])

    def test_movie_characters_are_decoded_in_a_utf8_terminal(self):
        data = (b"line latin1 caf\xe9 \xe9t\xe9\n"
                b"line cp1252 \x93quoted\x94 \x80 \x81\n"
                b"line utf8 caf\xc3\xa9 \xe4\xb8\xad\xe6\x96\x87!\n"
                b"line broken \xc3( \xe2\x82\n"
                b"line colour \x1b[32m\xc3\x1b[1m\xa9\x1b[0m plain\n"
                b"line bell\x07\n"
                b"prompt \xe4\xb8\xad\xe6\x96\x87\n"
                b"sleep 100000\nline tail\n")
        pane = self.start_utf8(data)
        pane.wait_text("plain")
        lines = pane.lines()
        self.assertEqual(lines[:6], [
            "latin1 caf\u00e9 \u00e9t\u00e9",
            "cp1252 \u201cquoted\u201d \u20ac \ufffd",
            "utf8 caf\u00e9 \u4e2d\u6587!",
            "broken \u00c3( \u00e2\u201a",
            "colour \u00e9 plain",
            "bell^G",
        ])
        # The wide characters take two cells each: the cursor waits after the prompt's two.
        pane.wait_for(lambda _: pane.query("#{cursor_x},#{cursor_y}") == "4,6",
                      "the cursor after two wide characters")
        # A sequence cut by escapes shows in the look of its first byte.
        e = pane.cells()[4][7]
        self.assertEqual((e.char, e.fg, e.bold), ("\u00e9", 2, False))

    def test_other_character_sets_decoded_and_wide(self):
        for key, coloured, colour in (("gb18030", 8, 1), ("koi8_r", 17, 2), ("shift_jis", 6, 4)):
            with self.subTest(movie=key):
                data, _, shown = charset_movies.screen_movie(key)
                pane = self.start_utf8(data + b"sleep 100000\nline tail\n")
                prompt = shown.split("\n")[-1]
                pane.wait_text(prompt)
                self.assertEqual(pane.lines()[:4], shown.split("\n"))
                # The first character inside the colour escape is in its colour, the one
                # before it not.
                row = pane.cells()[1]
                self.assertEqual([row[coloured - 1].fg, row[coloured].fg], [PLAIN, colour])
                # Wide characters take two cells: the cursor stands after the prompt's.
                width = sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in prompt)
                pane.wait_for(lambda _: pane.query("#{cursor_x},#{cursor_y}") == f"{width},3",
                              f"the cursor after the prompt's {width} cells")
                pane.close()

    def test_a_seek_into_a_double_byte_character_lands_at_the_next_line(self):
        long_line = "北门外是一片竹林" * 80  # 1280 bytes
        data = (b"sleep 100000\n" + b"line " + long_line.encode("gb18030") + b"\n"
                + "line 东边是客栈。\n".encode("gb18030") + b"sleep 100000\n")
        # 13 + 1000 is byte 995 of the text: inside a character.
        self.assertEqual((1013 - 18) % 2, 1)
        pane = self.start_utf8(data)
        pane.keys("f")
        pane.wait_text("东边是客栈。")
        lines = pane.lines()
        landing = 18 + len(long_line.encode("gb18030")) + 1
        self.assertEqual(lines[:5], ["", "=============", "Moving from 13 to file offset 1013",
                                     f"Final offset after adjusting for newline: {landing} "
                                     f"({landing - 13})", "============="])
        self.assertEqual(lines[5], "东边是客栈。")


    def test_backspace_and_return_over_wide_characters(self):
        data = ("line \u65e5\u672c\b\u8a9e!\n"      # onto a right half: both whole
                "line \u65e5\u672c\b\b\u8a9e!\n"   # onto a left half: it goes
                "line \u65e5\u672c\r\u8a9e!\n"      # over the first; the newline clears on
                "sleep 100000\nline tail\n").encode("utf-8")
        pane = self.start_utf8(data)
        pane.wait_text("Cmd: sleep")
        self.assertEqual(pane.lines()[:3], ["\u65e5\u672c\u8a9e!", "\u65e5\u8a9e!",
                                            "\u8a9e!"])


class UnknownKeys(ViewerCase):
    def test_sequences_the_terminal_description_lacks_only_end_the_wait(self):
        # Shift-End, Shift-F3, Ctrl-Right and F5 as tmux sends them; under these terminal
        # types curses knows none of them, or not F5, and hands the bytes on one by one.
        keys = {"S-End": "\x1b[1;2F", "S-F3": "\x1b[1;2R", "C-Right": "\x1b[1;5C",
                "F5": "\x1b[15~"}
        # A terminal's reports (a control string, and a colour answer ended by BEL): whole.
        keys.update({"DCS": "\x1bP1$r2F\x1b\\", "OSC": "\x1b]11;rgb:2F2F/0000/5000\x07"})
        record = "sleep 100000\n"
        data = record * 12
        for term, names in (("screen", ("S-End", "S-F3", "C-Right", "DCS", "OSC")),
                            ("linux", ("S-End", "S-F3", "C-Right")),
                            ("vt220", ("F5", "S-End"))):
            with self.subTest(term=term):
                pane = self.start("env", f"TERM={term}", VIEWER, self.movie(data),
                                  skip_viewer=True)
                pane.wait_text("Speed:")
                passes = 1
                for name in names + ("x",):
                    # Each ends one wait and nothing else: no seek, no speed change.
                    pane.keys("lit:" + keys.get(name, name))
                    passes += 1
                    self.wait_status(pane, status(passes * len(record), len(data), 5, "sleep",
                                                  100000, 100000))
                self.assertNotIn("Moving", pane.text())
                pane.close()


class KeySources(ViewerCase):
    def test_keys_come_from_the_terminal_when_standard_input_is_not_one(self):
        for how in ("</dev/null", "echo {m} | xargs"):
            with self.subTest(how=how):
                m = self.movie("line shown\nsleep 100000\nline next\nsleep 100000\n")
                cmd = (f"{VIEWER} {m} </dev/null" if how.startswith("<")
                       else f"echo {m} | xargs {VIEWER}")
                pane = Pane(["sh", "-c", cmd + "; echo [rc=$?]; exec cat >/dev/null"])
                self.addCleanup(pane.close)
                pane.wait_text("Speed:")
                pane.keys("x")
                pane.wait_text("next")
                pane.keys("q")
                pane.wait_text("[rc=0]")
                pane.close()

    def test_no_terminal_at_all_is_refused(self):
        m = self.movie("line a\n")
        r = subprocess.run([VIEWER, m], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                           stderr=subprocess.PIPE, start_new_session=True, timeout=10)
        self.assertEqual((r.returncode, r.stderr), (1, b"No terminal to read keys from\n"))

    def test_a_terminal_that_hangs_up_ends_the_viewer(self):
        # SIGHUP ignored, as under nohup: the end of key input must still end it.
        m = self.movie("sleep 100000\n")
        pane = Pane(["sh", "-c", f"trap '' HUP; echo $$ >{self.path('pid')}; exec {VIEWER} {m}"])
        self.addCleanup(pane.close)
        pane.wait_text("Speed:")
        with open(self.path("pid")) as f:
            pid = int(f.read())
        pane.close()
        wait_for("the viewer to end with its terminal", lambda: not alive(pid), poll=0.05)

    def test_escape_ends_a_wait_at_once(self):
        # Curses would wait ESCDELAY for the rest of a key's sequence: the viewer sets a delay
        # of its own, so a minute's here would fail the wait below.
        pane = self.start("env", "ESCDELAY=60000", VIEWER,
                          self.movie("sleep 100000\nline after escape\nsleep 100000\n"),
                          skip_viewer=True)
        pane.wait_text("Speed:")
        pane.keys("Escape")
        pane.wait_text("after escape")
        self.quit(pane)

    def test_quit_during_a_record_longer_than_can_be_read_at_once(self):
        # A sparse file: a line's text, then gigabytes of zero bytes with no newline.
        path = self.movie("line start of a huge record")
        os.truncate(path, 8 << 30)
        pane = self.start(path)
        # The screen catches up while the record is read: the text so far and the rows.
        pane.wait_for(lambda s: "start of a huge record" in s and HELP in s, "a frame")
        self.quit(pane)

    def test_a_terminal_that_cannot_move_the_cursor_is_refused(self):
        pane = self.start("env", "TERM=dumb", VIEWER, self.movie("line a\n"), skip_viewer=True)
        screen = pane.wait_text("[rc=")
        self.assertIn("Terminal cannot move the cursor\n[rc=1 tty=same]", screen)


if __name__ == "__main__":
    VIEWER = sys.argv.pop(1)
    tools.need("tmux")
    unittest.main()
