"""init runs end to end: a GeoPackage built by the test, unloaded by the real
binary, checked byte for byte where the format fixes the bytes and read back
by independent readers (pyshp, dbfread, GDAL's ogrinfo)."""

import os
import struct
import time

import harness
from harness import WGS84, main_header, index_entries, records, signed_area, summary
from testdb import Column, Table

import dbfread
import shapefile


def point(x, y):
    return struct.pack("<i2d", 1, x, y)


class PointsInit(harness.EngineTestCase):
    def setUp(self):
        super().setUp()
        table = Table(name="places", columns=[Column("name", "TEXT"), Column("n", "MEDIUMINT")],
                      geometry_column="geom", geometry_type="POINT", dims="XY", srid=4326,
                      srtext=WGS84,
                      rows=[{"name": "a", "n": 1, "geom": ("Point", (3, 4))},
                            {"name": "b", "n": 2, "geom": ("Point", (1, 2))},
                            {"name": None, "n": None, "geom": None},
                            {"name": "\u00fcber", "n": -5, "geom": ("Point", (5, -6))}])
        self.reach = self.source([table])
        self.result = harness.run(harness.init_args("out.shp", table="places", source=self.reach),
                                  cwd=self.dir)
        self.assertEqual(self.result.status, 0, self.result)

    def test_console_summary(self):
        self.assertEqual(self.result.err, "")
        self.assertTrue(self.result.out.startswith(summary(4, 0)), self.result)
        self.assertRegex(self.result.out, r"Elapsed time \d+:\d\d:\d\d\.\d\n$")

    def test_shp_and_shx_bytes(self):
        shp = self.read_bytes("out.shp")
        shx = self.read_bytes("out.shx")
        bounds = (1.0, -6.0, 5.0, 4.0, 0.0, 0.0, 0.0, 0.0)
        expected_records = (struct.pack(">ii", 1, 10) + point(3, 4) +
                            struct.pack(">ii", 2, 10) + point(1, 2) +
                            struct.pack(">ii", 3, 2) + b"\0\0\0\0" +
                            struct.pack(">ii", 4, 10) + point(5, -6))
        header = struct.pack(">i20x", 9994)
        self.assertEqual(shp, header + struct.pack(">i", 98) + struct.pack("<ii8d", 1000, 1, *bounds)
                         + expected_records)
        self.assertEqual(shx, header + struct.pack(">i", 66) + struct.pack("<ii8d", 1000, 1, *bounds)
                         + struct.pack(">8i", 50, 10, 64, 10, 78, 2, 84, 10))

    def test_dbf_bytes_and_reader(self):
        dbf = self.read_bytes("out.dbf")
        today = time.localtime()
        self.assertEqual(dbf[0:4], bytes([3, today.tm_year - 1900, today.tm_mon, today.tm_mday]))
        self.assertEqual(struct.unpack("<ihh", dbf[4:12]), (4, 97, 266))
        self.assertEqual(dbf[12:32], bytes(20))
        self.assertEqual(dbf[32:64], b"NAME" + bytes(7) + b"C" + bytes(4) + bytes([254, 0])
                         + bytes(14))
        self.assertEqual(dbf[64:96], b"N" + bytes(10) + b"N" + bytes(4) + bytes([11, 0]) + bytes(14))
        self.assertEqual(dbf[96:97], b"\r")
        body = dbf[97:]
        self.assertEqual(len(body), 4 * 266 + 1)
        self.assertEqual(body[0:266], b" " + b"a".ljust(254) + b"1".rjust(11))
        self.assertEqual(body[532:798], b" " * 266)
        self.assertEqual(body[798:1064],
                         b" " + "\u00fcber".encode().ljust(254) + b"-5".rjust(11))
        self.assertEqual(body[-1:], b"\x1a")
        table = dbfread.DBF(self.path("out.dbf"), encoding="utf-8")
        self.assertEqual(table.field_names, ["NAME", "N"])
        rows = [(r["NAME"], r["N"]) for r in table]
        self.assertEqual(rows, [("a", 1), ("b", 2), ("", None), ("\u00fcber", -5)])

    def test_prj_holds_the_text_exactly(self):
        self.assertEqual(self.read_bytes("out.prj"), WGS84.encode())

    def test_independent_readers(self):
        reader = shapefile.Reader(self.path("out"))
        self.assertEqual(reader.shapeType, 1)
        self.assertEqual(list(reader.bbox), [1, -6, 5, 4])
        shapes = reader.shapes()
        self.assertEqual([[tuple(p) for p in s.points] for s in shapes],
                         [[(3, 4)], [(1, 2)], [], [(5, -6)]])
        self.assertEqual(shapes[2].shapeType, 0)
        reader.close()
        self.assertEqual(harness.ogr_feature_count(self.path("out.shp")), 4)

    def test_same_files_without_the_shp_suffix(self):
        before = {n: self.read_bytes("out." + n) for n in ("shp", "shx", "prj")}
        result = harness.run(harness.init_args("out", table="places", source=self.reach),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        for name, data in before.items():
            self.assertEqual(self.read_bytes("out." + name), data, name)


class GeometryKinds(harness.EngineTestCase):
    def unload(self, geometry_type, dims, geometries, base="out"):
        table = Table(name="t", columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
                      geometry_type=geometry_type, dims=dims, srid=4326, srtext=WGS84,
                      rows=[{"id": i, "geom": g} for i, g in enumerate(geometries)])
        result = harness.run(harness.init_args(base, source=self.source([table])), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        return shapefile.Reader(self.path(base))

    def test_polygons_with_holes_come_out_clockwise(self):
        outer_ccw = [(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)]
        hole_cw = [(2, 2), (2, 4), (4, 4), (4, 2), (2, 2)]
        second = [(20, 20), (20, 30), (30, 30), (30, 20), (20, 20)]
        # A column of any geometry: PostGIS keeps a Polygon out of a
        # MultiPolygon column.
        reader = self.unload("GEOMETRY", "XY", [
            ("Polygon", [outer_ccw, hole_cw]),
            ("MultiPolygon", [[outer_ccw], [second]])])
        self.assertEqual(reader.shapeType, 5)
        first, multi = reader.shapes()
        self.assertEqual(list(first.parts), [0, 5])
        outer = first.points[0:5]
        hole = first.points[5:10]
        self.assertLess(signed_area(outer), 0)
        self.assertGreater(signed_area(hole), 0)
        self.assertEqual(sorted(map(tuple, outer)), sorted(outer_ccw))
        self.assertEqual(list(multi.parts), [0, 5])
        self.assertLess(signed_area(multi.points[0:5]), 0)
        self.assertLess(signed_area(multi.points[5:10]), 0)
        self.assertEqual(list(reader.bbox), [0, 0, 30, 30])
        self.assertEqual(harness.ogr_feature_count(self.path("out.shp")), 2)

    def test_lines_with_two_parts(self):
        reader = self.unload("MULTILINESTRING", "XY", [
            ("MultiLineString", [[(0, 0), (1, 1)], [(2, 2), (3, 3), (4, 4)]])])
        shape, = reader.shapes()
        self.assertEqual(reader.shapeType, 3)
        self.assertEqual(list(shape.parts), [0, 2])
        self.assertEqual([tuple(p) for p in shape.points], [(0, 0), (1, 1), (2, 2), (3, 3), (4, 4)])

    def test_points_with_z_and_lines_with_m(self):
        self.unload("POINT", "XYZ", [("Point", (1, 2, 3)), ("Point", (4, 5, 6))], base="z")
        shp = self.read_bytes("z.shp")
        # No measures: the M of a PointZ and the set's M range say "no data".
        self.assertEqual(records(shp)[0], (1, struct.pack("<i4d", 11, 1, 2, 3, -1e39)))
        header = main_header(shp)
        self.assertEqual(header["shape_type"], 11)
        self.assertEqual(header["bounds"], (1, 2, 4, 5, 3, 6, -1e39, -1e39))

        reader = self.unload("LINESTRING", "XYM", [("LineString", [(0, 0, 7), (1, 1, 9)])],
                             base="m")
        self.assertEqual(reader.shapeType, 23)
        self.assertEqual(list(reader.shapes()[0].m), [7, 9])
        self.assertEqual(main_header(self.read_bytes("m.shp"))["bounds"][6:], (7, 9))

    def test_null_and_empty_first_rows_fix_nothing(self):
        reader = self.unload("GEOMETRY", "XY", [None, ("Point", None), ("LineString", [(1, 1), (2, 3)])])
        self.assertEqual(reader.shapeType, 3)
        self.assertEqual([s.shapeType for s in reader.shapes()], [0, 0, 3])
        # The first non-null shape sets the extent: it does not cover the origin.
        self.assertEqual(main_header(self.read_bytes("out.shp"))["bounds"][:4], (1, 1, 2, 3))
        self.assertEqual(main_header(self.read_bytes("out.shx"))["bounds"][:4], (1, 1, 2, 3))


class RunRules(harness.EngineTestCase):
    def make(self, rows, geometry_type="GEOMETRY", srtext=WGS84):
        table = Table(name="t", columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
                      geometry_type=geometry_type, dims="XY", srid=4326 if srtext else 0,
                      srtext=srtext, rows=rows)
        self.reach = self.source([table])

    def init_args(self, base, more=()):
        return harness.init_args(base, more=more, source=self.reach)

    def test_a_row_of_another_shape_type_is_rejected(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))},
                   {"id": 2, "geom": ("LineString", [(0, 0), (1, 1)])},
                   {"id": 3, "geom": ("Point", (2, 2))}])
        result = harness.run(self.init_args("out"), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith("\nRejecting row with shape type 3.\n" +
                                              summary(2, 1)), result)
        self.assertEqual([n for n, _ in records(self.read_bytes("out.shp"))], [1, 2])
        self.assertEqual([r["ID"] for r in dbfread.DBF(self.path("out.dbf"))], [1, 3])

    def test_requested_shape_type_rejects_the_others(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))}])
        result = harness.run(self.init_args("out", more=["-t", "3"]), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertIn("Rejecting row with shape type 1.", result.out)
        shp = self.read_bytes("out.shp")
        self.assertEqual(len(shp), 100)
        self.assertEqual(main_header(shp)["shape_type"], 3)

    def test_an_empty_result(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))}])
        result = harness.run(self.init_args("out", more=["-w", "1 = 0"]), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(summary(0, 0)), result)
        for name in ("out.shp", "out.shx"):
            data = self.read_bytes(name)
            self.assertEqual(data, struct.pack(">i20xi", 9994, 50) + struct.pack("<ii8d", 1000, 0,
                                                                                *[0.0] * 8))
        dbf = self.read_bytes("out.dbf")
        self.assertEqual(len(dbf), 65 + 1)
        self.assertEqual(struct.unpack("<ihh", dbf[4:12]), (0, 65, 12))
        self.assertEqual(dbf[64:], b"\r\x1a")

    def test_progress_lines_every_thousand_rows(self):
        self.make([{"id": i, "geom": ("Point", (i, i))} for i in range(2500)])
        result = harness.run(self.init_args("out"), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith("\nUnloaded row 1000.\n\nUnloaded row 2000.\n" +
                                              summary(2500, 0)), result)
        self.assertEqual(harness.ogr_feature_count(self.path("out.shp")), 2500)

    def test_unknown_coordinate_system_removes_a_stale_prj(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))}], srtext=None)
        with open(self.path("out.prj"), "w") as f:
            f.write(WGS84)
        result = harness.run(self.init_args("out"), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertFalse(os.path.exists(self.path("out.prj")))

    def test_log_file_names_and_entries(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))}])
        os.mkdir(self.path("logs"))
        os.mkdir(self.path("data"))
        result = harness.run(self.init_args("data/out", more=["-log", "logs"]), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        with open(self.path("logs", "out.log")) as f:
            log = f.read()
        self.assertTrue(log.startswith("\n"))
        entries = log[1:].split("\n\n")
        self.assertRegex(entries[0], r"^\d\d:\d\d:\d\d  Spatial Kestrum Module spoolmap utility, "
                                     r"version \S+$")
        self.assertIn("Information from command line ...", log)
        self.assertIn("      -log logs", log)
        self.assertIn("Retrieving spatial reference for geometry column ...", log)
        # The server names the schema it found the table in.
        table = '"public"."t"' if self.engine == "postgres" else '"t"'
        self.assertIn("SELECT statement ...\n\nSELECT\n\t\"id\",\n\tGX_AsShape(\"geom\")\nFROM\t%s\n"
                      % table, log)
        self.assertIn("Unloaded 1 row(s).", log)
        for name in ("data/out.dbf", "data/out.shp", "data/out.shx"):
            self.assertIn("Header info from %s ...\n\n" % name, log)
        self.assertIn("Bounding box xmax          = 1.000000", log)

        result = harness.run(self.init_args("data/out", more=["-log"]), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(os.path.exists(self.path("data", "out.log")))

    def test_a_bad_condition_is_an_sql_error(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))}])
        result = harness.run(self.init_args("out", more=["-w", "no_such_column >", "-log"]),
                             cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertTrue(result.err.startswith("\nEXEC SQL error ...\n\n"), result)
        with open(self.path("out.log")) as f:
            self.assertIn("EXEC SQL error ...", f.read())

    @harness.sqlite_only
    def test_a_failed_log_write_names_the_file(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))}])
        os.symlink("/dev/full", self.path("out.log"))
        result = harness.run(self.init_args("out", more=["-log"]), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        # The log is checked before the set is put in place: nothing of it is.
        self.assertEqual(result.err, "\nWrite failed for file out.log: No space left on device.\n")
        self.assertFalse(os.path.exists(self.path("out.shp")))

    @harness.sqlite_only
    def test_the_database_is_never_an_output(self):
        self.make([{"id": 1, "geom": ("Point", (1, 1))}])
        before = self.read_bytes("gis.gpkg")
        os.symlink("gis.gpkg", self.path("out.dbf"))
        result = harness.run(self.init_args("out"), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertIn("is the database", result.err)
        self.assertEqual(self.read_bytes("gis.gpkg"), before)


if __name__ == "__main__":
    harness.main()
