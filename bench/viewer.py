#!/usr/bin/env python3
"""vorlan-viewer against its targets, in an 80x24 tmux pane; prints the figures.

1. Time to the end marker on a movie of 20,000 `line` records and no pauses, against `cat` of
   the same transcript in an identical pane (until its last line shows). Median of RUNS
   interleaved runs. Each figure is also given less the time a fresh pane takes to show one
   word (`echo`), which is the same for both and otherwise swamps them. Target: the viewer
   at most 0.5 x cat, pane start-up taken off both.
2. Time to the first status line, and from a key to its seek report, on a 1 GB movie against
   a 64 KiB one, in ASCII and in GB18030 (whose set is decided from a sample at start-up and
   decoded through iconv). Target: at most 1.2 x (start-up, the sample and seeking must not
   read the file through).
3. Peak resident memory across the two (sampled with ps while the viewer waits). Target: flat.

Usage: PYTHONPATH=tests bench/viewer.py [VIEWER] [RUNS]   (from the source tree; default
       build/viewer/vorlan-viewer, 5 runs; the tmux pane is the tests' own, tests/support/)
Exits 1 when a target is missed.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
try:
    from support.tmux_pane import Pane
except ImportError:
    sys.exit("bench/viewer.py drives the viewer through the tests' tmux pane: "
             "run it with PYTHONPATH=tests from the source tree")

END = "**** END ***"
POLL = 0.002


def timed(command, done, deadline=120.0):
    """Seconds from starting `command` in a fresh pane until done(screen) holds."""
    start = time.monotonic()
    pane = Pane(command)
    try:
        pane.wait_for(done, "the finish", deadline, POLL)
        return time.monotonic() - start
    finally:
        pane.close()


def scrolling(viewer, tmp, runs):
    movie, transcript = [], []
    for k in range(20000):
        text = f"\x1b[3{k % 7 + 1}m{k:05d}\x1b[0m The tide turns and the gulls cry over the quay."
        movie.append(f"line {text}\n")
        transcript.append(f"{text}\n")
    transcript.append("end of transcript\n")
    mpath, tpath = os.path.join(tmp, "lines.movie"), os.path.join(tmp, "lines.txt")
    with open(mpath, "w") as f:
        f.writelines(movie)
    with open(tpath, "w") as f:
        f.writelines(transcript)
    figures = {"view": [], "cat": [], "pane": []}
    for run in range(runs):
        trio = [("view", lambda: timed([viewer, mpath], lambda s: END in s)),
                ("cat", lambda: timed(["sh", "-c", f"cat {tpath}; exec cat >/dev/null"],
                                      lambda s: "end of transcript" in s)),
                ("pane", lambda: timed(["sh", "-c", "echo ready; exec cat >/dev/null"],
                                       lambda s: "ready" in s))]
        for name, measure in (trio if run % 2 == 0 else trio[::-1]):
            figures[name].append(measure())
    v, c, p = (statistics.median(figures[k]) for k in ("view", "cat", "pane"))
    ratio = (v - p) / (c - p)
    print(f"20,000 line records: viewer {v:.3f} s, cat {c:.3f} s, a pane's start-up {p:.3f} s; "
          f"less start-up: viewer {(v - p) * 1000:.1f} ms, cat {(c - p) * 1000:.1f} ms, "
          f"ratio {ratio:.2f} (target <= 0.5)")
    return ratio <= 0.5


def rss_kb(pid):
    out = subprocess.run(["ps", "-o", "rss=", "-p", str(pid)], capture_output=True, text=True)
    return int(out.stdout.strip() or 0)


def start_and_seek(viewer, movie):
    """Seconds to the first status line, seconds from "F" to its report, resident KB."""
    start = time.monotonic()
    pane = Pane([viewer, movie])
    try:
        pane.wait_for(lambda s: "Cmd: sleep" in s, "the first status line", poll=POLL)
        first = time.monotonic() - start
        pid = int(pane.query("#{pane_pid}"))
        rss = rss_kb(pid)
        start = time.monotonic()
        pane.keys("F")
        pane.wait_for(lambda s: "Final offset" in s, "the seek report", poll=POLL)
        seek = time.monotonic() - start
        return first, seek, max(rss, rss_kb(pid))
    finally:
        pane.close()


def big_and_small(viewer, tmp, runs, text, codec):
    # Each line is followed by a long sleep, so after a seek the viewer waits again at once.
    block = "".join(f"line row {k:06d} {text}\nsleep 100000\n" for k in range(16384)).encode(codec)
    small = os.path.join(tmp, "small.movie")
    with open(small, "wb") as f:
        f.write(b"sleep 100000\n" + block[:block.rindex(b"\n", 0, 65536 - 13) + 1])
    big = os.path.join(tmp, "big.movie")
    with open(big, "wb") as f:
        f.write(b"sleep 100000\n")
        while f.tell() < 1 << 30:
            f.write(block)
    figures = {small: [], big: []}
    for run in range(runs):
        for movie in ((small, big) if run % 2 == 0 else (big, small)):
            figures[movie].append(start_and_seek(viewer, movie))
    med = {m: [statistics.median(x[i] for x in figures[m]) for i in range(2)]
           + [max(x[2] for x in figures[m])] for m in figures}
    ok = True
    for i, what in enumerate(("first status line", "seek report")):
        s, b = med[small][i], med[big][i]
        ratio = b / s
        ok &= ratio <= 1.2
        print(f"{codec} {what}: 1 GB {b * 1000:.1f} ms, 64 KiB {s * 1000:.1f} ms, "
              f"ratio {ratio:.2f} (target <= 1.2)")
    print(f"{codec} peak resident memory: 1 GB {med[big][2]} KB, 64 KiB {med[small][2]} KB")
    ok &= med[big][2] <= med[small][2] * 1.1
    os.unlink(big)
    return ok


def main():
    viewer = sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build", "viewer",
                                                                "vorlan-viewer")
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    viewer = os.path.abspath(viewer)
    tmp = tempfile.mkdtemp(prefix="vorlan-bench-viewer-")
    try:
        ok = scrolling(viewer, tmp, runs)
        ok &= big_and_small(viewer, tmp, runs, "of a long evening at the harbour", "ascii")
        ok &= big_and_small(viewer, tmp, runs, "你正站在扬州城的中央广场，四周人来人往。", "gb18030")
    finally:
        shutil.rmtree(tmp, True)
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
