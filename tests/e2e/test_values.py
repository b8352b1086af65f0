"""Every reader gets the values back: doubles to the last bit, 64-bit
integers as integers, Z without M as Z without M, a bow-tie polygon as a
polygon and an empty table as a set of its column's type; read back with
pyshp, dbfread and GDAL (ogrinfo, ogr2ogr to CSV and to a GeoPackage), on
both engines."""

import csv
import io
import re
import sqlite3
import subprocess

import dbfread
import shapefile

import harness
from harness import WGS84
from testdb import Column, Table

DOUBLES = [0.1, 1 / 3, 1e-300, 1.7976931348623157e308, -0.0, 1.78861727063048990,
           9223372036854775800.0]
# GDAL writes a Real field of width 24 with "%24.16f" (in a buffer of 80
# bytes) in its text output: these two come out as 0 and cut there, though
# the file holds them exactly (dbfread, pyshp and the GeoPackage get them).
GDAL_TEXT_CANNOT_SHOW = {1e-300, 1.7976931348623157e308}
BIG = [999999999999999999, -99999999999999999, 2 ** 53 + 1, 0, 1, None, -1]
FLOATS = [0.5, 1234.5, -0.25, None, 250000.75, 0.96761, 3.0]
SMALLS = [0.5, 1234.5, -0.25, None, 250000.75, 3.0, -8.0]  # each a float exactly

NUMBERS = Table(
    name="numbers", columns=[Column("d", "DOUBLE"), Column("big", "INTEGER"),
                             Column("sf", "SMALLFLOAT"), Column("num", "DECIMAL")],
    geometry_column="geom", geometry_type="POINT", srid=4326, srtext=WGS84,
    rows=[{"d": d, "big": b, "sf": s, "num": f, "geom": ("Point", (i, i))}
          for i, (d, b, s, f) in enumerate(zip(DOUBLES, BIG, SMALLS, FLOATS))])

TOO_BIG = Table(name="too_big", columns=[Column("big", "INTEGER")], geometry_column="geom",
                geometry_type="POINT", srid=4326, srtext=WGS84,
                rows=[{"big": 5, "geom": ("Point", (0, 0))},
                      {"big": 10 ** 18, "geom": ("Point", (1, 1))}])


def shapes_table(name, geometry_type, dims, geometries):
    return Table(name=name, columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
                 geometry_type=geometry_type, dims=dims, srid=4326, srtext=WGS84,
                 rows=[{"id": i, "geom": g} for i, g in enumerate(geometries)])


BOW_TIE = [(0, 0), (1, 1), (1, 0), (0, 1), (0, 0)]
SHAPES = [
    shapes_table("points_z", "POINT", "XYZ", [("Point", (1, 2, 3)), ("Point", (4, 5, 6))]),
    shapes_table("lines_z", "LINESTRING", "XYZ", [("LineString", [(0, 0, 1), (3, 4, 2)])]),
    shapes_table("points_zm", "POINT", "XYZM", [("Point", (1, 2, 3, 4))]),
    shapes_table("lines_zm", "LINESTRING", "XYZM",
                 [("LineString", [(0, 0, 1, 0), (3, 4, 2, 3)])]),
    shapes_table("bow_ties", "POLYGON", "XY", [("Polygon", [BOW_TIE])]),
    shapes_table("empty_polygons", "MULTIPOLYGON", "XY", []),
    shapes_table("anything", "GEOMETRY", "XY", []),
]


def run_tool(args):
    completed = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               timeout=120)
    return completed.returncode, completed.stdout.decode(), completed.stderr.decode()


