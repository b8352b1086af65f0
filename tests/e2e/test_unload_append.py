"""append runs end to end: record numbers, extents and reserved bytes carried
on, the coordinate-system check, and the file sets an append refuses."""

import os
import struct

import harness
from harness import WGS84, main_header, index_entries, records, summary
from testdb import Column, Table

import dbfread
import shapefile


def points_table(rows, srtext=WGS84):
    return Table(name="t", columns=[Column("id", "MEDIUMINT"), Column("label", "VARCHAR(8)")],
                 geometry_column="geom", geometry_type="POINT", dims="XY",
                 srid=4326 if srtext else 0, srtext=srtext, rows=rows)


def point_rows(first, count, offset=0.0):
    return [{"id": i, "label": "p%d" % i, "geom": ("Point", (i + offset, -i - offset))}
            for i in range(first, first + count)]


class Append(harness.EngineTestCase):
    def init_set(self, rows, srtext=WGS84):
        source = self.source([points_table(rows, srtext)], name="first")
        result = harness.run(harness.init_args("out", source=source), cwd=self.dir)
        self.assertEqual(result.status, 0, result)

    def append(self, rows, srtext=WGS84, more=()):
        source = self.source([points_table(rows, srtext)], name="second")
        return harness.run(harness.append_args("out", more=more, source=source), cwd=self.dir)

    def file_set(self):
        return {n: self.read_bytes("out." + n) for n in ("shp", "shx", "dbf", "prj")
                if os.path.exists(self.path("out." + n))}

    def test_numbers_extent_and_reserved_bytes_carry_on(self):
        self.init_set(point_rows(1, 10))
        # Other writers may leave bytes in the reserved areas; an append keeps them.
        for name, offset, size in (("out.shp", 4, 20), ("out.shx", 4, 20), ("out.dbf", 12, 20)):
            with open(self.path(name), "r+b") as f:
                f.seek(offset)
                f.write(bytes(range(1, size + 1)))
        result = self.append(point_rows(11, 3, offset=0.5))
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(summary(3, 0)), result)
        shp = self.read_bytes("out.shp")
        shx = self.read_bytes("out.shx")
        self.assertEqual([n for n, _ in records(shp)], list(range(1, 14)))
        self.assertEqual(len(index_entries(shx)), 13)
        self.assertEqual(main_header(shp)["reserved"], bytes(range(1, 21)))
        self.assertEqual(main_header(shx)["reserved"], bytes(range(1, 21)))
        self.assertEqual(self.read_bytes("out.dbf")[12:32], bytes(range(1, 21)))
        self.assertEqual(main_header(shp)["bounds"][:4], (1, -13.5, 13.5, -1))
        self.assertEqual(main_header(shp)["file_length"] * 2, len(shp))
        reader = shapefile.Reader(self.path("out"))
        self.assertEqual(len(reader.shapes()), 13)
        reader.close()
        table = list(dbfread.DBF(self.path("out.dbf")))
        self.assertEqual([r["ID"] for r in table], list(range(1, 14)))
        self.assertEqual(table[-1]["LABEL"], "p13")
        self.assertEqual(harness.ogr_feature_count(self.path("out.shp")), 13)

    def test_the_extent_only_widens(self):
        self.init_set(point_rows(1, 5))
        result = self.append(point_rows(2, 1))
        self.assertEqual(result.status, 0, result)
        self.assertEqual(main_header(self.read_bytes("out.shp"))["bounds"][:4], (1, -5, 5, -1))

    def test_progress_counts_the_existing_records(self):
        self.init_set(point_rows(0, 300))
        result = self.append(point_rows(300, 2500))
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith("\nUnloaded row 1300.\n\nUnloaded row 2300.\n" +
                                              summary(2500, 0)), result)

    def test_an_empty_append_rewrites_only_the_date_and_end_byte(self):
        self.init_set(point_rows(1, 2))
        before = self.file_set()
        result = self.append(point_rows(1, 2), more=["-w", "1 = 0"])
        self.assertEqual(result.status, 0, result)
        after = self.file_set()
        self.assertEqual(after["shp"], before["shp"])
        self.assertEqual(after["shx"], before["shx"])
        self.assertEqual(after["dbf"][4:], before["dbf"][4:])

    def test_a_set_of_null_shapes_takes_its_extent_from_the_first_new_shape(self):
        # Without a shape the set has its column's declared type, and no
        # extent yet: the new shapes' extent does not cover the origin.
        self.init_set([{"id": 1, "label": "none", "geom": None}])
        self.assertEqual(main_header(self.read_bytes("out.shp"))["shape_type"], 1)
        result = self.append(point_rows(7, 2))
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(summary(2, 0)), result)
        header = main_header(self.read_bytes("out.shp"))
        self.assertEqual(header["shape_type"], 1)
        self.assertEqual(header["bounds"][:4], (7, -8, 8, -7))
        self.assertEqual(main_header(self.read_bytes("out.shx"))["bounds"][:4], (7, -8, 8, -7))

    def test_a_matching_prj_lets_the_append_go_on(self):
        variants = (WGS84 + "\r\n", WGS84.upper() + "  ", WGS84.replace(",", " , "),
                    WGS84.replace("298.257223563", "298.2572235630"))
        for variant in variants:
            with self.subTest(variant=variant):
                self.init_set(point_rows(1, 1))
                with open(self.path("out.prj"), "w") as f:
                    f.write(variant)
                result = self.append(point_rows(2, 1))
                self.assertEqual(result.status, 0, result)
                self.assertTrue(result.out.startswith(summary(1, 0)), result)

    def test_a_mismatch_changes_nothing_and_ends_with_status_0(self):
        self.init_set(point_rows(1, 2))
        other = WGS84.replace("WGS_1984", "NAD83")
        before = self.file_set()
        result = self.append(point_rows(3, 1), srtext=other)
        self.assertEqual(result.status, 0, result)
        self.assertEqual(result.out,
                         "\nCoordinate system info from out.prj ... \n\n\t%s\n"
                         "\nSpatial reference text for SRID 4326 ... \n\n\t%s\n"
                         "\nCoordinate system mismatch ... exiting.\n" % (WGS84, other))
        self.assertEqual(self.file_set(), before)

    def test_a_missing_prj(self):
        self.init_set(point_rows(1, 1), srtext=None)
        self.assertFalse(os.path.exists(self.path("out.prj")))
        result = self.append(point_rows(2, 1), srtext=None)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(summary(1, 0)), result)
        result = self.append(point_rows(3, 1))
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(
            "\nCoordinate system UNKNOWN ... file out.prj not found.\n"), result)
        self.assertIn("Coordinate system mismatch ... exiting.", result.out)

    @harness.sqlite_only
    def test_a_missing_dbf(self):
        self.init_set(point_rows(1, 1))
        os.remove(self.path("out.dbf"))
        result = self.append(point_rows(2, 1))
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\nFile open failed for file out.dbf: No such file or directory.\n")

    @harness.sqlite_only
    def test_an_inconsistent_set_is_refused_untouched(self):
        self.init_set(point_rows(1, 3))
        good = self.file_set()
        damages = {
            "truncated shp": ("shp", good["shp"][:-4]),
            "wrong file code": ("shx", b"\0\0\0\1" + good["shx"][4:]),
            "one index entry too many": ("shx", good["shx"][:24] + struct.pack(">i", 66)
                                         + good["shx"][28:] + good["shx"][-8:]),
        }
        for what, (extension, data) in damages.items():
            with self.subTest(damage=what):
                for name, content in good.items():
                    with open(self.path("out." + name), "wb") as f:
                        f.write(content)
                with open(self.path("out." + extension), "wb") as f:
                    f.write(data)
                before = self.file_set()
                result = self.append(point_rows(4, 1))
                self.assertEqual(result.status, 1, result)
                self.assertIn("out.", result.err)
                self.assertEqual(self.file_set(), before)

    @harness.sqlite_only
    def test_a_failed_append_leaves_the_old_set_readable(self):
        self.init_set(point_rows(1, 2))
        before = self.file_set()
        rows = point_rows(3, 1)
        rows[0]["id"] = 2 ** 40  # beyond a MEDIUMINT: refused when the row is read
        result = self.append(rows)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(self.read_bytes("out.dbf"), before["dbf"])
        self.assertEqual([r["ID"] for r in dbfread.DBF(self.path("out.dbf"))], [1, 2])
        self.assertEqual(harness.ogr_feature_count(self.path("out.shp")), 2)
        result = self.append(point_rows(3, 1))
        self.assertEqual(result.status, 0, result)
        self.assertEqual([n for n, _ in records(self.read_bytes("out.shp"))], [1, 2, 3])

    @harness.sqlite_only
    def test_bytes_left_by_an_interrupted_append_are_cut(self):
        self.init_set(point_rows(1, 2))
        with open(self.path("out.shp"), "ab") as f:
            f.write(b"\xff" * 28)
        with open(self.path("out.dbf"), "ab") as f:
            f.write(b"garbage")
        result = self.append(point_rows(3, 1))
        self.assertEqual(result.status, 0, result)
        shp = self.read_bytes("out.shp")
        self.assertEqual(main_header(shp)["file_length"] * 2, len(shp))
        self.assertEqual([n for n, _ in records(shp)], [1, 2, 3])
        self.assertEqual([r["ID"] for r in dbfread.DBF(self.path("out.dbf"))], [1, 2, 3])
        self.assertEqual(self.read_bytes("out.dbf")[-1:], b"\x1a")

    @harness.sqlite_only
    def test_the_dbf_size_limit_leaves_room_for_the_end_byte(self):
        # A set whose .dbf counts records up to just below 2 GB, made sparse so
        # that it costs nothing: a header 1 byte longer (other writers pad
        # theirs) makes the next record end where the end-of-file byte would
        # pass 2^31 - 1.
        count = 107374176
        for header_length, fits in ((106, True), (107, False)):
            with self.subTest(header_length=header_length):
                self.init_set([])
                with open(self.path("out.dbf"), "r+b") as f:
                    f.seek(4)
                    f.write(struct.pack("<iH", count, header_length))
                    f.truncate(header_length + 20 * count)
                with open(self.path("out.shx"), "r+b") as f:
                    f.seek(24)
                    f.write(struct.pack(">i", (100 + 8 * count) // 2))
                    f.truncate(100 + 8 * count)
                result = self.append(point_rows(1, 1))
                if fits:
                    self.assertEqual(result.status, 0, result)
                    self.assertEqual(os.path.getsize(self.path("out.dbf")), 2 ** 31 - 1)
                    with open(self.path("out.dbf"), "rb") as f:
                        self.assertEqual(struct.unpack("<i", f.read(8)[4:])[0], count + 1)
                        f.seek(-21, os.SEEK_END)
                        self.assertEqual(f.read(), b" " + b" " * 10 + b"1" + b"p1" + b" " * 6
                                         + b"\x1a")
                else:
                    self.assertEqual(result.status, 1, result)
                    self.assertEqual(result.err, "\nRecord %d would take file out.dbf past the 2 GB"
                                     " limit of the format; split the table with -w.\n" % (count + 1))


if __name__ == "__main__":
    harness.main()
