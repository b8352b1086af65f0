"""The test-database builder's PostgreSQL side against the test cluster: the
types the declared types map to, geometries PostGIS reads back as the
builder's own WKB, the catalog PostGIS keeps, and the helper databases."""

import json
import os
import subprocess
import unittest

import harness
import testdb
import testdb_postgres as pg
from testdb import Column, Table

DECLARED = [("CHAR(3)", "character(3)"), ("CHAR", "character(1)"), ("TEXT(12)", "character varying(12)"),
            ("CHARACTER VARYING(5)", "character varying(5)"), ("VARCHAR", "character varying"),
            ("TEXT", "text"), ("", "text"), ("SMALLINT", "smallint"), ("TINYINT", "smallint"),
            ("MEDIUMINT", "integer"), ("INT4", "integer"), ("SERIAL", "integer"),
            ("INTEGER", "bigint"), ("int8", "bigint"), ("DOUBLE", "double precision"),
            ("REAL", "double precision"), ("SMALLFLOAT", "real"), ("DECIMAL(10,2)", "numeric(10,2)"),
            ("NUMERIC", "numeric"), ("MONEY(19,2)", "money"), ("DATE", "date"),
            ("BOOL", "boolean"), ("DATETIME", "timestamp without time zone"), ("BLOB", "bytea")]
REFUSED = ["DECIMAL(8)", "MONEY", "MONEY(10,2)", "WEIRDTYPE", "TEXT(", "POINT(3)"]

GEOMETRIES = [
    ("XY", ("Point", (1.5, -2))), ("XY", ("Point", None)), ("XYZ", ("Point", (1, 2, 3))),
    ("XYM", ("LineString", [(0, 0, 5), (1, 1, 6)])), ("XYZM", ("LineString", [])),
    ("XY", ("Polygon", [[(0, 0), (0, 4), (4, 4), (0, 0)], [(1, 1), (2, 1), (1, 2), (1, 1)]])),
    ("XYZ", ("MultiPoint", [(0, 0, 1), (5, 5, 2)])),
    ("XYM", ("MultiLineString", [[(0, 0, 1), (1, 1, 2)], []])),
    ("XYZM", ("MultiPolygon", [[[(0, 0, 1, 2), (0, 1, 1, 2), (1, 1, 1, 2), (0, 0, 1, 2)]]])),
    ("XY", ("GeometryCollection", [("Point", (1, 2)), ("LineString", [(0, 0), (1, 1)])])),
]


def facts():
    return harness.postgres_facts()


