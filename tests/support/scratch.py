"""A test case with a scratch folder of its own, for the end-to-end tests of the programs."""
import os
import subprocess
import tempfile
import unittest


class ScratchCase(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory(prefix="vorlan-test-")
        self.addCleanup(scratch.cleanup)
        self.dir = scratch.name

    def path(self, name):
        return os.path.join(self.dir, name)

    def file(self, name, data):
        """Writes `data` (bytes) into the scratch folder; returns its path."""
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def run_prog(self, argv, stdin=b"", **kw):
        """Runs a program to its end with `stdin` as its input, capturing what it writes."""
        return subprocess.run(argv, input=stdin, capture_output=True, timeout=60, **kw)

    def assertRun(self, r, status, out, err=b""):
        self.assertEqual((r.returncode, r.stderr, r.stdout), (status, err, out))
