"""Polling with a deadline, in place of a sleep that hopes the program is done."""
import errno
import os
import select
import time

DEADLINE = 10.0  # seconds: generous enough for a loaded machine


class Timeout(AssertionError):
    pass


def wait_for(what, condition, deadline=DEADLINE, poll=0.02, shown=None):
    """Polls until condition() gives a true value and returns it; after `deadline` seconds
    fails, saying what it waited for and, from shown(), what it saw instead."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            raise Timeout(f"timed out waiting for {what}" + (f"; {shown()}" if shown else ""))
        time.sleep(poll)


def open_fifo_end(fifo, flags, deadline=DEADLINE):
    """Opens one end of a FIFO (blocking) once a program holds the other, within the
    deadline: a non-blocking open for writing fails with ENXIO until a reader is there."""
    end = time.monotonic() + deadline
    while True:
        try:
            fd = os.open(fifo, flags | os.O_NONBLOCK)
            os.set_blocking(fd, True)
            return fd
        except OSError as e:
            if e.errno != errno.ENXIO or time.monotonic() > end:
                raise
            time.sleep(0.01)


def read_within(fd, n, what, deadline=DEADLINE, beyond=False):
    """Reads from fd until n bytes have come, or fewer at its end; fails when they have not
    come within the deadline, so that output held back fails the test and not ctest's
    timeout. With `beyond`, a read takes what is there, so that output past n shows too."""
    got = b""
    end = time.monotonic() + deadline
    while len(got) < n:
        left = end - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            raise Timeout(f"timed out waiting for {what}; got {got[:80]!r} within {deadline}s")
        piece = os.read(fd, 65536 if beyond else n - len(got))
        if not piece:
            break
        got += piece
    return got
