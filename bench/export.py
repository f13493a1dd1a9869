#!/usr/bin/env python3
"""vorlan-tohtml and vorlan-tocast against the floor, their peers and their targets; prints the
figures.

1. Side by side in one run, on a ~200 MB movie of MUD output (coloured lines, prompts,
   pauses), median of interleaved runs, each writing a file:
   - the floor: a program of the bench's own that reads the movie in 64 KiB blocks and writes
     each byte HTML-escaped, the least any page writer does;
   - vorlan-tohtml and vorlan-tocast on the movie, and vorlan-totext (which flushes each
     record; the exporters owe no flush);
   - the peers, aha and ansi2html (Debian packages aha and colorized-logs), which turn ANSI
     text into HTML, on the movie's transcript: what vorlan-totext writes of it.
   Each is given in MB/s of its own input. Targets: vorlan-tohtml at least 0.35 of the floor
   and at least 2 x ansi2html; vorlan-tocast at least 0.25 of the floor; each exporter at most
   1.00 x vorlan-totext's time.
2. Peak resident memory of each exporter on a 1 GB movie against a 1 MB one. Target: within 10%.
3. The page of examples/demo.movie against the movie's shown text (the page's <pre> text).
   Target: at most 3 x.
4. Each exporter on a ~100 MB GB18030 movie (decoded through iconv) against a UTF-8 movie of
   the same text and size. Target: at most 2 x (no slower than half the speed).
5. Given REFERENCE (a BINDIR of an earlier build), each exporter on the movie of 1. against
   that build's. Target: at most 1.10 x.

Usage: bench/export.py [BINDIR] [RUNS] [REFERENCE]
  BINDIR holds the three programs, as installed; default build/stage/bin, relative to the
  source tree; REFERENCE, the same of an earlier build.
Needs cc, and aha and ansi2html for the peers (scripts/deps.sh: BENCH_PACKAGES).
Exits 1 when a target is missed.
"""
import html
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

# Python puts a script's own folder first on its path: the replay bench is a neighbour.
from replay import PEAK_C, compile_c, peak_kb, run, write_movie

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
EXPORTERS = ["vorlan-tohtml", "vorlan-tocast"]
PEERS = {"aha": "aha", "ansi2html": "colorized-logs"}  # program: its Debian package

# The floor: 64 KiB blocks in, each byte HTML-escaped out, one write per block.
FLOOR_C = r"""
#include <fcntl.h>
#include <string.h>
#include <unistd.h>
static char in[65536], out[65536 * 6];
static int put(int fd, const char *p, size_t n) {
  while (n > 0) {
    ssize_t w = write(fd, p, n);
    if (w <= 0) return 0;
    p += w;
    n -= (size_t)w;
  }
  return 1;
}
int main(int argc, char **argv) {
  if (argc != 3) return 2;
  int fd = open(argv[1], O_RDONLY), ofd = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0 || ofd < 0) return 1;
  ssize_t n;
  while ((n = read(fd, in, sizeof in)) > 0) {
    size_t k = 0;
    for (ssize_t i = 0; i < n; i++) {
      switch (in[i]) {
        case '&': memcpy(out + k, "&amp;", 5); k += 5; break;
        case '<': memcpy(out + k, "&lt;", 4); k += 4; break;
        case '>': memcpy(out + k, "&gt;", 4); k += 4; break;
        case '"': memcpy(out + k, "&quot;", 6); k += 6; break;
        case '\'': memcpy(out + k, "&#39;", 5); k += 5; break;
        default: out[k++] = in[i];
      }
    }
    if (!put(ofd, out, k)) return 1;
  }
  return n < 0 || close(ofd) != 0;
}
"""


def shown_text_of(page):
    pre = page[page.index(b"<pre>") + 5:page.rindex(b"</pre>")].decode("utf-8")
    return html.unescape(re.sub(r"</?(span|a)\b[^>]*>", "", pre)).encode("utf-8")


