"""One definition of tables, unloaded through each engine of the client
library: the file set reads back the same, and the server engine writes the
embedded engine's bytes (the .dbf but for its date of last update) for every
geometry kind with Z and M, nulls and empties, every attribute type, a real
SRID and SRID 0. Then what only a server does: its own definition of a
coordinate system, a session ended in the middle of an unload, and the
connections it refuses, each said in one line that never shows a
password."""

import datetime
import decimal
import os
import pty
import re
import subprocess

import harness
from harness import WGS84
from testdb import Column, Table

import dbfread
import shapefile

DBF_DATE = slice(1, 4)  # the .dbf header's date of last update

PLACES = Table(
    name="places", columns=[Column("name", "TEXT(12)"), Column("n", "MEDIUMINT"),
                            Column("osm_id", "INTEGER"), Column("height", "DOUBLE"),
                            Column("seen", "DATE"), Column("ok", "BOOLEAN"),
                            Column("price", "DECIMAL(8,2)")],
    geometry_column="geom", geometry_type="POINT", dims="XYZ", srid=4326, srtext=WGS84,
    rows=[{"name": "Zoë", "n": -7, "osm_id": 2 ** 59 + 1, "height": 12.5, "seen": "2024-02-29",
           "ok": True, "price": 1234.5, "geom": ("Point", (10.5, 50.25, 100))},
          {"name": None, "n": None, "osm_id": None, "height": None, "seen": None, "ok": None,
           "price": None, "geom": None},
          {"name": "b", "n": 2147483647, "osm_id": 1, "height": -0.5, "seen": "1970-01-01",
           "ok": False, "price": -0.25, "geom": ("Point", (-1, -2, -3))}])

OUTER_CCW = [(0, 0, 1, 5), (10, 0, 2, 6), (10, 10, 3, 7), (0, 10, 4, 8), (0, 0, 1, 5)]
HOLE_CW = [(2, 2, 0, 0), (2, 4, 0, 0), (4, 4, 0, 0), (4, 2, 0, 0), (2, 2, 0, 0)]


def dims_of(points, dims):
    """The points cut to dims (XY, XYZ, XYM or XYZM) from X, Y, Z, M."""
    keep = {"XY": (0, 1), "XYZ": (0, 1, 2), "XYM": (0, 1, 3), "XYZM": (0, 1, 2, 3)}[dims]
    return [tuple(p[i] for i in keep) for p in points]


def kind_table(name, geometry_type, dims, geometries, srid=4326):
    return Table(name=name, columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
                 geometry_type=geometry_type, dims=dims, srid=srid,
                 srtext=WGS84 if srid else None,
                 rows=[{"id": i, "geom": g} for i, g in enumerate(geometries)])


def geometry_tables():
    """A table per geometry kind, each with its Z and M, a null and an
    empty geometry; one of SRID 0."""
    line = [(0, 0, 1, 2), (3, 4, 5, 6), (7, 8, 9, 10)]
    return [
        kind_table("points_m", "POINT", "XYM", [("Point", (1, 2, 3)), None, ("Point", None),
                                               ("Point", (-4, 5, float("nan")))], srid=0),
        kind_table("multipoints_z", "MULTIPOINT", "XYZ", [
            ("MultiPoint", dims_of(line, "XYZ")), ("MultiPoint", []), None]),
        kind_table("lines_zm", "MULTILINESTRING", "XYZM", [
            ("MultiLineString", [dims_of(line, "XYZM"), dims_of(line[:2], "XYZM")]),
            ("MultiLineString", []), None]),
        kind_table("lines", "LINESTRING", "XY", [("LineString", dims_of(line, "XY")), None]),
        kind_table("polygons_m", "POLYGON", "XYM", [
            ("Polygon", [dims_of(OUTER_CCW, "XYM"), dims_of(HOLE_CW, "XYM")]),
            ("Polygon", []), None]),
        kind_table("multipolygons_z", "MULTIPOLYGON", "XYZ", [
            ("MultiPolygon", [[dims_of(OUTER_CCW, "XYZ")],
                              [dims_of([(20, 20, 1, 0), (20, 30, 2, 0), (30, 30, 3, 0),
                                        (20, 20, 1, 0)], "XYZ")]]),
            None, ("MultiPolygon", [])]),
    ]


