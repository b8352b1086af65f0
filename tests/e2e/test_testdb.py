"""The test-database builder writes what real readers read: SpatiaLite blobs
byte for byte as SpatiaLite itself writes them, GeoPackages that GDAL opens."""

import os
import shutil
import sqlite3
import subprocess

import harness
import testdb
from testdb import Column, Table, write_database

# Written by SpatiaLite 5 (CompressGeometry(GeomFromText(..., 4326)) and
# GeomFromText), kept here as the reference for the builder's encoder.
SPATIALITE_LINE_COMPRESSED = (
    "0001E610000000000000000000000000000000000000000000000000084000000000000014407C42420F0004"
    "000000000000000000000000000000000000000000803F0000803F0000803F0000804000000000000008400000"
    "000000000840FE")
SPATIALITE_POLYGONZ_COMPRESSED = (
    "0001E610000000000000000000000000000000000000000000000000F03F000000000000F03F7C2B460F000100"
    "00000400000000000000000000000000000000000000000000000000F03F0000803F000000000000803F000000"
    "000000803F0000803F00000000000000000000000000000000000000000000F03FFE")
SPATIALITE_LINEM_COMPRESSED = (
    "0001E610000000000000000000000000000000000000000000000000084000000000000014407C124A0F000400"
    "0000000000000000000000000000000000000000000000001C400000803F0000803F00000000000020400000803F"
    "000080400000000000002240000000000000084000000000000008400000000000002440FE")
SPATIALITE_MULTIPOINT = (
    "0001E610000000000000000000000000000000000000000000000000F03F000000000000F03F7C040000000200"
    "00006901000000000000000000000000000000000000006901000000000000000000F03F000000000000F03FFE")


class SpatiaLiteBlobs(harness.ScratchTestCase):
    def test_blobs_match_spatialite(self):
        cases = [
            (("LineString", [(0, 0), (1, 1), (2, 5), (3, 3)]), "XY", True, SPATIALITE_LINE_COMPRESSED),
            (("Polygon", [[(0, 0, 1), (1, 0, 2), (1, 1, 3), (0, 0, 1)]]), "XYZ", True,
             SPATIALITE_POLYGONZ_COMPRESSED),
            (("LineString", [(0, 0, 7), (1, 1, 8), (2, 5, 9), (3, 3, 10)]), "XYM", True,
             SPATIALITE_LINEM_COMPRESSED),
            (("MultiPoint", [(0, 0), (1, 1)]), "XY", False, SPATIALITE_MULTIPOINT),
        ]
        for geometry, dims, compressed, expected in cases:
            blob = testdb.encode_spatialite(geometry, dims, 4326, compressed=compressed)
            self.assertEqual(blob.hex().upper(), expected, geometry)


class GeoPackageForGdal(harness.ScratchTestCase):
    def test_gdal_reads_rows_and_geometries(self):
        if shutil.which("ogrinfo") is None:
            self.skipTest("ogrinfo is not installed")
        path = self.path("t.gpkg")
        write_database(path, "gpkg", [Table(
            name="roads", columns=[Column("name", "TEXT"), Column("lanes", "MEDIUMINT")],
            geometry_column="geom", geometry_type="LINESTRING", dims="XYZ", srid=4326,
            srtext=testdb.WGS84_SRTEXT, fid_column="fid",
            rows=[{"name": "Ä", "lanes": 2, "geom": ("LineString", [(0, 0, 1), (1, 2, 3)])},
                  {"name": None, "lanes": None, "geom": None},
                  {"name": "big", "lanes": 1, "geom": ("LineString", [(5, 6, 7), (8, 9, 10)]),
                   }])])
        text = subprocess.run(["ogrinfo", "-al", "-q", path], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT).stdout.decode("utf-8")
        self.assertNotIn("Warning", text)
        self.assertIn("name (String) = Ä", text)
        self.assertIn("LINESTRING Z (0 0 1,1 2 3)", text)
        self.assertIn("LINESTRING Z (5 6 7,8 9 10)", text)

    def test_big_endian_envelopes_and_empties_are_valid(self):
        if shutil.which("ogrinfo") is None:
            self.skipTest("ogrinfo is not installed")
        path = self.path("t.gpkg")
        write_database(path, "gpkg", [Table(
            name="shapes", columns=[], geometry_column="geom", geometry_type="GEOMETRY", dims="XYM",
            byte_order="big", gpkg_envelope="xym",
            rows=[{"geom": ("Polygon", [[(0, 0, 1), (0, 1, 2), (1, 1, 3), (0, 0, 1)]])},
                  {"geom": ("LineString", [])}])])
        text = subprocess.run(["ogrinfo", "-al", "-q", path], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT).stdout.decode("utf-8")
        self.assertIn("POLYGON M ((0 0 1,0 1 2,1 1 3,0 0 1))", text)
        self.assertIn("LINESTRING M EMPTY", text)


class SampleDatabase(harness.ScratchTestCase):
    def test_sample_in_every_kind(self):
        script = os.path.join(harness.TOOLS, "testdb.py")
        for kind, name in (("gpkg", "s.gpkg"), ("spatialite", "s.sqlite"), ("native", "s.db")):
            path = self.path(name)
            subprocess.run(["/usr/bin/python3", script, "make-sample", path, kind], check=True)
            con = sqlite3.connect(path)
            count = con.execute("SELECT count(*) FROM parcels").fetchone()[0]
            names = [r[1] for r in con.execute("PRAGMA table_info(parcels)")]
            con.close()
            self.assertEqual(count, 4, kind)
            self.assertIn("owner_category", names)


if __name__ == "__main__":
    harness.main()
