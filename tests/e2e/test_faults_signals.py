"""A run that is interrupted or killed loses nothing: SIGINT, SIGTERM and
SIGHUP end it with one line and status 1, the old set as it was (an append
restored); after SIGKILL the old set is untouched and the next run clears up
what the killed one left."""

import os
import signal

import harness
from fault_tools import (INTERRUPTED, SIGNALS, FaultCase, WatchedRun, make_points_database,
                         part_files, set_bytes)

ROWS = 200000
# Each row costs the database a few microseconds more, so that a signal sent
# once the progress meter shows always meets a run with rows left to do.
SLOW = ["-w", "length(hex(zeroblob(2000 + id % 2))) > 0"]


class Signals(FaultCase):
    @classmethod
    def make_databases(cls):
        make_points_database(cls.scratch, "big", ROWS)
        make_points_database(cls.scratch, "small", 10)

    def setUp(self):
        super().setUp()
        self.base = os.path.join(self.dir, "out")

    def run_small(self, operation):
        make = harness.init_args if operation == "init" else harness.append_args
        result = harness.run(make(self.base, database="small"), cwd=self.scratch)
        self.assertEqual(result.status, 0, result)
        return result

    def interrupted(self, operation, number, rows=1):
        """Starts a large run, sends number once its progress meter shows
        rows done (by default as soon as it shows) and returns its status
        and error text."""
        make = harness.init_args if operation == "init" else harness.append_args
        run = WatchedRun(make(self.base, database="big", more=SLOW), cwd=self.scratch)
        run.wait_for_rows(rows)
        run.signal(number)
        return run.finish()

    def test_an_interrupted_init_leaves_the_old_set(self):
        for name, number in SIGNALS.items():
            with self.subTest(signal=name):
                self.run_small("init")
                before = set_bytes(self.dir)
                status, err = self.interrupted("init", number)
                self.assertEqual(status, 1, err)
                self.assertEqual(err, INTERRUPTED % name)
                self.assertEqual(set_bytes(self.dir), before)
                self.assertEqual(part_files(self.dir), [])

    def test_an_interrupted_append_is_taken_back(self):
        self.run_small("init")
        self.run_small("append")
        before = set_bytes(self.dir)
        status, err = self.interrupted("append", signal.SIGINT)
        self.assertEqual(status, 1, err)
        self.assertEqual(err, INTERRUPTED % "SIGINT")
        self.assertEqual(set_bytes(self.dir), before)
        self.assertEqual(harness.ogr_feature_count(self.base + ".shp"), 20)

    def test_after_a_killed_init_the_next_run_clears_its_parts(self):
        self.run_small("init")
        before = set_bytes(self.dir)
        status, _ = self.interrupted("init", signal.SIGKILL)
        self.assertEqual(status, -signal.SIGKILL)
        self.assertEqual(set_bytes(self.dir), before)
        self.assertEqual(part_files(self.dir), ["out.cpg.part", "out.dbf.part", "out.prj.part",
                                                "out.shp.part", "out.shx.part"])
        # The next run on the base, an append here, starts by removing them.
        self.run_small("append")
        self.assertEqual(part_files(self.dir), [])
        self.assertEqual(harness.ogr_feature_count(self.base + ".shp"), 20)

    def test_after_a_killed_append_the_next_append_cuts_what_it_wrote(self):
        self.run_small("init")
        # Records reach the file a mebibyte at a time: by row 50,000 (1.4 MB
        # of points) the killed run has written some past the old headers.
        status, _ = self.interrupted("append", signal.SIGKILL, rows=50000)
        self.assertEqual(status, -signal.SIGKILL)
        self.assertGreater(os.path.getsize(self.base + ".shp"), 100 + 10 * 28)
        self.run_small("append")
        self.assertEqual(harness.ogr_feature_count(self.base + ".shp"), 20)
        self.assertEqual(os.path.getsize(self.base + ".shp"), 100 + 20 * 28)
        self.assertEqual(os.path.getsize(self.base + ".shx"), 100 + 20 * 8)


if __name__ == "__main__":
    harness.main()
