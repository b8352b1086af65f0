"""The .cpg beside the set: written by init as one of the set's files, taken
as it is by append when it names UTF-8; an append onto a set declared in a
code page (by its .cpg or, without one, its language driver) writes the
text in it, one with a character it cannot hold or an encoding spoolmap
does not write is refused before anything is written."""

import os
import subprocess

import dbfread

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

    def test_append_onto_an_encoding_it_does_not_write_is_refused_and_changes_nothing(self):
        for declared, shown in ((b"UTF-16", "UTF-16"), (b"EBCDIC\n", "EBCDIC")):
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


def names_table(names):
    return Table(name="names", columns=[Column("name", "VARCHAR(20)")], geometry_column="geom",
                 geometry_type="POINT", srid=4326, srtext=WGS84,
                 rows=[{"name": n, "geom": ("Point", (i, i))} for i, n in enumerate(names)])


def gdal_read_names(path):
    info = subprocess.run(["ogrinfo", "-ro", "-al", "-q", path], stdout=subprocess.PIPE,
                          stderr=subprocess.PIPE, timeout=60)
    return [line.split(" = ", 1)[1] for line in info.stdout.decode("utf-8").splitlines()
            if line.startswith("  name (String) = ")]


class AppendInACodePage(harness.EngineTestCase):
    """A set as GDAL writes one by default: no .cpg, the language driver
    0x57 in the .dbf, its text in ISO-8859-1."""

    def gdal_set(self, cpg=None):
        with open(self.path("first.csv"), "w", encoding="utf-8") as f:
            f.write('name,wkt\n"Müller","POINT (1 2)"\n')
        completed = subprocess.run(
            ["ogr2ogr", "-f", "ESRI Shapefile", self.path("out.shp"), self.path("first.csv"),
             "-oo", "GEOM_POSSIBLE_NAMES=wkt", "-oo", "KEEP_GEOM_COLUMNS=NO", "-a_srs",
             "EPSG:4326"], stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=60)
        self.assertEqual(completed.returncode, 0, completed.stderr)
        self.assertFalse(os.path.exists(self.path("out.cpg")))
        self.assertEqual(self.read_bytes("out.dbf")[29], 0x57)
        if cpg is not None:
            with open(self.path("out.cpg"), "wb") as f:
                f.write(cpg)

    def append(self, names):
        source = self.source([names_table(names)], name="second")
        return harness.run(harness.append_args("out", table="names", source=source),
                           cwd=self.dir)

    def test_text_goes_in_the_declared_code_page_and_gdal_reads_it_back(self):
        names = ["Größe ½", "Ærø", "plain"]
        for cpg, encoding in ((None, "iso-8859-1"), (b"1252", "cp1252"),
                              (b"ISO-8859-1\n", "iso-8859-1")):
            with self.subTest(cpg=cpg):
                self.gdal_set(cpg)
                result = self.append(names)
                self.assertEqual(result.status, 0, result)
                self.assertEqual(gdal_read_names(self.path("out.shp")), ["Müller"] + names)
                read = [r["name"] for r in dbfread.DBF(self.path("out.dbf"), encoding=encoding)]
                self.assertEqual(read, ["Müller"] + names)

    def test_a_character_outside_the_code_page_is_refused_and_the_set_kept(self):
        for cpg, code_page, declared_by, name in (
                (None, "ISO-8859-1", "the language driver of out.dbf", "5 €"),
                (b"1252", "CP1252", "out.cpg", "Ω")):
            with self.subTest(cpg=cpg):
                self.gdal_set(cpg)
                before = {e: self.read_bytes("out." + e) for e in ("shp", "shx", "dbf")}
                result = self.append(["ok", name])
                self.assertEqual(result.status, 1, result)
                character = name[-1]
                self.assertEqual(
                    result.err, "\nRecord 3: the character '%s' (U+%04X) of column 'name' has "
                    "no place in code page %s, which %s declares.\n"
                    % (character, ord(character), code_page, declared_by))
                self.assertEqual({e: self.read_bytes("out." + e) for e in before}, before)


if __name__ == "__main__":
    harness.main()
