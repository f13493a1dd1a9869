"""Polling with a deadline, in place of a sleep that hopes the program is done."""
import errno
import os
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
