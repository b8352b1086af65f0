#!/usr/bin/env python3
"""Writes the benchmark GeoPackage: ROWS polygons with a hole (12 vertices)
and ten attribute columns of the common types, in table "bench"."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "tests", "tools"))
import testdb  # noqa: E402
from testdb import Column, Table  # noqa: E402


def rows(count):
    for i in range(count):
        x, y = (i % 1000) * 0.01, (i // 1000) * 0.01
        outer = [(x, y), (x + 0.008, y), (x + 0.008, y + 0.008), (x, y + 0.008), (x, y),
                 (x, y)][:5]
        hole = [(x + 0.002, y + 0.002), (x + 0.002, y + 0.004), (x + 0.004, y + 0.004),
                (x + 0.004, y + 0.002), (x + 0.002, y + 0.002)]
        yield {"name": "parcel %d" % i, "category": ("a", "bb", "ccc")[i % 3],
               "area": 64.0 + i % 17, "value": i * 1.25, "floors": i % 9,
               "code": i, "osm_id": 10 ** 12 + i, "price": i + (i % 100) / 100.0,
               "registered": "20%02d-%02d-%02d" % (i % 25, 1 + i % 12, 1 + i % 28),
               "active": i % 2 == 0, "geom": ("Polygon", [outer, hole])}


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    table = Table(name="bench", columns=[
        Column("name", "TEXT(40)"), Column("category", "TEXT(8)"), Column("area", "DOUBLE"),
        Column("value", "REAL"), Column("floors", "SMALLINT"), Column("code", "MEDIUMINT"),
        Column("osm_id", "INTEGER"), Column("price", "DOUBLE"), Column("registered", "DATE"),
        Column("active", "BOOLEAN")], geometry_column="geom", geometry_type="POLYGON",
        srid=4326, srtext=testdb.WGS84_SRTEXT, rows=list(rows(count)))
    testdb.write_database(path, "gpkg", [table])


if __name__ == "__main__":
    main()
