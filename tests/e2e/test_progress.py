"""Progress: on a terminal a meter rewrites itself in place with the rows
done of the total the database keeps (exact in a GeoPackage, an estimate
marked "~" on the server), the share done and the rate; into a pipe, a file
and the log every thousandth row stands on its own line, as ever."""

import os
import pty
import re
import subprocess

import harness
from harness import WGS84
from testdb import Column, Table

ROWS = 2500
TABLE = Table(name="t", columns=[Column("name", "TEXT(12)")], geometry_column="geom",
              geometry_type="POINT", srid=4326, srtext=WGS84,
              rows=[{"name": "p%d" % i, "geom": ("Point", (i, i))} for i in range(ROWS)])
# What keeps the table's count: GDAL's table in a GeoPackage, the
# server's statistics.
KEPT_COUNT = {
    "sqlite": ["CREATE TABLE gpkg_ogr_contents (table_name TEXT NOT NULL PRIMARY KEY,"
               " feature_count INTEGER DEFAULT NULL)",
               "INSERT INTO gpkg_ogr_contents VALUES ('t', %d)" % ROWS],
    "postgres": ["ANALYZE t"],
}


def on_a_terminal(args, cwd):
    """(status, what the terminal showed with its line feeds as written)."""
    controller, terminal = pty.openpty()
    process = subprocess.Popen([harness.BIN] + args, cwd=cwd, stdout=terminal,
                               stderr=subprocess.PIPE)
    os.close(terminal)
    shown = b""
    while True:
        try:
            chunk = os.read(controller, 4096)
        except OSError:  # the terminal is gone once the program ends
            break
        if not chunk:
            break
        shown += chunk
    os.close(controller)
    errors = process.stderr.read()
    process.stderr.close()
    status = process.wait(timeout=60)
    return status, errors, shown.replace(b"\r\n", b"\n").decode()


class Progress(harness.EngineTestCase):
    def setUp(self):
        super().setUp()
        self.reach = self.source([TABLE], sql=KEPT_COUNT[self.engine])

    def test_a_terminal_shows_the_total_share_and_rate(self):
        status, errors, shown = on_a_terminal(harness.init_args("out", source=self.reach),
                                              cwd=self.dir)
        self.assertEqual(status, 0, errors)
        total = "%s%d" % ("~" if self.engine == "postgres" else "", ROWS)
        # Drawn at once, then in place at most ten times a second, and a
        # last time with every row.
        meter = (r"\nUnloaded 128 of %s rows \(5%%\)(, \d+ rows/s)?\." % re.escape(total) +
                 r"(\r\x1b\[KUnloaded \d+ of %s rows \(\d+%%\), \d+ rows/s\.)*" % re.escape(total) +
                 r"\r\x1b\[KUnloaded 2500 of %s rows \(100%%\), \d+ rows/s\.\n" % re.escape(total))
        self.assertRegex(shown, "^" + meter + re.escape(harness.summary(ROWS, 0)))
        self.assertNotIn("Unloaded row", shown)

        # Without a total (-w picks some rows): the rows and the rate.
        status, errors, shown = on_a_terminal(
            harness.init_args("out", source=self.reach, more=["-w", "1 = 1"]), cwd=self.dir)
        self.assertEqual(status, 0, errors)
        self.assertRegex(shown, r"\r\x1b\[KUnloaded 2500 rows, \d+ rows/s\.\n\nUnloaded 2500 ")

    def test_a_pipe_and_the_log_get_every_thousandth_row(self):
        result = harness.run(harness.init_args("out", source=self.reach, more=["-log"]),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertRegex(result.out, "^" + re.escape(
            "\nUnloaded row 1000.\n\nUnloaded row 2000.\n" + harness.summary(ROWS, 0)) +
            r"\d+:\d\d:\d\d\.\d\n$")
        with open(self.path("out.log")) as f:
            log = f.read()
        self.assertEqual(re.findall(r"\n\d\d:\d\d:\d\d  (Unloaded .*)\n", log),
                         ["Unloaded row 1000.", "Unloaded row 2000.", "Unloaded 2500 row(s)."])


if __name__ == "__main__":
    harness.main()
