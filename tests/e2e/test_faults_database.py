"""Database faults end with one line naming the database and status 1, the
old set untouched: a database another process holds locked, a damaged one.
A run reads one snapshot while a writer adds rows, and unloads a WAL
GeoPackage from a read-only mount or a directory its user may not write."""

import os
import signal
import sqlite3
import subprocess
import sys
import time

import harness
from fault_tools import (INTERRUPTED, FaultCase, WatchedRun, make_points_database, mount,
                         part_files, run_as_nobody, set_bytes, unmount, wait_in_fifo_open)
import dbfread

ROWS = 20000
BATCH = 1000  # rows per transaction of the concurrent writer

# A second process: takes the lock (or writes batches) until its standard
# input closes, saying "ready" once it holds what the test waits for.
HOLD_LOCK = """
import sqlite3, sys
con = sqlite3.connect(sys.argv[1], isolation_level=None)
con.execute("BEGIN EXCLUSIVE")
print("ready", flush=True)
sys.stdin.read()
"""
WRITE_BATCHES = """
import sqlite3, sys, select
con = sqlite3.connect(sys.argv[1], isolation_level=None)
blob = con.execute("SELECT geom FROM t LIMIT 1").fetchone()[0]
first, batch = int(sys.argv[2]), int(sys.argv[3])
while True:
    con.execute("BEGIN")
    con.executemany("INSERT INTO t (id, label, geom) VALUES (?, 'w', ?)",
                    ((i, blob) for i in range(first, first + batch)))
    con.execute("COMMIT")
    if first == int(sys.argv[2]):
        print("ready", flush=True)
    first += batch
    if select.select([sys.stdin], [], [], 0)[0]:
        break
"""


def start_helper(script, *args):
    helper = subprocess.Popen([sys.executable, "-c", script] + [str(a) for a in args],
                              stdin=subprocess.PIPE, stdout=subprocess.PIPE)
    if helper.stdout.readline().strip() != b"ready":
        raise AssertionError("the helper process did not start")
    return helper


def stop_helper(helper):
    helper.stdin.close()
    helper.wait(timeout=60)
    helper.stdout.close()


