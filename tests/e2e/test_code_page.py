"""The .cpg beside the set: written by init as one of the set's files, taken
as it is by append when it names UTF-8, and an append onto a set that
declares another encoding refused before anything is written."""

import os
import subprocess

import harness
from harness import WGS84, summary
from testdb import Column, Table


def table(first, count):
    rows = [{"name": "Zürich %d" % i, "geom": ("Point", (i, i))}
            for i in range(first, first + count)]
    return Table(name="t", columns=[Column("name", "TEXT(12)")], geometry_column="geom",
                 geometry_type="POINT", srid=4326, srtext=WGS84, rows=rows)


class CodePage(harness.ScratchTestCase):
    def init_set(self):
        harness.make_database(self.dir, [table(1, 3)], name="first")
        result = harness.run(harness.init_args("out", database="first"), cwd=self.dir)
        self.assertEqual(result.status, 0, result)

    def append(self):
        harness.make_database(self.dir, [table(4, 2)], name="second")
        return harness.run(harness.append_args("out", database="second"), cwd=self.dir)

    def data_files(self):
        return {ext: self.read_bytes("out." + ext) for ext in ("shp", "shx", "dbf")}

    def test_init_writes_utf8_and_gdal_reads_the_text_by_it(self):
        self.init_set()
        self.assertEqual(self.read_bytes("out.cpg"), b"UTF-8")
        self.assertEqual(sorted(os.listdir(self.dir)),
                         ["first.gpkg"] + ["out." + e for e in ("cpg", "dbf", "prj", "shp", "shx")])
        info = subprocess.run(["ogrinfo", "-ro", "-al", "-q", self.path("out.shp")],
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertIn("Zürich 1", info.stdout.decode("utf-8"))

    def test_append_takes_utf8_declarations_and_sets_without_one(self):
        for declared in (None, b"UTF-8", b"utf8\n", b" 65001 \r\n", b"Utf-8"):
            with self.subTest(declared=declared):
                self.init_set()
                if declared is None:
                    os.remove(self.path("out.cpg"))
                else:
                    with open(self.path("out.cpg"), "wb") as f:
                        f.write(declared)
                result = self.append()
                self.assertEqual(result.status, 0, result)
                self.assertTrue(result.out.startswith(summary(2, 0)), result)
                self.assertEqual(os.path.exists(self.path("out.cpg")), declared is not None)
                if declared is not None:
                    self.assertEqual(self.read_bytes("out.cpg"), declared)

    def test_append_onto_another_encoding_is_refused_and_changes_nothing(self):
        for declared, shown in ((b"1252\n", "1252"), (b"ISO-8859-1", "ISO-8859-1"),
                                (b"UTF-16", "UTF-16")):
            with self.subTest(declared=declared):
                self.init_set()
                with open(self.path("out.cpg"), "wb") as f:
                    f.write(declared)
                before = self.data_files()
                result = self.append()
                self.assertEqual(result.status, 1, result)
                self.assertEqual(
                    result.err, "\nFile out.cpg declares the encoding '%s'; appending UTF-8 "
                    "text would mix two encodings in one .dbf.\n" % shown)
                self.assertEqual(self.data_files(), before)
                self.assertEqual(self.read_bytes("out.cpg"), declared)

    def test_a_failed_init_leaves_the_old_cpg(self):
        self.init_set()
        with open(self.path("out.cpg"), "wb") as f:
            f.write(b"UTF-8\n")
        result = harness.run(harness.init_args("out", database="first", table="missing"),
                             cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(self.read_bytes("out.cpg"), b"UTF-8\n")
        self.assertFalse([name for name in os.listdir(self.dir) if name.endswith(".part")])


if __name__ == "__main__":
    harness.main()
