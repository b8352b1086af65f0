#!/usr/bin/env python3
"""Writes the seed corpus of the gx_shape_fuzz target: valid geometry blobs of
every kind, dimension and encoding the converter reads (WKB both byte orders,
EWKB, GeoPackage with every envelope, SpatiaLite blobs written by spatialite
itself, compressed ones and TinyPoints included), a few empty ones, and a few
of the kinds a shape cannot hold (named unsupported_*). The unit tests use the
same files as their set of valid inputs to cut and corrupt.

Run from anywhere: python3 fuzz/make_gx_shape_corpus.py (needs spatialite and
ogr2ogr on PATH)."""

import os
import sqlite3
import struct
import subprocess
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "corpus", "gx_shape_fuzz")
NAN = float("nan")

DIMS = {"": 0, "z": 1000, "m": 2000, "zm": 3000}
EWKB_FLAGS = {"": 0, "z": 0x80000000, "m": 0x40000000, "zm": 0xC0000000}
EWKB_SRID = 0x20000000

# The 2D shapes; Z and M values are made up per point.
POINT = (1.0, 2.0)
LINE = [(0, 0), (1, 1), (2, 0), (3, 1)]
POLYGON = [[(0, 0), (10, 0), (10, 10), (0, 10), (0, 0)],   # counter-clockwise
           [(2, 2), (2, 4), (4, 4), (4, 2), (2, 2)]]       # clockwise hole
SQUARE = [[(20, 20), (20, 21), (21, 21), (21, 20)]]         # clockwise, unclosed
MULTIPOINT = [(1, 2), (3, 4), (NAN, NAN)]                   # an empty member
MULTILINE = [LINE, [(5, 5), (6, 6)], []]                    # an empty member
MULTIPOLYGON = [POLYGON, SQUARE]


def with_dims(point, dims, index):
    x, y = point
    extra = []
    if "z" in dims:
        extra.append(NAN if x != x else 10.0 + index)
    if "m" in dims:
        extra.append(NAN if x != x else 100.0 + index)
    return (x, y, *extra)


def points(order, pts, dims):
    return b"".join(struct.pack(order + "d" * (2 + len(dims)), *with_dims(p, dims, i))
                    for i, p in enumerate(pts))


def count(order, n):
    return struct.pack(order + "I", n)


class Wkb:
    """Builds WKB (ISO codes) or EWKB (flags) of one byte order and dims."""

    def __init__(self, order, dims, ewkb=False, srid=None):
        self.order, self.dims, self.ewkb, self.srid = order, dims, ewkb, srid

    def header(self, kind, top=True):
        if self.ewkb:
            code = kind | EWKB_FLAGS[self.dims]
            if top and self.srid is not None:
                code |= EWKB_SRID
        else:
            code = kind + DIMS[self.dims]
        head = bytes([1 if self.order == "<" else 0]) + struct.pack(self.order + "I", code)
        if top and self.ewkb and self.srid is not None:
            head += struct.pack(self.order + "i", self.srid)
        return head

    def point(self, p, top=True):
        return self.header(1, top) + points(self.order, [p], self.dims)

    def line(self, pts, top=True):
        return self.header(2, top) + count(self.order, len(pts)) + points(self.order, pts,
                                                                          self.dims)

    def polygon(self, rings, top=True):
        body = count(self.order, len(rings))
        for ring in rings:
            body += count(self.order, len(ring)) + points(self.order, ring, self.dims)
        return self.header(3, top) + body

    def multi(self, kind, members):
        return self.header(kind) + count(self.order, len(members)) + b"".join(members)

    def all_kinds(self):
        return {
            "point": self.point(POINT),
            "line": self.line(LINE),
            "polygon": self.polygon(POLYGON),
            "multipoint": self.multi(4, [self.point(p, False) for p in MULTIPOINT]),
            "multiline": self.multi(5, [self.line(l, False) for l in MULTILINE]),
            "multipolygon": self.multi(6, [self.polygon(p, False) for p in MULTIPOLYGON]),
        }


ENVELOPE_DOUBLES = [0, 4, 6, 6, 8]


def geopackage(wkb, envelope_code, order, empty=False):
    flags = (envelope_code << 1) | (1 if order == "<" else 0) | (0x10 if empty else 0)
    head = b"GP" + bytes([0, flags]) + struct.pack(order + "i", 4326)
    head += struct.pack(order + "d" * ENVELOPE_DOUBLES[envelope_code],
                        *range(ENVELOPE_DOUBLES[envelope_code]))
    return head + wkb


