"""Appends onto the shapefile sets people have, end to end: fields matched to
columns by name whatever the columns' order, sets written by GDAL (ogr2ogr,
made here from a GeoPackage) with their narrow number fields and ESRI-style
.prj texts, values cut or refused with one line, and tables named with
blanks or reserved words."""

import os
import subprocess

import harness
from harness import WGS84, summary
from testdb import Column, Table

import dbfread

CENSUS_COLUMNS = [("population_2010", "MEDIUMINT"), ("population_2020", "MEDIUMINT"),
                  ("Name With Space", "TEXT(12)"), ('quo"te', "TEXT(8)"),
                  ("Stra\u00dfe", "TEXT(8)"), ("code", "INTEGER")]


def census(name, columns, rows, srid=4326, srtext=WGS84):
    return Table(name=name, columns=[Column(c, t) for c, t in columns], geometry_column="geom",
                 geometry_type="POINT", srid=srid, srtext=srtext, rows=rows)


def census_row(i, columns):
    values = {"population_2010": 1000 + i, "population_2020": 2000 + i,
              "Name With Space": "n%d" % i, 'quo"te': "q%d" % i, "Stra\u00dfe": "s%d" % i,
              "code": 10 ** 11 + i, "extra": "x", "note": "t%d" % i}
    row = {c: values[c] for c, _ in columns}
    row["geom"] = ("Point", (i, i))
    return row


def gdal(*args):
    completed = subprocess.run(["ogr2ogr"] + list(args), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, timeout=120)
    if completed.returncode != 0:
        raise AssertionError("ogr2ogr %s failed: %s" % (args, completed.stderr.decode()))