class DatabaseFaults(FaultCase):
    @classmethod
    def make_databases(cls):
        make_points_database(cls.scratch, "small", 10)

    def setUp(self):
        super().setUp()
        self.base = os.path.join(self.dir, "out")
        result = harness.run(harness.init_args(self.base, database="small"), cwd=self.scratch)
        self.assertEqual(result.status, 0, result)
        self.before = set_bytes(self.dir)

    def assert_old_set(self):
        self.assertEqual(set_bytes(self.dir), self.before)
        self.assertEqual(part_files(self.dir), [])

    def test_a_locked_database(self):
        path = make_points_database(self.dir, "locked", ROWS)
        helper = start_helper(HOLD_LOCK, path)
        try:
            result = harness.run(harness.init_args(self.base, database="locked"), cwd=self.dir)
            self.assertEqual(result.status, 1, result)
            self.assertRegex(result.err, r"^\nEXEC SQL error \.\.\.\n\n.*locked.*\n$")
            self.assertIn("locked.gpkg", result.err)
            self.assert_old_set()

            # Interrupted while it waits for the lock, it ends at once.
            run = WatchedRun(harness.init_args(self.base, database="locked"), cwd=self.dir)
            time.sleep(0.5)
            run.signal(signal.SIGINT)
            status, err = run.finish()
            self.assertEqual((status, err), (1, INTERRUPTED % "SIGINT"))
            self.assert_old_set()
        finally:
            stop_helper(helper)

    def test_the_snapshot_is_taken_at_connect(self):
        # The run opens its trace file right after it connects; a FIFO holds
        # it there until the test reads it, while a batch is committed.
        path = make_points_database(self.dir, "later", ROWS, journal_mode="WAL")
        trace = os.path.join(self.dir, "trace")
        os.mkfifo(trace)
        run = subprocess.Popen([harness.BIN] + harness.init_args(
            self.base, database="later", more=["-trc", trace + ",1"]), cwd=self.dir,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        wait_in_fifo_open(run.pid)
        con = sqlite3.connect(path)
        con.execute("INSERT INTO t (id, label, geom) SELECT id + %d, label, geom FROM t "
                    "WHERE id < %d" % (ROWS, BATCH))
        con.commit()
        con.close()
        with open(trace, "rb") as f:
            f.read()
        out, err = run.communicate(timeout=60)
        self.assertEqual(run.returncode, 0, err)
        self.assertIn(b"\nUnloaded %d row(s).\n" % ROWS, out)

    def test_one_snapshot_while_a_writer_adds_rows(self):
        path = make_points_database(self.dir, "busy", ROWS, journal_mode="WAL")
        helper = start_helper(WRITE_BATCHES, path, ROWS, BATCH)
        try:
            result = harness.run(harness.init_args(self.base, database="busy"), cwd=self.dir)
        finally:
            stop_helper(helper)
        self.assertEqual(result.status, 0, result)
        shx_records = (os.path.getsize(self.base + ".shx") - 100) // 8
        dbf_records = len(dbfread.DBF(self.base + ".dbf"))
        unloaded = int(result.out.split("\nUnloaded ")[-1].split(" row(s)")[0])
        self.assertEqual(shx_records, unloaded)
        self.assertEqual(dbf_records, unloaded)
        # Whole transactions only: the rows of the start and whole batches.
        self.assertEqual((unloaded - ROWS) % BATCH, 0, unloaded)
        self.assertGreaterEqual(unloaded, ROWS + BATCH)

    def test_a_wal_geopackage_on_a_read_only_mount(self):
        source = os.path.join(self.dir, "source")
        read_only = os.path.join(self.dir, "read-only")
        os.mkdir(source)
        os.mkdir(read_only)
        # Names that read as URIs or hold URI syntax are still plain names.
        for name in ("wal", "file:wal%41?x#y"):
            make_points_database(source, name, 100, journal_mode="WAL")
        self.assertEqual(sorted(os.listdir(source)), ["file:wal%41?x#y.gpkg", "wal.gpkg"])
        mount("--bind", source, read_only)
        try:
            mount("-o", "remount,ro,bind", read_only)
            for name in ("wal", "file:wal%41?x#y"):
                with self.subTest(database=name):
                    result = harness.run(harness.init_args(self.base, database=name,
                                                           more=["-s", read_only]), cwd=self.dir)
                    self.assertEqual(result.status, 0, result)
                    self.assertEqual(harness.ogr_feature_count(self.base + ".shp"), 100)
            self.assertEqual(sorted(os.listdir(read_only)),
                             ["file:wal%41?x#y.gpkg", "wal.gpkg"])
        finally:
            unmount(read_only)

    def test_a_wal_geopackage_in_a_directory_its_user_may_not_write(self):
        # A colleague's share: readable, not writable, on a writable mount.
        shared = os.path.join(self.dir, "shared")
        os.mkdir(shared)
        make_points_database(shared, "wal", 100, journal_mode="WAL")
        os.chmod(shared, 0o555)
        result = run_as_nobody(harness.init_args(self.base, database="wal", more=["-s", shared]),
                               cwd=self.dir, open_to_all=[self.dir])
        self.assertEqual(result.status, 0, result)
        self.assertEqual(harness.ogr_feature_count(self.base + ".shp"), 100)
        self.assertEqual(os.listdir(shared), ["wal.gpkg"])

    def test_a_damaged_database(self):
        path = make_points_database(self.dir, "damaged", ROWS)
        con = sqlite3.connect(path)
        page_size, pages = (con.execute("PRAGMA page_size").fetchone()[0],
                            con.execute("PRAGMA page_count").fetchone()[0])
        con.close()
        # Pages in the middle of the table's rows overwritten.
        with open(path, "r+b") as f:
            for page in range(pages // 2, pages // 2 + 4):
                f.seek(page * page_size)
                f.write(b"\xa5" * page_size)
        result = harness.run(harness.init_args(self.base, database="damaged"), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertRegex(result.err, r"^\nEXEC SQL error \.\.\.\n\n.*malformed.*\n$")
        self.assertIn("damaged.gpkg", result.err)
        self.assert_old_set()


if __name__ == "__main__":
    harness.main()