class Values(harness.EngineTestCase):
    def unload(self, table, base="out", more=()):
        source = self.source([NUMBERS, TOO_BIG] + SHAPES)
        return harness.run(harness.init_args(base, table=table, source=source, more=more),
                           cwd=self.dir)

    def test_numbers_come_back_exactly_in_every_reader(self):
        result = self.unload("numbers")
        self.assertEqual(result.status, 0, result)
        dbf = dbfread.DBF(self.path("out.dbf"))
        self.assertEqual([(f.name, f.type, f.length, f.decimal_count) for f in dbf.fields],
                         [("D", "F", 24, 16), ("BIG", "N", 18, 0), ("SF", "F", 24, 16),
                          ("NUM", "F", 24, 16)])
        stored = list(zip(DOUBLES, BIG, SMALLS, FLOATS))
        self.assertEqual([(r["D"], r["BIG"], r["SF"], r["NUM"]) for r in dbf], stored)
        pyshp = shapefile.Reader(self.path("out"))
        self.assertEqual([tuple(r) for r in pyshp.records()], stored)
        self.assertEqual([type(r[1]) for r in pyshp.records() if r[1] is not None],
                         [int] * 6)

        # GDAL: 64-bit integers as Integer64, reals with their fraction.
        status, info, errors = run_tool(["ogrinfo", "-ro", "-al", self.path("out.shp")])
        self.assertEqual((status, errors), (0, ""))
        self.assertIn("BIG: Integer64 (18.0)", info)
        self.assertIn("D: Real (24.16)", info)
        shown = re.findall(r"^  D \(Real\) = (.*)$", info, re.M)
        self.assert_gdal_text(shown, DOUBLES)
        self.assertEqual(re.findall(r"^  BIG \(Integer64\) = (.*)$", info, re.M),
                         [str(b) if b is not None else "(null)" for b in BIG])
        status, _, errors = run_tool(["ogr2ogr", "-f", "CSV", self.path("out.csv"),
                                      self.path("out.shp")])
        self.assertEqual((status, errors), (0, ""))
        with open(self.path("out.csv"), encoding="utf-8") as f:
            rows = list(csv.DictReader(f))
        self.assert_gdal_text([row["D"] for row in rows], DOUBLES)
        self.assertEqual([row["BIG"] for row in rows],
                         [str(b) if b is not None else "" for b in BIG])
        self.assertEqual([row["NUM"] and float(row["NUM"]) for row in rows],
                         [f if f is not None else "" for f in FLOATS])

        # A GeoPackage keeps every field, the 64-bit integers as INTEGER.
        status, _, errors = run_tool(["ogr2ogr", "-f", "GPKG", self.path("copy.gpkg"),
                                      self.path("out.shp")])
        self.assertEqual((status, errors), (0, ""))
        with sqlite3.connect(self.path("copy.gpkg")) as con:
            columns = [(c[1], c[2]) for c in con.execute("PRAGMA table_info(out)")]
            copied = con.execute("SELECT d, big, sf, num FROM out ORDER BY fid").fetchall()
        self.assertEqual([c for c in columns if c[0] in ("D", "BIG", "SF", "NUM")],
                         [("D", "REAL"), ("BIG", "INTEGER"), ("SF", "REAL"), ("NUM", "REAL")])
        self.assertEqual(copied, stored)

    def assert_gdal_text(self, texts, values):
        self.assertEqual(len(texts), len(values))
        for text, value in zip(texts, values):
            if value not in GDAL_TEXT_CANNOT_SHOW:
                self.assertEqual(float(text), value, text)

    def test_a_64_bit_value_wider_than_its_field_ends_the_run_and_keeps_the_set(self):
        self.assertEqual(self.unload("numbers").status, 0)
        before = {e: self.read_bytes("out." + e) for e in ("shp", "shx", "dbf", "prj", "cpg")}
        result = self.unload("too_big")
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\nRecord 2: the value 1000000000000000000 of column 'big' "
                                     "does not fit field 'BIG' of 18 characters.\n")
        self.assertEqual({e: self.read_bytes("out." + e) for e in before}, before)

    def read_shapes(self, table):
        result = self.unload(table, base=table)
        self.assertEqual(result.status, 0, result)
        status, info, errors = run_tool(["ogrinfo", "-ro", "-al", self.path(table + ".shp")])
        self.assertEqual((status, errors), (0, ""))
        geometry = re.search(r"^Geometry: (.*)$", info, re.M).group(1)
        return shapefile.Reader(self.path(table)), geometry, info

    def test_z_without_m_is_read_without_measures_and_zm_keeps_them(self):
        for table, shape_type, geometry, m in (
                ("points_z", 11, "3D Point", [None]),
                ("lines_z", 13, "3D Line String", [None, None]),
                ("points_zm", 11, "3D Measured Point", [4.0]),
                ("lines_zm", 13, "3D Measured Line String", [0.0, 3.0])):
            with self.subTest(table=table):
                pyshp, read_geometry, _ = self.read_shapes(table)
                self.assertEqual(pyshp.shapeType, shape_type)
                self.assertEqual(read_geometry, geometry)
                self.assertEqual(pyshp.shape(0).m, m)
                measured = [v for v in m if v is not None]
                self.assertEqual(pyshp.mbox, [min(measured), max(measured)] if measured
                                 else [None, None])

    def test_a_bow_tie_polygon_is_kept(self):
        pyshp, geometry, info = self.read_shapes("bow_ties")
        self.assertEqual((pyshp.shapeType, geometry), (5, "Polygon"))
        shape = pyshp.shape(0)
        self.assertEqual(shape.shapeType, 5)
        self.assertEqual(sorted(map(tuple, shape.points[:-1])), sorted(BOW_TIE[:-1]))
        self.assertIn("POLYGON ((0 0,0 1,1 0,1 1,0 0))", info)

    def test_a_set_without_rows_takes_its_columns_declared_type(self):
        for table, more, shape_type, geometry in (
                ("empty_polygons", (), 5, "Polygon"),
                ("points_z", ("-w", "id < 0"), 11, "3D Measured Point"),
                ("anything", (), 0, "Unknown (any)")):
            with self.subTest(table=table):
                result = self.unload(table, base=table, more=more)
                self.assertEqual(result.status, 0, result)
                for extension in ("shp", "shx"):
                    header = harness.main_header(self.read_bytes(table + "." + extension))
                    self.assertEqual(header["shape_type"], shape_type)
                status, info, _ = run_tool(["ogrinfo", "-ro", "-so", "-al",
                                            self.path(table + ".shp")])
                self.assertEqual(status, 0)
                self.assertIn("Geometry: %s\n" % geometry, info)


if __name__ == "__main__":
    harness.main()