class Builder(harness.ScratchTestCase):
    def setUp(self):
        super().setUp()
        self.database = "builder_%d" % os.getpid()
        self.addCleanup(pg.drop_database, facts(), self.database)

    def query(self, sql, database=None):
        return pg.query(facts(), database or self.database, sql)

    def test_declared_types_and_refusals(self):
        # Through the JSON command line, as the library's own tests call it.
        columns = [["c%d" % i, decl] for i, (decl, _) in enumerate(DECLARED)]
        columns.append(["extra", "WEIRDTYPE", "interval"])
        with open(self.path("t.json"), "w") as f:
            json.dump({"tables": [{"name": "types", "columns": columns}]}, f)
        subprocess.run(["/usr/bin/python3", os.path.join(harness.TOOLS, "testdb.py"), "build",
                        self.path("t.json"), self.database, "postgres"], check=True)
        found = dict(self.query("SELECT attname, format_type(atttypid, atttypmod) FROM pg_attribute"
                                " WHERE attrelid = 'types'::regclass AND attnum > 0"))
        expected = {"c%d" % i: pg_type for i, (_, pg_type) in enumerate(DECLARED)}
        expected["extra"] = "interval"
        self.assertEqual(found, expected)
        for decl in REFUSED:
            with self.subTest(decl=decl), self.assertRaises(ValueError):
                pg.postgres_type(decl)

    def test_geometries_read_back_as_the_builders_wkb(self):
        tables = [Table(name="g%d" % i, columns=[], geometry_column="geom",
                        geometry_type="GEOMETRY" if i % 2 else geometry[0].upper(), dims=dims,
                        srid=4326 if i % 3 else 0, srtext=testdb.WGS84_SRTEXT if i % 3 else None,
                        byte_order="big" if i % 4 == 1 else "little",
                        rows=[{"geom": geometry}, {"geom": None}])
                  for i, (dims, geometry) in enumerate(GEOMETRIES)]
        pg.write_postgres(facts(), self.database, tables)
        for i, (dims, geometry) in enumerate(GEOMETRIES):
            with self.subTest(geometry=geometry, dims=dims):
                rows = self.query("SELECT encode(ST_AsBinary(geom), 'hex') FROM g%d ORDER BY geom"
                                  " IS NULL" % i)
                self.assertEqual(rows, [(testdb.encode_wkb(geometry, dims).hex(),), ("",)])
                registered = self.query("SELECT type, coord_dimension, srid FROM geometry_columns"
                                        " WHERE f_table_name = 'g%d'" % i)
                self.assertEqual(registered, [(tables[i].geometry_type + "M" * (dims == "XYM"),
                                               str(len(dims)), str(tables[i].srid))])

    def test_values_fids_references_and_schemas(self):
        text = "tab\there, back\\slash\nline ü"
        places = Table(name="places", columns=[Column("name", "TEXT"), Column("n", "MEDIUMINT"),
                                               Column("ok", "BOOLEAN"), Column("x", "DOUBLE")],
                       geometry_column="geom", geometry_type="POINT", srid=900914, srtext="LOCAL_CS[\"a'b\"]",
                       fid_column="fid",
                       rows=[{"name": text, "n": 3.0, "ok": True, "x": float("nan"), "geom": ("Point", (1, 2))},
                             {"fid": 7, "name": None, "ok": False, "geom": None},
                             {"name": "after", "geom": ("Point", (3, 4))}])
        hidden = Table(name="hidden", columns=[Column("v", "SMALLINT")], schema="elsewhere",
                       geometry_column="geom", geometry_type="POINT", srid=4326, srtext=harness.WGS84,
                       rows=[{"v": 1, "geom": ("Point", (0, 0))}])
        unregistered = Table(name="raw", columns=[], geometry_column="shape", register=False,
                             encoding="ewkb", rows=[{"shape": ("Point", (1, 2))}])
        pg.write_postgres(facts(), self.database, [places, hidden, unregistered],
                          sql=["CREATE VIEW named AS SELECT name FROM places WHERE name IS NOT NULL;"])
        self.assertEqual(self.query("SELECT fid, encode(convert_to(name, 'UTF8'), 'hex'), n, ok, x"
                                    " FROM places ORDER BY fid"),
                         [("1", text.encode().hex(), "3", "t", "NaN"), ("7", "", "", "f", ""),
                          ("8", "after".encode().hex(), "", "", "")])
        self.assertEqual(self.query("SELECT srid, srtext FROM spatial_ref_sys WHERE srid IN (4326, 900914)"),
                         [("4326", harness.WGS84), ("900914", "LOCAL_CS[\"a'b\"]")])
        # The second schema is outside the search path: the table is there,
        # but not under its bare name.
        self.assertEqual(self.query("SELECT to_regclass('hidden') IS NULL, count(*) FROM elsewhere.hidden"),
                         [("t", "1")])
        self.assertEqual(self.query("SELECT f_table_name FROM geometry_columns ORDER BY 1"),
                         [("hidden",), ("places",)])
        self.assertEqual(self.query("SELECT encode(shape, 'hex') FROM raw"),
                         [(testdb.encode_ewkb(("Point", (1, 2)), srid=0).hex(),)])
        owners = self.query("SELECT DISTINCT tableowner FROM pg_tables WHERE schemaname IN"
                            " ('public', 'elsewhere') AND tablename <> 'spatial_ref_sys'")
        self.assertEqual(owners, [(facts()["user"],)])

    def test_helper_databases(self):
        self.assertEqual(self.query("SELECT count(*) FROM pg_extension WHERE extname = 'postgis'",
                                    facts()["nopostgis_dbname"]), [("0",)])
        self.assertEqual(self.query("SELECT count(*) FROM pg_extension WHERE extname = 'postgis'",
                                    facts()["dbname"]), [("1",)])
        with self.assertRaises(ValueError):
            pg.write_postgres(facts(), self.database, [Table(name="t", columns=[], geometry_column="g")],
                              postgis=False)
        # A load that fails in PostgreSQL names the database and leaves no table.
        with self.assertRaisesRegex(RuntimeError, "psql on database %s failed: .*invalid input" % self.database):
            pg.write_postgres(facts(), self.database, [Table(name="t", columns=[Column("n", "SMALLINT")],
                                                             rows=[{"n": "many"}])])
        self.assertEqual(self.query("SELECT to_regclass('t') IS NULL"), [("t",)])


if __name__ == "__main__":
    harness.main()