def run_filter(argv, source, target):
    """Wall time of a filter reading `source` and writing `target`; fails on a bad status."""
    with open(source, "rb") as i, open(target, "wb") as o:
        start = time.monotonic()
        subprocess.run(argv, stdin=i, stdout=o, check=True)
        return time.monotonic() - start


def write_cjk(path, codec, megabytes):
    """Records of a Chinese MUD, coloured, until the movie holds `megabytes`."""
    block = "".join(f"line \x1b[3{k % 7 + 1}m{k:05d}\x1b[0m 你正站在扬州城的中央广场，四周人来人往，"
                    f"热闹非凡。北门外是一片竹林。 HP:100/100\nsleep 10\n"
                    for k in range(2000)).encode(codec)
    with open(path, "wb") as f:
        while f.tell() < megabytes * 1000000:
            f.write(block)
    return os.path.getsize(path)


def medians(progs, movie, runs, tmp):
    """Median wall time of each program over `movie`, runs interleaved."""
    times = {name: [] for name in progs}
    for name, prog in progs.items():
        run([prog, movie, os.path.join(tmp, "out")])
    order = list(progs)
    for i in range(runs):
        for name in order[i % len(order):] + order[:i % len(order)]:
            times[name].append(run([progs[name], movie, os.path.join(tmp, "out")]))
    return {name: statistics.median(t) for name, t in times.items()}


