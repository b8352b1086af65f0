"""One definition of a table, unloaded through each engine of the client
library: the file set reads back the same, and the server engine writes the
embedded engine's bytes (the .dbf but for its date of last update)."""

import datetime
import decimal
import os

import harness
from harness import WGS84
from testdb import Column, Table

import dbfread
import shapefile

DBF_DATE = slice(1, 4)  # the .dbf header's date of last update

PLACES = Table(
    name="places", columns=[Column("name", "TEXT(12)"), Column("n", "MEDIUMINT"),
                            Column("osm_id", "INTEGER"), Column("height", "DOUBLE"),
                            Column("seen", "DATE"), Column("ok", "BOOLEAN"),
                            Column("price", "DECIMAL(8,2)")],
    geometry_column="geom", geometry_type="POINT", dims="XYZ", srid=4326, srtext=WGS84,
    rows=[{"name": "Zoë", "n": -7, "osm_id": 2 ** 62 + 1, "height": 12.5, "seen": "2024-02-29",
           "ok": True, "price": 1234.5, "geom": ("Point", (10.5, 50.25, 100))},
          {"name": None, "n": None, "osm_id": None, "height": None, "seen": None, "ok": None,
           "price": None, "geom": None},
          {"name": "b", "n": 2147483647, "osm_id": 1, "height": -0.5, "seen": "1970-01-01",
           "ok": False, "price": -0.25, "geom": ("Point", (-1, -2, -3))}])


class OneDefinition(harness.EngineTestCase):
    def unload(self, directory, source):
        result = harness.run(harness.init_args("out", table="places", source=source), cwd=directory)
        self.assertEqual(result.status, 0, result)
        self.assertTrue(result.out.startswith(harness.summary(3, 0)), result)
        with_base = os.path.join(directory, "out.")
        files = {}
        for extension in ("shp", "shx", "dbf", "prj"):
            with open(with_base + extension, "rb") as f:
                files[extension] = f.read()
        return files

    def test_the_set_reads_back(self):
        self.unload(self.dir, self.source([PLACES]))
        reader = shapefile.Reader(self.path("out"))
        self.assertEqual(reader.shapeType, shapefile.POINTZ)
        self.assertEqual([(s.shapeType, [list(p) for p in s.points], list(getattr(s, "z", []))) for s in reader.shapes()],
                         [(11, [[10.5, 50.25]], [100]), (0, [], []), (11, [[-1, -2]], [-3])])
        rows = [list(r.values()) for r in dbfread.DBF(self.path("out.dbf"), encoding="utf-8")]
        self.assertEqual(rows, [
            ["Zoë", -7, 2 ** 62 + 1, 12.5, datetime.date(2024, 2, 29), True, decimal.Decimal("1234.50")],
            ["", None, None, None, None, None, None],
            ["b", 2147483647, 1, -0.5, datetime.date(1970, 1, 1), False, decimal.Decimal("-0.25")]])
        self.assertEqual(self.read_bytes("out.prj"), WGS84.encode())

    def test_the_embedded_engines_bytes(self):
        if self.engine == "sqlite":
            self.skipTest("the embedded engine is the reference")
        files = self.unload(self.dir, self.source([PLACES]))
        reference_dir = self.path("reference")
        os.mkdir(reference_dir)
        reference = self.unload(reference_dir, ["-D", harness.make_database(reference_dir, [PLACES])])
        for extension in ("dbf",):
            files[extension] = files[extension][:DBF_DATE.start] + files[extension][DBF_DATE.stop:]
            reference[extension] = (reference[extension][:DBF_DATE.start]
                                    + reference[extension][DBF_DATE.stop:])
        self.assertEqual(files, reference)


if __name__ == "__main__":
    harness.main()
