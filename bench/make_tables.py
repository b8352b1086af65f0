#!/usr/bin/env python3
"""Writes the benchmark GeoPackages: the same attribute table twice, once with
points and once with polygons (rings of 12 points, closing point included,
and a hole of 6 points in every fourth polygon), table "features", geometry
column "geom", srs 4326:

    features(fid INTEGER PRIMARY KEY, name TEXT(40), code SMALLINT,
             population INTEGER, area DOUBLE, ratio REAL, founded DATE,
             active BOOLEAN, note TEXT(200), geom)

About 2% of each attribute is NULL and 0.1% of the geometries; names are
partly non-ASCII; the first rows carry edge values (extreme integers and
doubles, denormals, negative zero, the first and last dates, texts cut at a
UTF-8 character, an all-NULL row, an empty geometry). The values follow a
fixed seed, so a file of a given size is always the same file.

    make_tables.py DIRECTORY ROWS [points|polygons ...]

writes DIRECTORY/features_points_ROWS.gpkg and features_polygons_ROWS.gpkg
(or only the kinds named), skipping files that exist. Each file is written
under a temporary name and renamed when complete, so an interrupted run never
leaves a file that looks finished. The GeoPackage's catalog comes from the
test-database builder (tests/tools/testdb.py); the rows' blobs are packed
here directly, which is what makes a million rows take seconds, not minutes.
"""

import datetime
import math
import os
import random
import sqlite3
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools"))
import testdb  # noqa: E402
from testdb import Column, Table  # noqa: E402

SEED = 13
SRS_ID = 4326
NULL_ATTRIBUTE_SHARE = 0.02
NULL_GEOMETRY_SHARE = 0.001
POLYGON_POINTS = 12   # outer ring, closing point included
HOLE_POINTS = 6       # inner ring, closing point included
HOLE_EVERY = 4

GPKG_LITTLE_ENDIAN = 0x01
GPKG_ENVELOPE_XY = 0x01 << 1
WKB_POINT, WKB_POLYGON = 1, 3

ATTRIBUTES = (("name", "TEXT(40)"), ("code", "SMALLINT"), ("population", "INTEGER"),
              ("area", "DOUBLE"), ("ratio", "REAL"), ("founded", "DATE"), ("active", "BOOLEAN"),
              ("note", "TEXT(200)"))
COLUMNS = ("fid",) + tuple(name for name, _ in ATTRIBUTES) + ("geom",)

PLACES = ("Zürich", "Łódź", "São Paulo", "Αθήνα", "東京", "Köln", "Москва", "Ærøskøbing",
          "Reykjavík", "Kraków", "Springfield", "Riverside", "Greenville", "Fairview", "Bristol",
          "Clinton", "Salem", "Madison", "Georgetown", "Franklin")

# Geometry blobs: GeoPackage header (magic, version, flags, srs id), then an
# optional xy envelope (minx, maxx, miny, maxy), then little-endian WKB.
POINT_BLOB = struct.Struct("<2sBBi" + "BIdd")
POLYGON_HEAD = "<2sBBi4d" + "BII"
POLYGON_BLOB = struct.Struct(POLYGON_HEAD + "I%dd" % (2 * POLYGON_POINTS))
HOLED_BLOB = struct.Struct(POLYGON_HEAD + "I%dd" % (2 * POLYGON_POINTS) +
                           "I%dd" % (2 * HOLE_POINTS))
EMPTY_BLOBS = {"points": testdb.encode_gpkg(("Point", None), srs_id=SRS_ID),
               "polygons": testdb.encode_gpkg(("Polygon", []), srs_id=SRS_ID)}


def ring_offsets(count, radius, clockwise):
    """Offsets of a closed ring of count points (the last equal to the first)."""
    sign = -1 if clockwise else 1
    points = [(radius * math.cos(sign * 2 * math.pi * k / (count - 1)),
               radius * math.sin(sign * 2 * math.pi * k / (count - 1))) for k in range(count - 1)]
    points.append(points[0])
    return [value for point in points for value in point]


# Outer rings counter-clockwise, holes clockwise, as simple-features writers
# store them; the shapefile wants the reverse, so the converter has work.
OUTER = ring_offsets(POLYGON_POINTS, 0.004, clockwise=False)
HOLE = ring_offsets(HOLE_POINTS, 0.0015, clockwise=True)


def point_blob(x, y):
    return POINT_BLOB.pack(b"GP", 0, GPKG_LITTLE_ENDIAN, SRS_ID, 1, WKB_POINT, x, y)


def polygon_blob(x, y, holed):
    outer = [x + d if k % 2 == 0 else y + d for k, d in enumerate(OUTER)]
    head = (b"GP", 0, GPKG_LITTLE_ENDIAN | GPKG_ENVELOPE_XY, SRS_ID, x - 0.004, x + 0.004,
            y - 0.004, y + 0.004, 1, WKB_POLYGON)
    if not holed:
        return POLYGON_BLOB.pack(*head, 1, POLYGON_POINTS, *outer)
    hole = [x + d if k % 2 == 0 else y + d for k, d in enumerate(HOLE)]
    return HOLED_BLOB.pack(*head, 2, POLYGON_POINTS, *outer, HOLE_POINTS, *hole)


