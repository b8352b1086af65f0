"""Shared helpers of the end-to-end tests: run the built spoolmap binary in a
scratch directory and look at what it printed and wrote."""

import os
import subprocess
import sys
import tempfile
import unittest

BIN = os.environ.get("SPOOLMAP_BIN", "")
TOOLS = os.environ.get("SPOOLMAP_TOOLS", os.path.join(os.path.dirname(__file__), "..", "tools"))
sys.path.insert(0, TOOLS)


class Result:
    def __init__(self, completed):
        self.status = completed.returncode
        self.out = completed.stdout.decode("utf-8", "replace")
        self.err = completed.stderr.decode("utf-8", "replace")

    def __repr__(self):
        return "status %d\n--- stdout\n%s\n--- stderr\n%s" % (self.status, self.out, self.err)


def run(args, cwd=None, timeout=600):
    """Runs spoolmap with args (a list) in cwd; returns a Result."""
    if not BIN:
        raise RuntimeError("SPOOLMAP_BIN is not set")
    completed = subprocess.run([BIN] + list(args), cwd=cwd, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=timeout)
    return Result(completed)


class ScratchTestCase(unittest.TestCase):
    """A test case with a fresh scratch directory per test (self.dir)."""

    def setUp(self):
        self._scratch = tempfile.TemporaryDirectory(prefix="spoolmap-e2e-")
        self.dir = self._scratch.name

    def tearDown(self):
        self._scratch.cleanup()

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def read_bytes(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()


def main():
    unittest.main(verbosity=2)
