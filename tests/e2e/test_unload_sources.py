"""One table kept in every kind of SQLite database spoolmap reads gives one
file set; a GeoPackage written by GDAL itself unloads too; server tracing
writes the session's statements, whichever engine runs them."""

import json
import os
import subprocess

import harness
from harness import WGS84, signed_area
from testdb import Column, Table

import dbfread
import shapefile

ROWS = [
    {"name": "outer ccw", "lanes": 2, "geom": ("MultiPolygon", [[
        [(0, 0), (4, 0), (4, 4), (0, 4), (0, 0)],
        [(1, 1), (1, 2), (2, 2), (2, 1), (1, 1)]]])},
    {"name": None, "lanes": None, "geom": None},
    {"name": "two", "lanes": 3, "geom": ("MultiPolygon", [
        [[(10, 10), (11, 10), (11, 11), (10, 10)]],
        [[(20, 20), (20, 21), (21, 21), (20, 20)]]])},
]


def table(**options):
    return Table(name="parcels", columns=[Column("name", "TEXT(12)"), Column("lanes", "SMALLINT")],
                 geometry_column="geom", geometry_type="MULTIPOLYGON", srid=4326, srtext=WGS84,
                 rows=ROWS, **options)


class Sources(harness.EngineTestCase):
    def unload(self, kind, base, **options):
        name = harness.make_database(self.dir, [table(**options)], kind=kind, name=base + "db")
        result = harness.run(harness.init_args(base, table="parcels", database=name), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        return {ext: self.read_bytes(base + "." + ext) for ext in ("shp", "shx", "dbf", "prj")}

    @harness.sqlite_only
    def test_every_database_kind_gives_the_same_file_set(self):
        reference = self.unload("gpkg", "gpkg")
        variants = {
            "spatialite": self.unload("spatialite", "splite"),
            "spatialite compressed": self.unload("spatialite", "splitez", compressed=True),
            "native big-endian EWKB": self.unload("native", "native", encoding="ewkb",
                                                  byte_order="big"),
            "big-endian GeoPackage": self.unload("gpkg", "gpkgbe", byte_order="big",
                                                 gpkg_envelope="xy"),
        }
        for what, files in variants.items():
            with self.subTest(source=what):
                self.assertEqual(files, reference)
        reader = shapefile.Reader(self.path("gpkg"))
        first = reader.shape(0)
        self.assertLess(signed_area(first.points[0:5]), 0)
        self.assertGreater(signed_area(first.points[5:10]), 0)
        self.assertEqual(harness.ogr_feature_count(self.path("gpkg.shp")), 3)

    @harness.sqlite_only
    def test_a_geopackage_written_by_gdal(self):
        features = [{"type": "Feature", "properties": {"label": "a", "count": 7},
                     "geometry": {"type": "LineString", "coordinates": [[1, 2], [3, 4], [5, 1]]}},
                    {"type": "Feature", "properties": {"label": "b", "count": -1},
                     "geometry": {"type": "LineString", "coordinates": [[0, 0], [-1, -1]]}}]
        with open(self.path("in.geojson"), "w") as f:
            json.dump({"type": "FeatureCollection", "features": features}, f)
        subprocess.run(["ogr2ogr", "-f", "GPKG", self.path("gdal.gpkg"), self.path("in.geojson"),
                        "-nln", "ways", "-lco", "GEOMETRY_NAME=shape"], check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        result = harness.run(harness.init_args("ways", table="ways", column="shape",
                                               database="gdal"), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        reader = shapefile.Reader(self.path("ways"))
        self.assertEqual(reader.shapeType, 3)
        self.assertEqual([[tuple(p) for p in s.points] for s in reader.shapes()],
                         [[(1, 2), (3, 4), (5, 1)], [(0, 0), (-1, -1)]])
        records = [(r["LABEL"], r["COUNT"]) for r in dbfread.DBF(self.path("ways.dbf"))]
        self.assertEqual(records, [("a", 7), ("b", -1)])

    def test_tracing_writes_the_sessions_statements(self):
        source = self.source([table()])
        result = harness.run(harness.init_args("out", table="parcels", source=source,
                                               more=["-trc", "trace.txt,2", "-log"]),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(
            "\nKestrum tracing enabled: file trace.txt, level 2\n"), result)
        with open(self.path("trace.txt")) as f:
            trace = f.read()
        self.assertIn("gc.f_table_name = 'parcels'", trace)
        self.assertIn("GX_AsShape(\"geom\")", trace)
        with open(self.path("out.log")) as f:
            self.assertIn("Kestrum tracing enabled: file trace.txt, level 2", f.read())

        result = harness.run(harness.init_args("out", table="parcels", more=["-trc", "t.txt,12"],
                                               source=source), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\nCall to GX_Trace returned unexpected result\n")


if __name__ == "__main__":
    harness.main()
