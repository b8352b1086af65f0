"""The listing (-L): one line per spatial column of the database, with the
shape type it unloads to, its SRID and its rows where the database keeps
them; and a run given a column the database does not have names the ones it
has."""

import harness
from harness import WGS84
from testdb import Column, Table


def spatial(name, geometry_type, dims="XY", srid=4326, rows=1):
    geometry = {"POLYGON": ("Polygon", [[(0, 0), (0, 1), (1, 1), (0, 0)]]),
                "LINESTRING": ("LineString", [(0, 0, 1), (1, 1, 2)]),
                "POINT": ("Point", (1, 2, 3)), "GEOMETRY": ("Point", (1, 2))}[geometry_type]
    return Table(name=name, columns=[Column("n", "MEDIUMINT")], geometry_column="geom",
                 geometry_type=geometry_type, dims=dims, srid=srid,
                 srtext=WGS84 if srid else None,
                 rows=[{"n": i, "geom": geometry} for i in range(rows)])


TABLES = [spatial("parcels", "POLYGON", rows=3), spatial("roads", "LINESTRING", "XYZ"),
          spatial("sites", "POINT", "XYM", srid=0), spatial("things", "GEOMETRY"),
          Table(name="plain", columns=[Column("n", "MEDIUMINT")], rows=[{"n": 1}])]
# Only parcels' rows are kept count of: in GDAL's table, in the server's
# statistics.
KEPT_COUNT = {
    "sqlite": ["CREATE TABLE gpkg_ogr_contents (table_name TEXT NOT NULL PRIMARY KEY,"
               " feature_count INTEGER DEFAULT NULL)",
               "INSERT INTO gpkg_ogr_contents VALUES ('parcels', 3)"],
    "postgres": ["ANALYZE parcels"],
}


class Listing(harness.EngineTestCase):
    def test_one_line_per_spatial_column(self):
        reach = self.source(TABLES, sql=KEPT_COUNT[self.engine])
        result = harness.run(["-L"] + reach, cwd=self.dir)
        self.assertEqual((result.status, result.err), (0, ""), result)
        # On a server each table is named by its schema, which -l takes.
        if self.engine == "postgres":
            parcels, schema = "~3 rows", "public."
        else:
            parcels, schema = "3 rows", ""
        self.assertEqual(result.out,
                         "{s}parcels,geom  polygon (5)     SRID 4326  {p}\n"
                         "{s}roads,geom    polylinez (13)  SRID 4326  rows unknown\n"
                         "{s}sites,geom    pointm (21)     SRID 0     rows unknown\n"
                         "{s}things,geom   any             SRID 4326  rows unknown\n"
                         .format(s=schema, p=parcels))

    def test_a_database_without_spatial_columns(self):
        reach = self.source(TABLES[-1:], name="plain")
        result = harness.run(["-L"] + reach, cwd=self.dir)
        self.assertEqual((result.status, result.err), (0, ""), result)
        self.assertRegex(result.out, r"^No spatial columns in database 'plain[_\d]*'\.\n$")

    def test_a_column_that_is_not_there_names_those_that_are(self):
        tables = [spatial("t%02d" % i, "POINT", "XYZ") for i in range(1, 23)]
        reach = self.source(tables, name="many")
        result = harness.run(harness.init_args("out", table="t1", source=reach), cwd=self.dir)
        self.assertEqual(result.status, 1, result)
        schema = "public." if self.engine == "postgres" else ""
        named = ", ".join("%st%02d,geom" % (schema, i) for i in range(1, 21))
        self.assertEqual(result.err, "\nUnable to determine spatial reference for geometry "
                                     "column t1.geom.\nSpatial columns in the database: %s, "
                                     "\u2026.\n" % named)


if __name__ == "__main__":
    harness.main()
