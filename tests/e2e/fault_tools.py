"""Shared pieces of the fault tests: a large table made quickly, the bytes of
a file set, mounts, and runs that can be watched and signalled."""

import hashlib
import os
import pty
import re
import select
import shutil
import signal
import sqlite3
import subprocess
import tempfile
import time
import unittest

import harness
from harness import WGS84
from testdb import Column, Table, encode_gpkg

SET_EXTENSIONS = ("shp", "shx", "dbf", "prj", "cpg")


class FaultCase(unittest.TestCase):
    """A test case whose databases are made once for the class, in
    cls.scratch, by make_databases; each test has a fresh directory of its
    own there (self.dir)."""

    @classmethod
    def setUpClass(cls):
        cls.scratch = tempfile.mkdtemp(prefix="spoolmap-faults-")
        cls.make_databases()

    @classmethod
    def make_databases(cls):
        pass

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.scratch)

    def setUp(self):
        self.dir = tempfile.mkdtemp(dir=self.scratch)


def points_table(rows, srtext=WGS84):
    return Table(name="t", columns=[Column("id", "MEDIUMINT"), Column("label", "VARCHAR(12)")],
                 geometry_column="geom", geometry_type="POINT", dims="XY",
                 srid=4326 if srtext else 0, srtext=srtext, rows=rows)


def point_rows(first, count):
    return [{"id": i, "label": "p%d" % i, "geom": ("Point", (i, -i))}
            for i in range(first, first + count)]


def make_points_database(directory, name, count, srtext=WGS84, journal_mode=None):
    """A GeoPackage directory/name.gpkg whose table t holds count points; the
    rows go in with one prepared statement and prebuilt blobs, so a few
    hundred thousand take a second or two. Returns the path."""
    path = os.path.join(directory, name + ".gpkg")
    harness.make_database(directory, [points_table([], srtext)], name=name)
    blobs = [encode_gpkg(("Point", (i, -i)), "XY", 4326 if srtext else 0) for i in range(100)]
    con = sqlite3.connect(path)
    if journal_mode:
        con.execute("PRAGMA journal_mode=%s" % journal_mode)
    con.executemany("INSERT INTO t (id, label, geom) VALUES (?, ?, ?)",
                    ((i, "p%d" % i, blobs[i % 100]) for i in range(count)))
    con.commit()
    con.close()
    return path


def set_bytes(directory, base="out"):
    """{extension: sha256 of the file, or None when there is none} of a set,
    and the part files beside it."""
    digests = {}
    for extension in SET_EXTENSIONS:
        path = os.path.join(directory, "%s.%s" % (base, extension))
        if os.path.exists(path):
            with open(path, "rb") as f:
                digests[extension] = hashlib.sha256(f.read()).hexdigest()
        else:
            digests[extension] = None
    return digests


# The tests run as root, who may write anywhere: a directory that its user
# may not write is tried as nobody.
AS_NOBODY = ["runuser", "-u", "nobody", "--"]


def run_as_nobody(args, cwd, open_to_all=()):
    """Runs spoolmap with args as nobody; each directory of open_to_all (and
    the directories above it) is opened for nobody to pass through first,
    the last one also to write in."""
    for directory in open_to_all:
        path = os.path.abspath(directory)
        while path != "/":
            os.chmod(path, os.stat(path).st_mode | 0o005)
            path = os.path.dirname(path)
        os.chmod(directory, 0o777)
    completed = subprocess.run(AS_NOBODY + [harness.BIN] + list(args), cwd=cwd,
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
    return harness.Result(completed)


def wait_in_fifo_open(pid, timeout=30):
    """Waits until process pid is blocked opening a FIFO (for a reader)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        with open("/proc/%d/wchan" % pid) as f:
            if f.read() == "wait_for_partner":
                return
        time.sleep(0.01)
    raise AssertionError("process %d never waited at its FIFO" % pid)


def part_files(directory):
    return sorted(n for n in os.listdir(directory) if n.endswith(".part"))


def mount(*args):
    """Runs mount with args; a refusal fails the test loudly (CI runs as
    root, where every mount of these tests works)."""
    completed = subprocess.run(["mount"] + list(args), stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT)
    if completed.returncode != 0:
        raise AssertionError("mount %s failed: %s" % (" ".join(args), completed.stdout.decode()))


def unmount(path):
    subprocess.run(["umount", path], check=True)


class WatchedRun:
    """spoolmap started with its standard output on a terminal, so that the
    progress meter arrives as it is drawn; its error stream is a pipe."""

    def __init__(self, args, cwd):
        master, slave = pty.openpty()
        self.master = master
        self.process = subprocess.Popen([harness.BIN] + list(args), cwd=cwd, stdout=slave,
                                        stderr=subprocess.PIPE)
        os.close(slave)
        self.out = b""

    def wait_for(self, text, timeout=60):
        """Reads the standard output until text appears; fails if it does not."""
        self.wait_until(lambda: text.encode() in self.out, text, timeout)

    def wait_for_rows(self, rows, timeout=60):
        """Reads the standard output until the progress meter shows at least
        rows rows done."""
        def done():
            shown = re.findall(rb"Unloaded (\d+)", self.out)
            return bool(shown) and int(shown[-1]) >= rows
        self.wait_until(done, "%d rows" % rows, timeout)

    def wait_until(self, done, text, timeout):
        deadline = time.monotonic() + timeout
        while not done():
            remaining = deadline - time.monotonic()
            ready, _, _ = select.select([self.master], [], [], max(remaining, 0))
            if not ready:
                raise AssertionError("no %r within %ds; output so far: %r" % (text, timeout, self.out[-300:]))
            try:
                chunk = os.read(self.master, 4096)
            except OSError:
                chunk = b""
            if not chunk:
                raise AssertionError("the run ended before %r: %r" % (text, self.out[-300:]))
            self.out += chunk

    def signal(self, number):
        self.process.send_signal(number)

    def finish(self, timeout=60):
        """(status, stderr text) once the run has ended; the status of a death
        by a signal is its negative number."""
        _, err = self.process.communicate(timeout=timeout)
        os.close(self.master)
        return self.process.returncode, err.decode("utf-8", "replace")


INTERRUPTED = "\nRun interrupted by %s; the file set is left as it was.\n"
SIGNALS = {"SIGINT": signal.SIGINT, "SIGTERM": signal.SIGTERM, "SIGHUP": signal.SIGHUP}