# Every attribute type of the mapping, with edges and nulls; the timestamp
# is left out by both engines.
ATTRIBUTES = Table(
    name="attributes",
    columns=[Column("code", "CHAR(5)"), Column("label", "VARCHAR(20)"), Column("note", "TEXT"),
             Column("small", "SMALLINT"), Column("medium", "MEDIUMINT"), Column("big", "INTEGER"),
             Column("real", "DOUBLE"), Column("single", "SMALLFLOAT"),
             Column("price", "DECIMAL(8,2)"), Column("floating", "NUMERIC"),
             Column("cash", "MONEY(19,2)"), Column("day", "DATE"), Column("flag", "BOOLEAN"),
             Column("stamp", "TIMESTAMP")],
    geometry_column="geom", geometry_type="POINT", srid=4326, srtext=WGS84,
    rows=[{"code": "ab", "label": "Straße", "note": "x" * 300, "small": -32768,
           "medium": 2147483647, "big": -10 ** 17 + 1, "real": 1e300, "single": 0.1,
           "price": 2.675, "floating": 1234.5678, "cash": 12.35, "day": "2024-02-29",
           "flag": True, "stamp": "2024-01-02 03:04:05", "geom": ("Point", (1, 2))},
          {"geom": ("Point", (3, 4))},
          {"code": "abcde", "label": "", "note": "", "small": 32767, "medium": -2147483648,
           "big": 10 ** 18 - 1, "real": -2.5e-300, "single": -1.5, "price": -0.005,
           "floating": -1e-20, "cash": -0.07, "day": "1900-01-01", "flag": False,
           "geom": ("Point", (5, 6))}])


def without_dbf_date(files):
    dbf = files.get("dbf")
    return dict(files, dbf=dbf[:DBF_DATE.start] + dbf[DBF_DATE.stop:])


class OneDefinition(harness.EngineTestCase):
    def unload(self, directory, source, table="places"):
        result = harness.run(harness.init_args("out", table=table, source=source), cwd=directory)
        self.assertEqual(result.status, 0, result)
        files = {}
        for extension in ("shp", "shx", "dbf", "prj"):
            path = os.path.join(directory, "out." + extension)
            if os.path.exists(path):
                with open(path, "rb") as f:
                    files[extension] = f.read()
        return files

    def test_the_set_reads_back(self):
        self.unload(self.dir, self.source([PLACES]))
        reader = shapefile.Reader(self.path("out"))
        self.assertEqual(reader.shapeType, shapefile.POINTZ)
        self.assertEqual([(s.shapeType, [list(p) for p in s.points], list(getattr(s, "z", [])))
                          for s in reader.shapes()],
                         [(11, [[10.5, 50.25]], [100]), (0, [], []), (11, [[-1, -2]], [-3])])
        rows = [list(r.values()) for r in dbfread.DBF(self.path("out.dbf"), encoding="utf-8")]
        self.assertEqual(rows, [
            ["Zoë", -7, 2 ** 59 + 1, 12.5, datetime.date(2024, 2, 29), True,
             decimal.Decimal("1234.50")],
            ["", None, None, None, None, None, None],
            ["b", 2147483647, 1, -0.5, datetime.date(1970, 1, 1), False, decimal.Decimal("-0.25")]])
        self.assertEqual(self.read_bytes("out.prj"), WGS84.encode())

    @harness.server_only
    def test_the_embedded_engines_bytes(self):
        tables = [PLACES, ATTRIBUTES] + geometry_tables()
        server = self.source(tables)
        reference_dir = self.path("reference")
        os.mkdir(reference_dir)
        reference = ["-D", harness.make_database(reference_dir, tables)]
        for table in tables:
            with self.subTest(table=table.name):
                files = self.unload(self.dir, server, table.name)
                expected = self.unload(reference_dir, reference, table.name)
                self.assertEqual(sorted(files), sorted(expected))
                self.assertEqual(without_dbf_date(files), without_dbf_date(expected))
                # SRID 0 is no coordinate system: no .prj.
                self.assertEqual("prj" in files, table.srid != 0)

    @harness.server_only
    def test_the_servers_own_definition_is_the_same_system(self):
        # No srtext: the server keeps PostGIS's text of 4326; the GeoPackage
        # holds the ESRI-style one. An append from the one onto a set of the
        # other compares them by meaning.
        server_table = Table(name="places", columns=[Column("n", "MEDIUMINT")],
                             geometry_column="geom", geometry_type="POINT", srid=4326,
                             rows=[{"n": 1, "geom": ("Point", (1, 2))}])
        self.unload(self.dir, self.source([server_table]))
        self.assertNotEqual(self.read_bytes("out.prj"), WGS84.encode())
        local = Table(name="places", columns=[Column("n", "MEDIUMINT")], geometry_column="geom",
                      geometry_type="POINT", srid=4326, srtext=WGS84,
                      rows=[{"n": 2, "geom": ("Point", (3, 4))}])
        harness.make_database(self.dir, [local], name="local")
        result = harness.run(harness.append_args("out", table="places", database="local",
                                                 more=["-log"]), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(harness.summary(1, 0)), result)
        with open(self.path("out.log")) as f:
            self.assertIn("is written differently from that of SRID 4326 but is the same; "
                          "appending.", f.read())


