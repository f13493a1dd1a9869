"""A tmux pane of a fixed size on a private server, for driving a curses program."""
import os
import re
import shlex
import subprocess
import uuid

from .waiting import DEADLINE, Timeout, wait_for


class Cell:
    __slots__ = ("char", "fg", "bold", "reverse")

    def __init__(self, char, fg, bold, reverse):
        self.char, self.fg, self.bold, self.reverse = char, fg, bold, reverse

    def __repr__(self):
        return f"Cell({self.char!r}, fg={self.fg}, bold={self.bold}, reverse={self.reverse})"


_SGR = re.compile(r"\x1b\[([0-9;:]*)m")


def _apply_sgr(params, state):
    codes = [int(p) if p else 0 for p in re.split("[;:]", params)] if params else [0]
    i = 0
    while i < len(codes):
        n = codes[i]
        if n == 0:
            state.update(fg=None, bold=False, reverse=False)
        elif n == 1:
            state["bold"] = True
        elif n == 22:
            state["bold"] = False
        elif n == 7:
            state["reverse"] = True
        elif n == 27:
            state["reverse"] = False
        elif 30 <= n <= 37:
            state["fg"] = n - 30
        elif 90 <= n <= 97:
            state["fg"] = n - 90 + 8
        elif n == 39:
            state["fg"] = None
        elif n in (38, 48):
            # 38;5;N or 38;2;R;G;B
            if i + 1 < len(codes) and codes[i + 1] == 5:
                if n == 38:
                    state["fg"] = codes[i + 2] if i + 2 < len(codes) else None
                i += 2
            elif i + 1 < len(codes) and codes[i + 1] == 2:
                i += 4
        i += 1


def parse_cells(captured):
    """Rows of Cells from `capture-pane -e` output."""
    rows = []
    state = dict(fg=None, bold=False, reverse=False)
    for text in captured.split("\n"):
        row, pos = [], 0
        for m in _SGR.finditer(text):
            row += [Cell(ch, **state) for ch in text[pos:m.start()]]
            _apply_sgr(m.group(1), state)
            pos = m.end()
        row += [Cell(ch, **state) for ch in text[pos:]]
        rows.append(row)
    return rows


class Pane:
    """One tmux server with one session; killed on close()."""

    def __init__(self, command, rows=24, cols=80, term="tmux-256color"):
        self.socket = f"vorlan-test-{os.getpid()}-{uuid.uuid4().hex[:8]}"
        self.tmux(
            "start-server", ";",
            "set", "-g", "default-terminal", term, ";",
            "set", "-g", "remain-on-exit", "on", ";",
            "set", "-g", "history-limit", "0", ";",
            "new-session", "-d", "-x", str(cols), "-y", str(rows), "-s", "t",
            " ".join(shlex.quote(a) for a in command))

    def tmux(self, *args):
        return subprocess.run(["tmux", "-u", "-L", self.socket, "-f", "/dev/null", *args],
                              check=True, capture_output=True, text=True, encoding="utf-8",
                              errors="replace", timeout=DEADLINE).stdout

    def close(self):
        subprocess.run(["tmux", "-L", self.socket, "kill-server"], capture_output=True,
                       timeout=DEADLINE)

    def keys(self, *keys):
        """Each argument a tmux key name (Up, C-c) or literal text after 'lit:'."""
        for k in keys:
            if k.startswith("lit:"):
                self.tmux("send-keys", "-t", "t", "-l", k[4:])
            else:
                self.tmux("send-keys", "-t", "t", k)

    def text(self):
        return self.tmux("capture-pane", "-p", "-t", "t")

    def lines(self):
        return self.text().split("\n")

    def cells(self):
        return parse_cells(self.tmux("capture-pane", "-p", "-e", "-t", "t"))

    def resize(self, cols, rows):
        self.tmux("resize-window", "-t", "t", "-x", str(cols), "-y", str(rows))

    def query(self, fmt):
        return self.tmux("display-message", "-p", "-t", "t", fmt).strip()

    def wait_for(self, predicate, what, deadline=DEADLINE, poll=0.02):
        """Polls the screen until predicate(screen text) holds; returns the text."""
        def holds():
            screen = self.text()
            return (screen,) if predicate(screen) else None
        return wait_for(what, holds, deadline, poll,
                        shown=lambda: f"screen was:\n{self.text()}")[0]

    def wait_text(self, needle, deadline=DEADLINE):
        return self.wait_for(lambda s: needle in s, repr(needle), deadline)

    def stays_without(self, needle, period=0.5):
        """True when `needle` does not appear within `period` seconds."""
        try:
            self.wait_for(lambda s: needle in s, repr(needle), period)
        except Timeout:
            return True
        return False
