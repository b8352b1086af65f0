"""Shared helpers of the end-to-end tests: run the built spoolmap binary in a
scratch directory and look at what it printed and wrote."""

import itertools
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


# ---------------------------------------------------------------------------
# Engines: one definition of tables, run against each engine of the client
# library.

# The server engine's switch: every EngineTestCase method runs against the
# test cluster too (ctest provides it; see tests/CMakeLists.txt). Off, those
# runs are skipped and say so.
POSTGRES_ENGINE = True
ENGINES = ("sqlite", "postgres")


class EngineTestCase(ScratchTestCase):
    """Runs each test method once per engine: test_x becomes test_x_sqlite
    and test_x_postgres, each with its own scratch directory. setUp sets
    self.engine (a subclass's setUp calls it first). Build the tables with
    self.source(...)."""

    def __init_subclass__(cls, **kwargs):
        super().__init_subclass__(**kwargs)
        for name, method in list(vars(cls).items()):
            if name.startswith("test") and callable(method):
                delattr(cls, name)
                for engine in getattr(method, "engines", ENGINES):
                    setattr(cls, "%s_%s" % (name, engine), method)

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        # The server databases of this class by their definition: spoolmap
        # only reads them, so the tests of a class share one per definition.
        cls._server_databases = {}
        cls.addClassCleanup(cls._drop_server_databases)

    @classmethod
    def _drop_server_databases(cls):
        import testdb_postgres
        for database in cls._server_databases.values():
            testdb_postgres.drop_database(postgres_facts(), database)

    def setUp(self):
        self.engine = self._testMethodName.rsplit("_", 1)[1]
        if self.engine == "postgres" and not POSTGRES_ENGINE:
            self.skipTest("the server engine is switched off (harness.POSTGRES_ENGINE)")
        super().setUp()

    def source(self, tables, name="gis", kind="gpkg", sql=(), postgis=True):
        """Builds tables for this test's engine and returns the spoolmap
        arguments that reach them (run spoolmap in self.dir); sql runs after
        the tables are made. sqlite: the file
        self.dir/name.<kind's extension>, reached by -D name. postgres: a
        database in the test cluster (PostGIS unless postgis is False) shared
        by the tests of the class that define the same tables, dropped after
        the class, reached by -D, -s, -u and -p; kind does not apply."""
        if self.engine == "sqlite":
            return ["-D", make_database(self.dir, tables, kind=kind, name=name, sql=sql)]
        database = self.server_database(tables, name, sql, postgis)
        facts = postgres_facts()
        return ["-D", database, "-s", server_uri(facts), "-u", facts["user"], "-p", facts["password"]]

    def server_database(self, tables, name="gis", sql=(), postgis=True):
        """The name of the test cluster's database that holds tables, made
        when the class has none of that definition yet."""
        import testdb_postgres
        tables = list(tables)
        definition = (name, postgis, tuple(sql),
                      testdb_postgres.srs_script(tables) if postgis else "",
                      tuple(testdb_postgres.table_script(t) for t in tables))
        databases = type(self)._server_databases
        if definition not in databases:
            database = "%s_%d_%d" % (name, os.getpid(), next(_database_numbers))
            testdb_postgres.write_postgres(postgres_facts(), database, tables, sql, postgis)
            databases[definition] = database
        return databases[definition]


def sqlite_only(method):
    """Marks a test of an EngineTestCase that is about the files or the
    embedded engine alone: it runs against SQLite only."""
    method.engines = ("sqlite",)
    return method


def server_only(method):
    """Marks a test of an EngineTestCase that holds the embedded engine's
    files up against the server's: it runs against PostgreSQL only."""
    method.engines = ("postgres",)
    return method


_database_numbers = itertools.count(1)
_facts = None


def postgres_facts():
    """The test cluster's connection facts (testdb_postgres.read_connection)."""
    global _facts
    if _facts is None:
        import testdb_postgres
        _facts = testdb_postgres.read_connection()
    return _facts


def server_uri(facts):
    return "postgresql://%s:%s" % (facts["host"], facts["port"])


def terminate_sessions(database):
    """Ends every session on database of the test cluster, as an
    administrator stopping the server under a client would; returns how
    many were ended."""
    import testdb_postgres
    rows = testdb_postgres.query(postgres_facts(), "postgres",
                                 "SELECT pg_terminate_backend(pid) FROM pg_stat_activity"
                                 " WHERE datname = '%s' AND pid <> pg_backend_pid()" % database)
    return len(rows)


# ---------------------------------------------------------------------------
# Databases and file sets

WGS84 = ('GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],'
         'PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]]')


def make_database(directory, tables, kind="gpkg", name="gis", sql=()):
    """Writes tables (testdb.Table objects) into directory/name.<ext>, then
    runs sql there; returns the database name to give spoolmap's -D."""
    import testdb
    extension = {"gpkg": ".gpkg", "spatialite": ".sqlite", "native": ".db"}[kind]
    testdb.write_database(os.path.join(directory, name + extension), kind, tables, sql)
    return name


def init_args(base, table="t", column="geom", database="gis", more=(), source=None):
    """source: the arguments that reach the database (EngineTestCase.source),
    in place of -D database."""
    reach = list(source) if source is not None else ["-D", database]
    return ["-o", "init", "-l", "%s,%s" % (table, column), "-f", base] + reach + list(more)


def append_args(base, table="t", column="geom", database="gis", more=(), source=None):
    reach = list(source) if source is not None else ["-D", database]
    return ["-o", "append", "-l", "%s,%s" % (table, column), "-f", base] + reach + list(more)


def summary(unloaded, rejected):
    """The console lines of a completed run, up to the elapsed time."""
    return "\nUnloaded %d row(s).\n\nRejected %d row(s).\n\nElapsed time " % (unloaded, rejected)


def main_header(data):
    """The values of a 100-byte .shp/.shx main header."""
    import struct
    code, = struct.unpack(">i", data[0:4])
    length, = struct.unpack(">i", data[24:28])
    version, shape_type = struct.unpack("<ii", data[28:36])
    bounds = struct.unpack("<8d", data[36:100])
    return {"file_code": code, "file_length": length, "version": version,
            "shape_type": shape_type, "bounds": bounds, "reserved": data[4:24]}


def index_entries(shx):
    import struct
    return [struct.unpack(">ii", shx[i:i + 8]) for i in range(100, len(shx), 8)]


def records(shp):
    """(record number, content bytes) of every .shp record."""
    import struct
    result = []
    at = 100
    while at < len(shp):
        number, words = struct.unpack(">ii", shp[at:at + 8])
        result.append((number, shp[at + 8:at + 8 + 2 * words]))
        at += 8 + 2 * words
    return result


def signed_area(points):
    """Shoelace area: negative for a clockwise ring."""
    return sum(points[i][0] * points[i + 1][1] - points[i + 1][0] * points[i][1]
               for i in range(len(points) - 1)) / 2.0


def ogr_feature_count(path):
    """The feature count GDAL's ogrinfo reports for a shapefile."""
    import re
    completed = subprocess.run(["ogrinfo", "-ro", "-so", "-al", path], stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=120)
    if completed.returncode != 0:
        raise AssertionError("ogrinfo failed on %s: %s" % (path, completed.stderr.decode()))
    match = re.search(r"Feature Count: (\d+)", completed.stdout.decode())
    if not match:
        raise AssertionError("ogrinfo shows no feature count:\n" + completed.stdout.decode())
    return int(match.group(1))