class ServerFaults(harness.ScratchTestCase):
    """What only a server does wrong; each ends the run with status 1 and
    one line that says what is wrong and never shows the password."""

    @classmethod
    def setUpClass(cls):
        import testdb_postgres
        cls.facts = harness.postgres_facts()
        cls.database = "faults_%d" % os.getpid()
        # 5,000 rows read at half a millisecond each: the session is still
        # unloading when the test ends it.
        points = Table(name="t", columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
                       geometry_type="POINT", srid=0,
                       rows=[{"id": i, "geom": ("Point", (i, i))} for i in range(5000)])
        hidden = Table(name="elsewhere", columns=[Column("id", "MEDIUMINT")],
                       geometry_column="geom", geometry_type="POINT", srid=0, schema="other",
                       rows=[{"id": 1, "geom": ("Point", (1, 1))}])
        testdb_postgres.write_postgres(cls.facts, cls.database, [points, hidden])
        cls.addClassCleanup(testdb_postgres.drop_database, cls.facts, cls.database)

    def reach(self, database=None, user=None, password=None):
        facts = self.facts
        return ["-D", database or self.database, "-s", harness.server_uri(facts),
                "-u", user or facts["user"], "-p", password or facts["password"]]

    def assert_one_line(self, result, pattern):
        """Status 1 and one line (under the heading of an SQL error) that
        matches pattern."""
        self.assertEqual(result.status, 1, result)
        lines = [line for line in result.err.split("\n") if line and line != "EXEC SQL error ..."]
        self.assertEqual(len(lines), 1, result)
        self.assertRegex(lines[0], pattern)
        self.assertNotIn(self.facts["password"], result.out + result.err)

    def test_a_session_ended_mid_unload(self):
        args = [harness.BIN] + harness.init_args(
            "out", source=self.reach(), more=["-w", "pg_sleep(0.0005) IS NOT NULL"])
        # A terminal, so that the progress meter arrives when it is drawn.
        terminal, child_side = pty.openpty()
        child = subprocess.Popen(args, cwd=self.dir, stdout=child_side, stderr=subprocess.PIPE)
        os.close(child_side)
        shown = b""
        while b"Unloaded " not in shown:
            chunk = os.read(terminal, 1024)
            self.assertTrue(chunk, "spoolmap ended before its progress meter showed")
            shown += chunk
        self.assertEqual(harness.terminate_sessions(self.database), 1)
        _, err = child.communicate(timeout=120)
        os.close(terminal)
        result = harness.Result(subprocess.CompletedProcess(args, child.returncode, b"", err))
        self.assert_one_line(result, r"-416: Fetch from cursor 'selcurs' \(statement 'selstmt2'\) "
                                     r"failed at row \d+: terminating connection due to "
                                     r"administrator command\.")
        # No set at all, whole-looking or not: the run's files are gone.
        self.assertEqual(os.listdir(self.dir), [])

    def test_connections_refused_say_why(self):
        cases = {
            "wrong password": (self.reach(password="wrong"), r"-409: Cannot connect to database "
                               r"'faults_\d+' on server 'postgresql://[^']+': password "
                               r"authentication failed for user \"spoolmap\"\."),
            "missing database": (self.reach(database="nosuch"), r"-409: Cannot connect to "
                                 r"database 'nosuch' on server '[^']+': database \"nosuch\" does "
                                 r"not exist\."),
            "no PostGIS": (self.reach(database=self.facts["nopostgis_dbname"]),
                           r"-409: Database 'spoolmap_plain' on server '[^']+' has no PostGIS"),
        }
        for what, (source, pattern) in cases.items():
            with self.subTest(what):
                result = harness.run(harness.init_args("out", source=source), cwd=self.dir)
                self.assert_one_line(result, pattern)
        # A table of a schema that is not on the search path is not there.
        result = harness.run(harness.init_args("out", table="elsewhere", source=self.reach()),
                             cwd=self.dir)
        self.assertEqual((result.status, result.err),
                         (1, "\nUnable to determine spatial reference for geometry column "
                             "elsewhere.geom.\nSpatial columns in the database: other.elsewhere,geom, "
                             "public.t,geom.\n"))

    def test_a_password_in_the_address_stays_out_of_the_log(self):
        facts = self.facts
        address = "postgresql://%s:%s@%s:%s/?sslmode=disable&password=%s" % (
            facts["user"], facts["password"], facts["host"], facts["port"], facts["password"])
        result = harness.run(harness.init_args("out", source=["-D", self.database, "-s", address],
                                               more=["-log", "-w", "id < 3"]), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        with open(self.path("out.log")) as f:
            log = f.read()
        self.assertIn("        -s postgresql://%s:********@%s:%s/?sslmode=disable&password=********"
                      % (facts["user"], facts["host"], facts["port"]), log)
        self.assertNotIn(facts["password"], log)
        self.assertTrue(result.out.startswith(harness.summary(3, 0)), result)


if __name__ == "__main__":
    harness.main()
