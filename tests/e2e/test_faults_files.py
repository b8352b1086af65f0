"""A run that fails after its files were opened leaves the old set byte for
byte as it was, and no part files: a full device, the file-size limit, a
database that is not there, a row refused halfway. The next run removes the
part files a killed run left."""

import os
import sqlite3
import subprocess

import harness
from fault_tools import (FaultCase, make_points_database, mount, part_files, run_as_nobody,
                         set_bytes, unmount)

MEDIUM = 20000  # rows: a .shp of 660 KB, past the small device and limit below
WRITE_FAILED = r"^\nWrite failed for file %s\.(shp|shx|dbf): %s\.\n$"


class FileFaults(FaultCase):
    @classmethod
    def make_databases(cls):
        make_points_database(cls.scratch, "small", 10)
        make_points_database(cls.scratch, "medium", MEDIUM)
        bad = make_points_database(cls.scratch, "bad", MEDIUM)
        con = sqlite3.connect(bad)
        con.execute("UPDATE t SET id = 1099511627776 WHERE id = %d" % (MEDIUM // 2))
        con.commit()
        con.close()
        cls.unknown = make_points_database(cls.scratch, "unknown", MEDIUM, srtext=None)

    def run_in(self, directory, operation, database, base="out", prefix=()):
        make = harness.init_args if operation == "init" else harness.append_args
        args = make(os.path.join(directory, base), database=database)
        if not prefix:
            return harness.run(args, cwd=self.scratch)
        completed = subprocess.run(list(prefix) + [harness.BIN] + args, cwd=self.scratch,
                                   stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=600)
        return harness.Result(completed)

    def assert_refused_untouched(self, directory, operation, database, message, prefix=()):
        """An old set of 10 points in directory; a run that must fail with
        message (a regular expression) and leave it as it was."""
        self.assertEqual(self.run_in(directory, "init", "small").status, 0)
        before = set_bytes(directory)
        result = self.run_in(directory, operation, database, prefix=prefix)
        self.assertEqual(result.status, 1, result)
        self.assertRegex(result.err, message)
        self.assertNotIn("row(s).", result.out)  # no summary
        self.assertEqual(set_bytes(directory), before)
        self.assertEqual(part_files(directory), [])

    def test_a_full_device(self):
        device = os.path.join(self.dir, "device")
        os.mkdir(device)
        mount("-t", "tmpfs", "-o", "size=256k", "tmpfs", device)
        try:
            for operation in ("init", "append"):
                with self.subTest(operation=operation):
                    self.assert_refused_untouched(
                        device, operation, "medium",
                        WRITE_FAILED % (os.path.join(device, "out"), "No space left on device"))
        finally:
            unmount(device)

    def test_the_file_size_limit(self):
        # ulimit -f counts 1024-byte blocks: 64 KB.
        limit = ["bash", "-c", 'ulimit -f 64 && exec "$@"', "limited"]
        for operation in ("init", "append"):
            with self.subTest(operation=operation):
                self.assert_refused_untouched(
                    self.dir, operation, "medium",
                    WRITE_FAILED % (os.path.join(self.dir, "out"), "File too large"), prefix=limit)

    def test_failures_before_and_during_the_rows(self):
        cases = {
            "no such database": ("init", "mistyped", r"^\nEXEC SQL error \.\.\.\n\n.*'mistyped'"),
            "a value refused halfway": ("init", "bad", r"^\nEXEC SQL error \.\.\.\n\n.*1099511627776"),
            "the same in an append": ("append", "bad", r"^\nEXEC SQL error \.\.\.\n\n.*1099511627776"),
            # The column has no coordinate system: the old .prj goes only
            # with a run that completes.
            "no coordinate system": ("init", "unknown_bad", r"1099511627776"),
        }
        con = sqlite3.connect(self.unknown)
        con.execute("UPDATE t SET id = 1099511627776 WHERE id = 7")
        con.commit()
        con.close()
        os.rename(self.unknown, os.path.join(self.scratch, "unknown_bad.gpkg"))
        for what, (operation, database, message) in cases.items():
            with self.subTest(case=what):
                self.assert_refused_untouched(self.dir, operation, database, message)
                self.assertIsNotNone(set_bytes(self.dir)["prj"])

    def test_a_directory_that_cannot_take_the_files_says_why(self):
        missing = os.path.join(self.dir, "missing")
        unwritable = os.path.join(self.dir, "unwritable")
        os.mkdir(unwritable, 0o555)
        cases = (([os.path.join(missing, "x")], missing + "/x.shp", "No such file or directory"),
                 ([os.path.join(unwritable, "x")], unwritable + "/x.shp", "Permission denied"),
                 ([os.path.join(self.dir, "x"), "-log", missing], missing + "/x.log",
                  "No such file or directory"))
        for (base, *more), name, reason in cases:
            with self.subTest(file=name):
                result = run_as_nobody(harness.init_args(base, database="small", more=more),
                                       cwd=self.scratch, open_to_all=[self.dir])
                self.assertEqual(result.status, 1, result)
                self.assertEqual(result.err, "\nFile open failed for file %s: %s.\n" % (name, reason))
                self.assertEqual(os.listdir(unwritable), [])
                self.assertEqual(part_files(self.dir), [])

    def test_stale_parts_of_the_base_go_and_others_stay(self):
        for operation in ("init", "append"):
            with self.subTest(operation=operation):
                self.assertEqual(self.run_in(self.dir, "init", "small").status, 0)
                for name in ("out.shp.part", "out.dbf.part", "out.prj.part", "other.shp.part"):
                    with open(os.path.join(self.dir, name), "wb") as f:
                        f.write(b"left by a killed run")
                result = self.run_in(self.dir, operation, "small")
                self.assertEqual(result.status, 0, result)
                self.assertEqual(part_files(self.dir), ["other.shp.part"])
                os.remove(os.path.join(self.dir, "other.shp.part"))


if __name__ == "__main__":
    harness.main()