def spatialite_blobs(directory):
    """Blobs as spatialite writes them: plain, compressed, TinyPoint."""
    wkts = {
        "point": "POINT(1 2)",
        "line_z": "LINESTRING Z(0 0 1, 1 1 2, 2 0 3, 3 1 4)",
        "polygon": "POLYGON((0 0, 10 0, 10 10, 0 10, 0 0), (2 2, 2 4, 4 4, 4 2, 2 2))",
        "polygon_m": "POLYGON M((0 0 1, 10 0 2, 10 10 3, 0 10 4, 0 0 1), "
                     "(2 2 5, 2 4 6, 4 4 7, 4 2 8, 2 2 5))",
        "polygon_zm": "POLYGON ZM((0 0 1 5, 10 0 2 6, 10 10 3 7, 0 10 4 8, 0 0 1 5))",
        "multipoint_z": "MULTIPOINT Z(1 2 3, 4 5 6)",
        "multiline": "MULTILINESTRING((1 2, 3 4, 5 6), (0 0, 1 1))",
        "multipolygon_z": "MULTIPOLYGON Z(((0 0 1, 10 0 2, 10 10 3, 0 0 1)), "
                          "((20 20 0, 20 21 0, 21 21 0, 20 20 0)))",
        "unsupported_collection": "GEOMETRYCOLLECTION(POINT(1 2), LINESTRING(0 0, 1 1))",
    }
    selects = []
    for name, wkt in wkts.items():
        selects.append("SELECT '%s', hex(GeomFromText('%s', 4326));" % (name, wkt))
        if not name.startswith(("point", "multipoint", "unsupported")):
            selects.append("SELECT '%s_compressed', hex(CompressGeometry(GeomFromText('%s', "
                           "4326)));" % (name, wkt))
    selects.append("SELECT EnableTinyPoint();")
    selects += ["SELECT 'tinypoint', hex(MakePoint(1, 2, 4326));",
                "SELECT 'tinypoint_z', hex(MakePointZ(1, 2, 3, 4326));",
                "SELECT 'tinypoint_m', hex(MakePointM(1, 2, 3, 4326));",
                "SELECT 'tinypoint_zm', hex(MakePointZM(1, 2, 3, 4, 4326));"]
    db = os.path.join(directory, "corpus.sqlite")
    output = subprocess.run(["spatialite", "-batch", "-bail", db, "\n".join(selects)],
                            check=True, capture_output=True, text=True).stdout
    blobs = {}
    for line in output.splitlines():
        if "|" in line:
            name, hex_text = line.split("|", 1)
            blobs["spatialite_" + name] = bytes.fromhex(hex_text)
    return blobs


def ogr2ogr_blobs(directory):
    """GeoPackage blobs as ogr2ogr writes them."""
    csv = os.path.join(directory, "in.csv")
    with open(csv, "w") as f:
        f.write('id,WKT\n'
                '1,"MULTIPOLYGON (((0 0,10 0,10 10,0 10,0 0),(2 2,2 4,4 4,4 2,2 2)))"\n'
                '2,"MULTIPOLYGON (((20 20,20 21,21 21,20 20)))"\n')
    gpkg = os.path.join(directory, "out.gpkg")
    subprocess.run(["ogr2ogr", "-q", "-f", "GPKG", gpkg, csv, "-nln", "shapes",
                    "-nlt", "MULTIPOLYGON"], check=True)
    with sqlite3.connect(gpkg) as db:
        rows = db.execute("SELECT fid, geom FROM shapes ORDER BY fid").fetchall()
    return {"ogr2ogr_multipolygon_%d" % fid: bytes(geom) for fid, geom in rows}


def main():
    corpus = {}
    for order, order_name in (("<", "le"), (">", "be")):
        for dims in DIMS:
            for kind, blob in Wkb(order, dims).all_kinds().items():
                corpus["wkb_%s_%s%s" % (order_name, kind, "_" + dims if dims else "")] = blob
    for dims in ("z", "m", "zm"):
        for kind, blob in Wkb("<", dims, ewkb=True, srid=4326).all_kinds().items():
            corpus["ewkb_srid_%s_%s" % (kind, dims)] = blob
    mixed = Wkb("<", "")
    corpus["wkb_mixed_order_multipolygon"] = mixed.multi(
        6, [Wkb(">", "").polygon(POLYGON, False), mixed.polygon(SQUARE, False)])
    plain = Wkb("<", "").all_kinds()
    for code in range(5):
        for order, order_name in (("<", "le"), (">", "be")):
            corpus["gpkg_env%d_%s_polygon" % (code, order_name)] = geopackage(
                plain["polygon"], code, order)
    corpus["gpkg_empty_point"] = geopackage(Wkb("<", "").point((NAN, NAN)), 0, "<", True)
    corpus["empty_line"] = Wkb("<", "").line([])
    corpus["empty_collection"] = Wkb("<", "").header(7) + count("<", 0)
    corpus["unsupported_circularstring"] = Wkb("<", "").header(8) + count("<", 3) + points(
        "<", [(0, 0), (1, 1), (2, 0)], "")
    corpus["unsupported_collection"] = Wkb("<", "").multi(7, [plain["point"], plain["line"]])
    with tempfile.TemporaryDirectory() as directory:
        corpus.update(spatialite_blobs(directory))
        corpus.update(ogr2ogr_blobs(directory))
    os.makedirs(OUT, exist_ok=True)
    for name in os.listdir(OUT):
        os.remove(os.path.join(OUT, name))
    for name, blob in sorted(corpus.items()):
        with open(os.path.join(OUT, name), "wb") as f:
            f.write(blob)
    print("%d seeds in %s" % (len(corpus), OUT))


if __name__ == "__main__":
    main()