def edge_rows(kind):
    """Attribute values of the first rows, by column name; the rest random."""
    long_name = "A Łódź Łódź Łódź Łódź Łódź"   # its 40th byte ends inside a 'ź'
    long_note = "Zürich — Köln – " * 20         # its 200th byte ends inside a '—'
    assert long_name.encode()[40] & 0xC0 == 0x80 and long_note.encode()[200] & 0xC0 == 0x80
    every_null = {c: None for c in COLUMNS[1:9]}
    return [
        every_null,
        # The widest 64-bit integers an N(18,0) field holds.
        {"code": -32768, "population": -99999999999999999, "area": -0.0, "ratio": 5e-324,
         "founded": "0001-01-01", "name": long_name},
        {"code": 32767, "population": 999999999999999999, "area": 1.7976931348623157e308,
         "ratio": -1.7976931348623157e308, "founded": "9999-12-31", "note": long_note},
        {"code": 0, "population": 0, "area": 1e-308, "ratio": -1e-308, "founded": "2000-02-29"},
        {"code": -1, "population": -1, "area": 2.2250738585072014e-308, "ratio": 0.0, "name": "",
         "note": "", "active": 0, "geom": EMPTY_BLOBS[kind]},
        {"population": 2147483648, "area": 9.999999999995e22, "ratio": 0.5, "active": 1},
    ]


def date_pool(rng, count):
    first = datetime.date(1800, 1, 1).toordinal()
    last = datetime.date(2024, 12, 31).toordinal()
    return [datetime.date.fromordinal(rng.randint(first, last)).isoformat() for _ in range(count)]


def note_pool(rng, count):
    words = ("river", "bridge", "market", "harbour", "mill", "church", "station", "square",
             "old", "new", "north", "south", "école", "straße", "plaza", "the", "of", "and")
    notes = []
    for _ in range(count):
        target = rng.randint(0, 200)
        text = ""
        while len(text.encode()) < target:
            text += rng.choice(words) + " "
        notes.append(text.encode()[:target].decode(errors="ignore").rstrip())
    return notes


def rows(kind, count):
    rng = random.Random(SEED)
    dates = date_pool(rng, 4096)
    notes = note_pool(rng, 1024)
    edges = edge_rows(kind)
    rand = rng.random
    null = NULL_ATTRIBUTE_SHARE
    for fid in range(1, count + 1):
        x = -180.0 + 360.0 * rand()
        y = -85.0 + 170.0 * rand()
        if rand() < NULL_GEOMETRY_SHARE:
            geom = None
        elif kind == "points":
            geom = point_blob(x, y)
        else:
            geom = polygon_blob(x, y, fid % HOLE_EVERY == 0)
        row = [fid,
               None if rand() < null else "%s %d" % (PLACES[fid % len(PLACES)], fid),
               None if rand() < null else int(rand() * 65536) - 32768,
               None if rand() < null else int(rand() ** 3 * 2e7),
               None if rand() < null else rand() * 10.0 ** int(rand() * 8),
               None if rand() < null else rand(),
               None if rand() < null else dates[fid & 4095],
               None if rand() < null else fid & 1,
               None if rand() < null else notes[(fid * 7) & 1023],
               geom]
        if fid <= len(edges):
            for name, value in edges[fid - 1].items():
                row[COLUMNS.index(name)] = value
        yield row


def write_table(path, kind, count):
    partial = path + ".partial"
    geometry_type = "POINT" if kind == "points" else "POLYGON"
    # The GeoPackage's catalog and the empty table come from the test
    # builder; the rows are packed here, which is what makes them fast.
    testdb.write_database(partial, "gpkg", [Table(
        name="features", columns=[Column(name, decl) for name, decl in ATTRIBUTES],
        geometry_column="geom", geometry_type=geometry_type, srid=SRS_ID,
        srtext=testdb.WGS84_SRTEXT, fid_column="fid")])
    con = sqlite3.connect(partial)
    con.execute("PRAGMA journal_mode = OFF")
    con.execute("PRAGMA synchronous = OFF")
    con.executemany("INSERT INTO features VALUES (%s)" % ", ".join("?" * len(COLUMNS)),
                    rows(kind, count))
    con.execute("UPDATE gpkg_contents SET min_x = -181, min_y = -86, max_x = 181, max_y = 86")
    con.commit()
    con.close()
    os.replace(partial, path)


def table_path(directory, kind, count):
    return os.path.join(directory, "features_%s_%d.gpkg" % (kind, count))


def main(argv):
    if len(argv) < 3:
        sys.stderr.write("usage: make_tables.py DIRECTORY ROWS [points|polygons ...]\n")
        return 2
    directory, count = argv[1], int(argv[2])
    kinds = argv[3:] or ["points", "polygons"]
    os.makedirs(directory, exist_ok=True)
    for kind in kinds:
        if kind not in ("points", "polygons"):
            sys.stderr.write("unknown table kind %r\n" % kind)
            return 2
        path = table_path(directory, kind, count)
        if os.path.exists(path):
            continue
        print("== Making %s (%d rows)" % (path, count), flush=True)
        write_table(path, kind, count)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