def main():
    bindir = sys.argv[1] if len(sys.argv) > 1 else "build/stage/bin"
    if not os.path.isabs(bindir):
        bindir = os.path.join(SOURCE, bindir)
    runs = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    reference = sys.argv[3] if len(sys.argv) > 3 else None
    progs = {name: os.path.join(bindir, name) for name in ["vorlan-totext", *EXPORTERS]}
    for p in progs.values():
        if not os.access(p, os.X_OK):
            sys.exit(f"no {p} (build and install it first)")
    cc = shutil.which("cc") or sys.exit("no C compiler (cc) for the floor and the memory probe")
    peers = {}
    for name, package in PEERS.items():
        peers[name] = shutil.which(name) or sys.exit(f"no {name} (Debian package {package})")
    ok = True
    with tempfile.TemporaryDirectory(prefix="export-bench.") as tmp:
        peak = compile_c(cc, tmp, "peak", PEAK_C)
        floor = compile_c(cc, tmp, "floor", FLOOR_C)

        # 1. Side by side: the floor, the programs on the movie, the peers on its transcript.
        movie = os.path.join(tmp, "movie")
        size = write_movie(movie, 200)
        transcript = os.path.join(tmp, "transcript")
        run([progs["vorlan-totext"], movie, transcript])
        text_size = os.path.getsize(transcript)
        jobs = {"floor": ([floor, movie], None, size),
                **{name: ([prog, movie], None, size) for name, prog in progs.items()},
                **{name: ([prog], transcript, text_size) for name, prog in peers.items()}}
        outs = {name: os.path.join(tmp, name + ".out") for name in jobs}

        def once(name):
            argv, stdin, _ = jobs[name]
            if stdin is None:
                return run([*argv, outs[name]])
            return run_filter(argv, stdin, outs[name])

        times = {name: [] for name in jobs}
        for name in jobs:
            once(name)  # warm the page cache and the outputs
        order = list(jobs)
        for i in range(runs):
            for name in order[i % len(order):] + order[:i % len(order)]:
                times[name].append(once(name))
        rate = {name: jobs[name][2] / statistics.median(times[name]) / 1e6 for name in jobs}
        print(f"{size / 1e6:.0f} MB movie, {text_size / 1e6:.0f} MB transcript: median of {runs} "
              f"interleaved runs, MB/s of each one's input")
        for name in jobs:
            what = "the transcript" if jobs[name][1] else "the movie"
            print(f"  {name:14} {statistics.median(times[name]):7.3f} s {rate[name]:7.1f} MB/s "
                  f"on {what}; output {os.path.getsize(outs[name]) / 1e6:.0f} MB")
        base = statistics.median(times["vorlan-totext"])
        checks = [
            ("vorlan-tohtml/floor", rate["vorlan-tohtml"] / rate["floor"], ">=", 0.35),
            ("vorlan-tohtml/ansi2html", rate["vorlan-tohtml"] / rate["ansi2html"], ">=", 2.0),
            ("vorlan-tohtml/aha", rate["vorlan-tohtml"] / rate["aha"], None, None),
            ("vorlan-tocast/floor", rate["vorlan-tocast"] / rate["floor"], ">=", 0.25),
            *[(f"{name} time/vorlan-totext", statistics.median(times[name]) / base, "<=", 1.0)
              for name in EXPORTERS]]
        for label, ratio, sense, target in checks:
            if sense is None:
                print(f"  {label} {ratio:.3f}")
                continue
            met = ratio >= target if sense == ">=" else ratio <= target
            ok &= met
            print(f"  {label} {ratio:.3f} (target {sense} {target:.2f}){'' if met else ' MISSED'}")
        if reference:
            # 5. Against an earlier build, on the same movie.
            both = {}
            for name in EXPORTERS:
                both[name] = progs[name]
                both["reference " + name] = os.path.join(reference, name)
            t = medians(both, movie, runs, tmp)
            for name in EXPORTERS:
                ratio = t[name] / t["reference " + name]
                ok &= ratio <= 1.10
                print(f"  {name} {t[name]:.3f} s against the reference build's "
                      f"{t['reference ' + name]:.3f} s: ratio {ratio:.3f} (target <= 1.10)")
        for path in [movie, transcript, *outs.values()]:
            os.unlink(path)

        # 4. A GB18030 movie against a UTF-8 one of the same text and size.
        gb, u8 = os.path.join(tmp, "gb"), os.path.join(tmp, "u8")
        gb_size, u8_size = write_cjk(gb, "gb18030", 100), write_cjk(u8, "utf-8", 100)
        for name in EXPORTERS:
            t = {"gb": medians({name: progs[name]}, gb, runs, tmp)[name],
                 "u8": medians({name: progs[name]}, u8, runs, tmp)[name]}
            ratio = (t["gb"] / gb_size) / (t["u8"] / u8_size)
            ok &= ratio <= 2.0
            print(f"  {name}: GB18030 {t['gb']:.3f} s for {gb_size / 1e6:.0f} MB "
                  f"({gb_size / t['gb'] / 1e6:.0f} MB/s), UTF-8 {t['u8']:.3f} s for "
                  f"{u8_size / 1e6:.0f} MB ({u8_size / t['u8'] / 1e6:.0f} MB/s): time per byte "
                  f"ratio {ratio:.2f} (target <= 2.00)")
        for path in (gb, u8):
            os.unlink(path)

        # 2. Memory stays flat with the movie's size.
        small, big = os.path.join(tmp, "small"), os.path.join(tmp, "big")
        write_movie(small, 1)
        write_movie(big, 1024)
        for name in EXPORTERS:
            small_rss = peak_kb(peak, [progs[name], small, os.devnull])
            big_rss = peak_kb(peak, [progs[name], big, os.devnull])
            growth = big_rss / small_rss
            ok &= growth <= 1.10
            print(f"{name} peak RSS: 1 MB movie {small_rss} kB, 1 GB movie {big_rss} kB, "
                  f"ratio {growth:.3f} (target <= 1.10)")
        os.unlink(big)

        # 3. The page's size against the text it shows.
        demo = os.path.join(SOURCE, "examples", "demo.movie")
        page_path = os.path.join(tmp, "demo.html")
        run([progs["vorlan-tohtml"], demo, page_path])
        with open(page_path, "rb") as f:
            page = f.read()
        text = shown_text_of(page)
        ratio = len(page) / len(text)
        ok &= ratio <= 3.0
        print(f"demo.movie ({os.path.getsize(demo)} bytes): page {len(page)} bytes, shown text "
              f"{len(text)} bytes, ratio {ratio:.2f} (target <= 3.00)")
    print("all targets met" if ok else "TARGET MISSED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