class AppendMapping(harness.EngineTestCase):
    def file_set(self, base="out"):
        return {n: self.read_bytes(base + "." + n) for n in ("shp", "shx", "dbf", "prj")
                if os.path.exists(self.path(base + "." + n))}

    def dbf_rows(self, base="out"):
        return [dict(r) for r in dbfread.DBF(self.path(base + ".dbf"), encoding="utf-8")]

    def test_fields_keep_their_columns_in_any_order(self):
        reordered = [CENSUS_COLUMNS[i] for i in (5, 1, 4, 3, 2, 0)] + [("extra", "TEXT")]
        removed = [c for c in CENSUS_COLUMNS if c[0] != "population_2020"]
        source = self.source([
            census("y2020", CENSUS_COLUMNS, [census_row(1, CENSUS_COLUMNS)]),
            census("y2021", reordered, [census_row(2, reordered)]),
            census("y2022", removed, [census_row(3, removed)])])
        result = harness.run(harness.init_args("out", table="y2020", source=source), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        why = ": .dbf field names are unique and hold at most 10 of the characters A-Z, 0-9 and _.\n"
        self.assertTrue(result.out.startswith(
            "\nColumn 'population_2010' is unloaded as field 'POPULA_7TO'" + why +
            "\nColumn 'population_2020' is unloaded as field 'POPULA_IT3'" + why +
            "\nColumn 'Name With Space' is unloaded as field 'NAME_WITH_'" + why +
            "\nColumn 'quo\"te' is unloaded as field 'QUO_TE'" + why +
            "\nColumn 'Stra\u00dfe' is unloaded as field 'STRA_E'" + why + summary(1, 0)), result)

        result = harness.run(harness.append_args("out", table="y2021", source=source), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(summary(1, 0)), result)
        self.assertEqual(self.dbf_rows(), [
            {"POPULA_7TO": 1000 + i, "POPULA_IT3": 2000 + i, "NAME_WITH_": "n%d" % i,
             "QUO_TE": "q%d" % i, "STRA_E": "s%d" % i, "CODE": 10 ** 11 + i} for i in (1, 2)])
        self.assertEqual(harness.ogr_feature_count(self.path("out.shp")), 2)

        before = self.file_set()
        result = harness.run(harness.append_args("out", table="y2022", source=source), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\nField 'POPULA_IT3' of file out.dbf matches no column of "
                                     "table 'y2022'.\n")
        self.assertEqual(self.file_set(), before)

    def gdal_set(self, columns, rows, srid=4326):
        """A shapefile set written by GDAL from a GeoPackage; returns nothing,
        leaves gdal.{shp,shx,dbf,prj} and the source gdal_source.gpkg (of
        either engine's test)."""
        harness.make_database(self.dir, [census("t", columns, rows)], name="source")
        for name in ("gdal_source.gpkg", "gdal.shp", "gdal.shx", "gdal.dbf", "gdal.prj",
                     "gdal.cpg"):
            if os.path.exists(self.path(name)):
                os.remove(self.path(name))
        gdal("-f", "GPKG", self.path("gdal_source.gpkg"), self.path("source.gpkg"),
             "-a_srs", "EPSG:%d" % srid, "-nln", "t")
        gdal("-f", "ESRI Shapefile", self.path("gdal.shp"), self.path("gdal_source.gpkg"), "t",
             "-lco", "ENCODING=UTF-8")

    def test_onto_a_gdal_set_narrow_numbers_and_its_prj(self):
        columns = [("pop", "MEDIUMINT"), ("Name With Space", "TEXT(12)"), ("code", "INTEGER")]
        rows = [{"pop": 1, "Name With Space": "a", "code": 7, "geom": ("Point", (1, 1))}]
        self.gdal_set(columns, rows)
        fields = {f.name: (f.type, f.length, f.decimal_count)
                  for f in dbfread.DBF(self.path("gdal.dbf")).fields}
        self.assertEqual(fields, {"pop": ("N", 9, 0), "Name With": ("C", 12, 0),
                                  "code": ("N", 18, 0)})
        self.assertTrue(self.read_bytes("gdal.prj").startswith(b'GEOGCS["GCS_WGS_1984"'))

        reordered = [columns[2], columns[0], columns[1], ("note", "TEXT")]
        fits = [{"pop": 999999999, "Name With Space": "b", "code": 10 ** 17, "note": "-",
                 "geom": ("Point", (2, 2))},
                {"pop": -12345678, "Name With Space": "c", "code": -(10 ** 16), "note": "-",
                 "geom": ("Point", (3, 3))}]
        source = self.source([census("t", reordered, fits)], name="fits")
        result = harness.run(harness.append_args("gdal", more=["-log"], source=source),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(summary(2, 0)), result)
        self.assertEqual([(r["pop"], r["Name With"], r["code"]) for r in self.dbf_rows("gdal")],
                         [(1, "a", 7), (999999999, "b", 10 ** 17), (-12345678, "c", -(10 ** 16))])
        self.assertEqual(harness.ogr_feature_count(self.path("gdal.shp")), 3)
        with open(self.path("gdal.log")) as f:
            log = f.read()
        self.assertEqual(log.count("is written differently from that of SRID 4326 but is the "
                                   "same; appending."), 1, log)

        for column, value, width in (("pop", 1234567890, 9), ("code", 10 ** 18, 18)):
            with self.subTest(column=column):
                row = dict(fits[0], **{column: value})
                source = self.source([census("t", reordered, [fits[1], row])], name="toolong")
                result = harness.run(harness.append_args("gdal", source=source), cwd=self.dir)
                self.assertEqual(result.status, 1, result)
                self.assertEqual(result.err, "\nRecord 5: the value %d of column '%s' does not "
                                 "fit field '%s' of %d characters.\n" % (value, column, column,
                                                                          width))

        # A text into a number field is refused before any value is read.
        retyped = [("pop", "TEXT"), columns[1], columns[2]]
        source = self.source([census("t", retyped, [])], name="retyped")
        result = harness.run(harness.append_args("gdal", source=source), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\nField 'pop' of the .dbf file, of type 'N', cannot hold "
                                     "column 'pop' of SQL type 13.\n")

    def test_colliding_names_of_a_gdal_set_are_refused(self):
        columns = CENSUS_COLUMNS[:2]
        self.gdal_set(columns, [census_row(1, columns)])
        self.assertEqual([f.name for f in dbfread.DBF(self.path("gdal.dbf")).fields],
                         ["population", "populati_1"])
        before = self.file_set("gdal")
        source = self.source([census("t", columns, [census_row(1, columns)])], name="source")
        result = harness.run(harness.append_args("gdal", source=source), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\nField 'population' of file gdal.dbf matches more than one "
                                     "column of table 't': 'population_2010', 'population_2020'.\n")
        self.assertEqual(self.file_set("gdal"), before)

    @harness.sqlite_only
    def test_prj_texts_of_gdal_against_geopackage_definitions(self):
        columns = [("n", "MEDIUMINT")]
        rows = [{"n": 1, "geom": ("Point", (1, 1))}]
        # 3035 declares its axes northing first, which a shapefile ignores.
        for srid in (4326, 32633, 27700, 2056, 3035):
            with self.subTest(srid=srid):
                self.gdal_set(columns, rows, srid=srid)
                result = harness.run(harness.init_args("out", database="gdal_source"),
                                     cwd=self.dir)
                self.assertEqual(result.status, 0, result)
                with open(self.path("gdal.prj"), "rb") as f:
                    esri = f.read()
                self.assertNotEqual(esri, self.read_bytes("out.prj"))
                with open(self.path("out.prj"), "wb") as f:
                    f.write(esri)
                result = harness.run(harness.append_args("out", database="gdal_source"),
                                     cwd=self.dir)
                self.assertEqual(result.status, 0, result)
                self.assertTrue(result.out.startswith(summary(1, 0)), result)
                self.assertEqual(self.read_bytes("out.prj"), esri)

        # 32633's GDAL text on a set of 2056 is another system: the mismatch
        # lines, status 0, nothing written. So is an equal pair when PROJ
        # cannot find its database, and PROJ prints nothing either way.
        self.gdal_set(columns, rows, srid=32633)
        with open(self.path("gdal.prj")) as f:
            utm = f.read()
        self.gdal_set(columns, rows, srid=2056)
        with open(self.path("gdal.prj")) as f:
            swiss = f.read()
        no_database = {"PROJ_DATA": self.dir, "PROJ_LIB": self.dir}
        for prj, environment in ((utm, {}), (swiss, no_database)):
            with self.subTest(environment=environment):
                with open(self.path("gdal.prj"), "w") as f:
                    f.write(prj)
                before = self.file_set("gdal")
                completed = subprocess.run(
                    [harness.BIN] + harness.append_args("gdal", database="gdal_source"),
                    cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                    env=dict(os.environ, **environment), timeout=120)
                self.assertEqual(completed.returncode, 0, completed)
                self.assertEqual(completed.stderr, b"")
                self.assertTrue(completed.stdout.decode().endswith(
                    "\nCoordinate system mismatch ... exiting.\n"), completed)
                self.assertEqual(self.file_set("gdal"), before)

    def test_cut_values_are_counted_once_per_field(self):
        umlauts = "\u00c4" * 10
        table = census("t", [("note", "TEXT(10)"), ("long", "TEXT"), ("ok", "TEXT(4)")], [
            {"note": umlauts, "long": "x" * 300, "ok": "abcd", "geom": ("Point", (1, 1))},
            {"note": umlauts[1:] + "!", "long": "y", "ok": "a", "geom": ("Point", (2, 2))},
            {"note": "short", "long": None, "ok": None, "geom": ("Point", (3, 3))}])
        source = self.source([table])
        result = harness.run(harness.init_args("out", more=["-log"], source=source), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        warnings = ("\nWarning: 2 value(s) of column note were cut to the 10 bytes of field NOTE.\n"
                    "\nWarning: 1 value(s) of column long were cut to the 254 bytes of field LONG.\n")
        self.assertTrue(result.out.startswith(warnings + summary(3, 0)), result)
        with open(self.path("out.log")) as f:
            log = f.read()
        self.assertIn("were cut to the 10 bytes of field NOTE.", log)
        self.assertIn("were cut to the 254 bytes of field LONG.", log)
        self.assertEqual([(r["NOTE"], len(r["LONG"] or "")) for r in self.dbf_rows()],
                         [("\u00c4" * 5, 254), ("\u00c4" * 5, 1), ("short", 0)])

        result = harness.run(harness.append_args("out", more=["-w", "ok = 'a'"], source=source),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(
            "\nWarning: 1 value(s) of column note were cut to the 10 bytes of field NOTE.\n" +
            summary(1, 0)), result)
        result = harness.run(harness.append_args("out", more=["-w", "ok IS NULL"], source=source),
                             cwd=self.dir)
        self.assertTrue(result.out.startswith(summary(1, 0)), result)

    def test_table_names_are_identifiers_and_conditions_need_no_values(self):
        rows = [{"name": "?", "geom": ("Point", (1, 1))}, {"name": "b", "geom": ("Point", (2, 2))}]
        tables = [Table(name=name, columns=[Column("name", "TEXT")], geometry_column="geom",
                        geometry_type="POINT", srid=4326, srtext=WGS84, rows=rows)
                  for name in ("my parcels", "order")]
        source = self.source(tables)
        for name in ("my parcels", "order"):
            with self.subTest(table=name):
                result = harness.run(harness.init_args("out", table=name, source=source),
                                     cwd=self.dir)
                self.assertEqual(result.status, 0, result)
                self.assertTrue(result.out.startswith(summary(2, 0)), result)
        result = harness.run(harness.init_args("out", more=["-w", "name = '?'"], table="order",
                                               source=source), cwd=self.dir)
        self.assertTrue(result.out.startswith(summary(1, 0)), result)
        result = harness.run(harness.init_args("out", more=["-w", "name = ?"], table="order",
                                               source=source), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        self.assertEqual(result.err, "\nThe condition 'name = ?' of -w has a parameter marker, "
                                     "which needs a value; write the value into the condition.\n")


if __name__ == "__main__":
    harness.main()
