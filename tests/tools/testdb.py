#!/usr/bin/env python3
"""Test-database builder: one declarative description of spatial tables,
written out as a GeoPackage, a SpatiaLite-style database or a native database
(a SQLite file with the spatial extension's own catalog tables).

Every test and the demo build their databases here, so the geometry bytes are
encoded by this file alone (GeoPackage binary, ISO WKB, EWKB and SpatiaLite's
blob, compressed classes included), independently of the converter that reads
them. Standard library only.

    from testdb import Table, Column, write_database
    t = Table(name="roads", columns=[Column("name", "TEXT"), Column("lanes", "MEDIUMINT")],
              geometry_column="geom", geometry_type="LINESTRING", dims="XY",
              srid=4326, srtext='GEOGCS["WGS 84",...]',
              rows=[{"name": "A", "lanes": 2, "geom": ("LineString", [(0, 0), (1, 1)])}])
    write_database("/tmp/x.gpkg", "gpkg", [t])

Geometry values: None (SQL NULL); ("Point", (x, y[, z][, m])); ("LineString",
[points]); ("Polygon", [ring, ...]); ("MultiPoint", [points]);
("MultiLineString", [lines]); ("MultiPolygon", [polygons]);
("GeometryCollection", [geometries]). Empty: ("Point", None), ("LineString",
[]), and so on. A bytes value is written as the blob unchanged. Coordinates
carry as many values as the table's dims (XY, XYZ, XYM, XYZM).

Command line:
    testdb.py make-sample OUT [gpkg|spatialite|native]   the demo database
    testdb.py build TABLES.json OUT KIND                     a JSON description
KIND postgres makes OUT a database of the PostgreSQL test cluster that
SPOOLMAP_PG_CONNECTION names (testdb_postgres.py).
The JSON form is {"tables": [{"name": ..., "columns": [[name, type[, pg_type]], ...],
"geometry_column": ..., "geometry_type": ..., "dims": ..., "srid": ...,
"srtext": ..., "rows": [{column: value, ...}]}], "sql": [statements]}, with
geometries as lists (["LineString", [[0, 0], [1, 1]]]) and blobs as
{"hex": "..."}.
"""

import json
import math
import os
import sqlite3
import struct
import sys

WGS84_SRTEXT = ('GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563,'
                'AUTHORITY["EPSG","7030"]],AUTHORITY["EPSG","6326"]],PRIMEM["Greenwich",0,'
                'AUTHORITY["EPSG","8901"]],UNIT["degree",0.0174532925199433,'
                'AUTHORITY["EPSG","9122"]],AUTHORITY["EPSG","4326"]]')

# ISO WKB type codes; +1000 Z, +2000 M, +3000 ZM.
WKB_CODES = {"Point": 1, "LineString": 2, "Polygon": 3, "MultiPoint": 4,
             "MultiLineString": 5, "MultiPolygon": 6, "GeometryCollection": 7}
DIMS = {"XY": (False, False), "XYZ": (True, False), "XYM": (False, True), "XYZM": (True, True)}
DIM_OFFSET = {"XY": 0, "XYZ": 1000, "XYM": 2000, "XYZM": 3000}
EWKB_Z, EWKB_M, EWKB_SRID = 0x80000000, 0x40000000, 0x20000000
SPATIALITE_COMPRESSED = 1000000
SPATIALITE_MBR_END, SPATIALITE_END, SPATIALITE_MEMBER = 0x7C, 0xFE, 0x69
GPKG_APPLICATION_ID, GPKG_USER_VERSION = 0x47504B47, 10200
GPKG_ENVELOPE = {"none": 0, "xy": 1, "xyz": 2, "xym": 3, "xyzm": 4}
GPKG_EMPTY_FLAG = 0x10


class Column:
    """An attribute column: its name and declared type, both as written in
    CREATE TABLE (a declared type of "" means none at all). pg_type, when
    given, is the column's type in PostgreSQL instead of the one the declared
    type maps to (testdb_postgres.py): for a type only the server has, or a
    declared type without a PostgreSQL type that describes the same."""

    def __init__(self, name, decl_type, pg_type=None):
        self.name = name
        self.decl_type = decl_type
        self.pg_type = pg_type


class Table:
    """One table. geometry_column None makes a table without geometry. srtext
    None means an undefined reference system. Further options:
    fid_column      name of an INTEGER PRIMARY KEY column made first (None: none)
    geometry_first  put the geometry column before the attribute columns
    geometry_decl   declared type of the geometry column (default: the type name)
    encoding        "wkb" or "ewkb" (native databases; GeoPackage carries WKB)
    byte_order      "little" or "big" for every number in the geometry blobs
    gpkg_envelope   "auto" (none for points, xy otherwise), "none", "xy",
                    "xyz", "xym", "xyzm"
    compressed      SpatiaLite: write lines and polygons as compressed classes
    register        enter the geometry column into the catalog tables
    schema          PostgreSQL only: the schema to make the table in, one
                    that is not on the search path (None: on it)
    """

    def __init__(self, name, columns, geometry_column=None, geometry_type="GEOMETRY", dims="XY",
                 srid=0, srtext=None, rows=(), fid_column=None, geometry_first=False,
                 geometry_decl=None, encoding="wkb", byte_order="little", gpkg_envelope="auto",
                 compressed=False, register=True, schema=None):
        if dims not in DIMS:
            raise ValueError("dims must be one of XY, XYZ, XYM, XYZM: %r" % (dims,))
        if encoding not in ("wkb", "ewkb"):
            raise ValueError("encoding must be wkb or ewkb: %r" % (encoding,))
        if byte_order not in ("little", "big"):
            raise ValueError("byte_order must be little or big: %r" % (byte_order,))
        if gpkg_envelope != "auto" and gpkg_envelope not in GPKG_ENVELOPE:
            raise ValueError("unknown gpkg_envelope %r" % (gpkg_envelope,))
        self.name = name
        self.columns = list(columns)
        self.geometry_column = geometry_column
        self.geometry_type = geometry_type.upper()
        self.dims = dims
        self.srid = srid
        self.srtext = srtext
        self.rows = list(rows)
        self.fid_column = fid_column
        self.geometry_first = geometry_first
        self.geometry_decl = geometry_decl
        self.encoding = encoding
        self.byte_order = byte_order
        self.gpkg_envelope = gpkg_envelope
        self.compressed = compressed
        self.register = register
        self.schema = schema


# ---------------------------------------------------------------------------
# Geometry encoding.

class _Writer:
    """Appends numbers in one byte order."""

    def __init__(self, byte_order):
        self.prefix = "<" if byte_order == "little" else ">"
        self.parts = []

    def u8(self, value):
        self.parts.append(struct.pack("B", value))

    def u32(self, value):
        self.parts.append(struct.pack(self.prefix + "I", value))

    def i32(self, value):
        self.parts.append(struct.pack(self.prefix + "i", value))

    def f64(self, *values):
        self.parts.append(struct.pack(self.prefix + "%dd" % len(values), *values))

    def f32(self, *values):
        self.parts.append(struct.pack(self.prefix + "%df" % len(values), *values))

    def raw(self, data):
        self.parts.append(data)

    def bytes(self):
        return b"".join(self.parts)


def _check_point(point, dims):
    want = len(dims)
    if len(point) != want:
        raise ValueError("a point of a %s table needs %d coordinates, not %r" % (dims, want, point))
    return tuple(float(v) for v in point)


def _points_of(kind, body):
    """Every coordinate tuple of a geometry, in order."""
    if kind == "Point":
        return [] if body is None else [body]
    if kind in ("LineString", "MultiPoint"):
        return list(body)
    if kind in ("Polygon", "MultiLineString"):
        return [p for part in body for p in part]
    if kind == "MultiPolygon":
        return [p for polygon in body for ring in polygon for p in ring]
    if kind == "GeometryCollection":
        return [p for member in body for p in _points_of(member[0], member[1])]
    raise ValueError("unknown geometry kind %r" % (kind,))


def _is_empty(kind, body):
    return len(_points_of(kind, body)) == 0


def _wkb_body(w, kind, body, dims, member_header):
    """The body of a geometry after its header; member_header(w, kind) writes
    the header of each member of a multi-geometry or collection."""
    n = len(dims)
    if kind == "Point":
        w.f64(*(_check_point(body, dims) if body is not None else (math.nan,) * n))
    elif kind == "LineString":
        w.u32(len(body))
        for p in body:
            w.f64(*_check_point(p, dims))
    elif kind == "Polygon":
        w.u32(len(body))
        for ring in body:
            w.u32(len(ring))
            for p in ring:
                w.f64(*_check_point(p, dims))
    elif kind in ("MultiPoint", "MultiLineString", "MultiPolygon"):
        member = {"MultiPoint": "Point", "MultiLineString": "LineString",
                  "MultiPolygon": "Polygon"}[kind]
        w.u32(len(body))
        for part in body:
            member_header(w, member)
            _wkb_body(w, member, part, dims, member_header)
    elif kind == "GeometryCollection":
        w.u32(len(body))
        for member_kind, member_body in body:
            member_header(w, member_kind)
            _wkb_body(w, member_kind, member_body, dims, member_header)
    else:
        raise ValueError("unknown geometry kind %r" % (kind,))


def encode_wkb(geometry, dims="XY", byte_order="little"):
    """ISO WKB: type codes with +1000 Z, +2000 M, +3000 ZM."""
    kind, body = geometry

    def header(w, k):
        w.u8(1 if byte_order == "little" else 0)
        w.u32(WKB_CODES[k] + DIM_OFFSET[dims])

    w = _Writer(byte_order)
    header(w, kind)
    _wkb_body(w, kind, body, dims, header)
    return w.bytes()


def encode_ewkb(geometry, dims="XY", byte_order="little", srid=None):
    """EWKB: Z, M and SRID as flags in the type's high bits; the SRID only on
    the outermost geometry."""
    kind, body = geometry
    has_z, has_m = DIMS[dims]
    flags = (EWKB_Z if has_z else 0) | (EWKB_M if has_m else 0)

    def header(w, k, with_srid=False):
        w.u8(1 if byte_order == "little" else 0)
        w.u32(WKB_CODES[k] | flags | (EWKB_SRID if with_srid else 0))
        if with_srid:
            w.i32(srid)

    w = _Writer(byte_order)
    header(w, kind, srid is not None)
    _wkb_body(w, kind, body, dims, header)
    return w.bytes()


def _envelope(points):
    """(minx, maxx, miny, maxy, minz, maxz, minm, maxm) by dims, or None."""
    if not points:
        return None
    columns = list(zip(*points))
    return [(min(c), max(c)) for c in columns]


def encode_gpkg(geometry, dims="XY", srs_id=0, byte_order="little", envelope="auto"):
    """GeoPackage binary: "GP", version 0, flags, srs_id, envelope, then WKB."""
    kind, body = geometry
    empty = _is_empty(kind, body)
    if envelope == "auto":
        envelope = "none" if (kind == "Point" or empty) else "xy"
    indicator = GPKG_ENVELOPE[envelope]
    flags = (1 if byte_order == "little" else 0) | (indicator << 1) | (GPKG_EMPTY_FLAG if empty else 0)
    w = _Writer(byte_order)
    w.raw(b"GP")
    w.u8(0)
    w.u8(flags)
    w.i32(srs_id)
    if indicator:
        ranges = _envelope([_check_point(p, dims) for p in _points_of(kind, body)])
        if ranges is None:
            ranges = [(math.nan, math.nan)] * len(dims)
        by_axis = dict(zip(dims, ranges))
        values = list(by_axis["X"]) + list(by_axis["Y"])
        for axis in envelope[2:].upper():
            values += list(by_axis.get(axis, (math.nan, math.nan)))
        w.f64(*values)
    w.raw(encode_wkb(geometry, dims, byte_order))
    return w.bytes()


def _spatialite_class(kind, dims, compressed):
    code = WKB_CODES[kind] + DIM_OFFSET[dims]
    if compressed and kind in ("LineString", "Polygon"):
        code += SPATIALITE_COMPRESSED
    return code


def _spatialite_line(w, points, dims, compressed):
    """A line or ring; compressed: first and last vertex whole, the others as
    float deltas of X, Y (and Z) from the previous vertex, M kept whole."""
    w.u32(len(points))
    has_z, has_m = DIMS[dims]
    points = [_check_point(p, dims) for p in points]
    for i, p in enumerate(points):
        if not compressed or i == 0 or i == len(points) - 1:
            w.f64(*p)
            continue
        prev = points[i - 1]
        deltas = [p[0] - prev[0], p[1] - prev[1]] + ([p[2] - prev[2]] if has_z else [])
        w.f32(*deltas)
        if has_m:
            w.f64(p[-1])


def _spatialite_body(w, kind, body, dims, compressed):
    n = len(dims)
    if kind == "Point":
        w.f64(*(_check_point(body, dims) if body is not None else (math.nan,) * n))
    elif kind == "LineString":
        _spatialite_line(w, body, dims, compressed)
    elif kind == "Polygon":
        w.u32(len(body))
        for ring in body:
            _spatialite_line(w, ring, dims, compressed)
    elif kind in ("MultiPoint", "MultiLineString", "MultiPolygon", "GeometryCollection"):
        if kind == "GeometryCollection":
            members = list(body)
        else:
            member = {"MultiPoint": "Point", "MultiLineString": "LineString",
                      "MultiPolygon": "Polygon"}[kind]
            members = [(member, part) for part in body]
        w.u32(len(members))
        for member_kind, member_body in members:
            w.u8(SPATIALITE_MEMBER)
            w.i32(_spatialite_class(member_kind, dims, compressed))
            _spatialite_body(w, member_kind, member_body, dims, compressed)
    else:
        raise ValueError("unknown geometry kind %r" % (kind,))


def encode_spatialite(geometry, dims="XY", srid=0, byte_order="little", compressed=False):
    """SpatiaLite's blob: 0x00, byte order, SRID, MBR, 0x7C, class, body, 0xFE."""
    kind, body = geometry
    points = [_check_point(p, dims) for p in _points_of(kind, body)]
    ranges = _envelope(points) or [(0.0, 0.0), (0.0, 0.0)]
    w = _Writer(byte_order)
    w.u8(0)
    w.u8(1 if byte_order == "little" else 0)
    w.i32(srid)
    w.f64(ranges[0][0], ranges[1][0], ranges[0][1], ranges[1][1])
    w.u8(SPATIALITE_MBR_END)
    w.i32(_spatialite_class(kind, dims, compressed))
    _spatialite_body(w, kind, body, dims, compressed)
    w.u8(SPATIALITE_END)
    return w.bytes()


def _normalise_geometry(value):
    """Accepts the tuple form or the JSON list form; bytes pass unchanged."""
    if value is None or isinstance(value, (bytes, bytearray)):
        return value
    if isinstance(value, dict) and "hex" in value:
        return bytes.fromhex(value["hex"])
    kind, body = value[0], value[1]
    if kind not in WKB_CODES:
        raise ValueError("unknown geometry kind %r" % (kind,))
    if kind == "GeometryCollection":
        body = [_normalise_geometry(m) for m in body]
    return (kind, body)


# ---------------------------------------------------------------------------
# Database layouts.

def _quote(name):
    return '"' + name.replace('"', '""') + '"'


def _column_defs(table):
    defs = []
    if table.fid_column:
        defs.append("%s INTEGER PRIMARY KEY AUTOINCREMENT" % _quote(table.fid_column))
    attributes = ["%s %s" % (_quote(c.name), c.decl_type) if c.decl_type else _quote(c.name)
                  for c in table.columns]
    if table.geometry_column:
        geometry = "%s %s" % (_quote(table.geometry_column),
                              table.geometry_decl if table.geometry_decl is not None
                              else table.geometry_type)
        attributes = [geometry] + attributes if table.geometry_first else attributes + [geometry]
    return defs + attributes


def _column_order(table):
    names = [c.name for c in table.columns]
    if table.geometry_column:
        names = [table.geometry_column] + names if table.geometry_first else names + [table.geometry_column]
    return names


def _sql_value(value):
    if isinstance(value, bool):
        return int(value)
    if isinstance(value, dict) and "hex" in value:
        return bytes.fromhex(value["hex"])
    if hasattr(value, "isoformat") and not isinstance(value, (str, bytes)):
        return value.isoformat()
    return value


def _stored_names(table):
    """The columns a row fills, in table order: the fid first, if any."""
    return ([table.fid_column] if table.fid_column else []) + _column_order(table)


def _row_values(table, encode):
    """Each row's values in _stored_names order, geometries encoded by
    encode(table, geometry) unless None or given as bytes; a fid not given is
    None. A row naming a column the table lacks is an error."""
    names = _stored_names(table)
    known = {n.lower() for n in names}
    for row in table.rows:
        # Column names compare ignoring case, as SQL identifiers do.
        by_name = {k.lower(): v for k, v in row.items()}
        unknown = set(by_name) - known
        if unknown:
            raise ValueError("row of %s names unknown columns %s" % (table.name, sorted(unknown)))
        values = []
        for name in names:
            value = by_name.get(name.lower())
            if name == table.geometry_column:
                geometry = _normalise_geometry(value)
                if geometry is None or isinstance(geometry, (bytes, bytearray)):
                    values.append(geometry)
                else:
                    values.append(encode(table, geometry))
            else:
                values.append(_sql_value(value))
        yield values


def _insert_rows(con, table, encode):
    # A fid not given is NULL, which INTEGER PRIMARY KEY numbers itself.
    names = _stored_names(table)
    sql = "INSERT INTO %s (%s) VALUES (%s)" % (_quote(table.name), ", ".join(_quote(n) for n in names),
                                              ", ".join("?" for _ in names))
    for values in _row_values(table, encode):
        con.execute(sql, values)


def _srs_rows(tables, undefined_text):
    """srid -> definition for the geometry tables; undefined ones get
    undefined_text. Two tables that disagree on one srid are an error."""
    result = {}
    for t in tables:
        if not t.geometry_column:
            continue
        text = t.srtext if t.srtext is not None else undefined_text
        if t.srid in result and result[t.srid] != text:
            raise ValueError("srid %d is given two different definitions" % t.srid)
        result[t.srid] = text
    return result


def _all_points(table):
    points = []
    for row in table.rows:
        g = _normalise_geometry(row.get(table.geometry_column))
        if g is not None and not isinstance(g, (bytes, bytearray)):
            points += [_check_point(p, table.dims) for p in _points_of(*g)]
    return points


def _write_gpkg(con, tables):
    con.execute("PRAGMA application_id = %d" % GPKG_APPLICATION_ID)
    con.execute("PRAGMA user_version = %d" % GPKG_USER_VERSION)
    con.execute("CREATE TABLE gpkg_spatial_ref_sys (srs_name TEXT NOT NULL, srs_id INTEGER PRIMARY KEY,"
                " organization TEXT NOT NULL, organization_coordsys_id INTEGER NOT NULL,"
                " definition TEXT NOT NULL, description TEXT)")
    con.execute("CREATE TABLE gpkg_contents (table_name TEXT NOT NULL PRIMARY KEY, data_type TEXT NOT NULL,"
                " identifier TEXT UNIQUE, description TEXT DEFAULT '', last_change DATETIME NOT NULL"
                " DEFAULT (strftime('%Y-%m-%dT%H:%M:%fZ','now')), min_x DOUBLE, min_y DOUBLE,"
                " max_x DOUBLE, max_y DOUBLE, srs_id INTEGER)")
    con.execute("CREATE TABLE gpkg_geometry_columns (table_name TEXT NOT NULL, column_name TEXT NOT NULL,"
                " geometry_type_name TEXT NOT NULL, srs_id INTEGER NOT NULL, z TINYINT NOT NULL,"
                " m TINYINT NOT NULL, CONSTRAINT pk_geom_cols PRIMARY KEY (table_name, column_name))")
    srs = {-1: ("Undefined cartesian SRS", "NONE", -1, "undefined"),
           0: ("Undefined geographic SRS", "NONE", 0, "undefined"),
           4326: ("WGS 84 geodetic", "EPSG", 4326, WGS84_SRTEXT)}
    for srid, text in _srs_rows(tables, "undefined").items():
        if srid in (-1, 0) and text == "undefined":
            continue
        srs[srid] = ("srs %d" % srid, "EPSG", srid, text)
    for srid, (name, org, org_id, definition) in sorted(srs.items()):
        con.execute("INSERT INTO gpkg_spatial_ref_sys VALUES (?, ?, ?, ?, ?, NULL)",
                    (name, srid, org, org_id, definition))

    def encode(table, geometry):
        return encode_gpkg(geometry, table.dims, table.srid, table.byte_order, table.gpkg_envelope)

    for t in tables:
        con.execute("CREATE TABLE %s (%s)" % (_quote(t.name), ", ".join(_column_defs(t))))
        if t.geometry_column and t.register:
            ranges = _envelope(_all_points(t))
            box = (ranges[0][0], ranges[1][0], ranges[0][1], ranges[1][1]) if ranges else (None,) * 4
            con.execute("INSERT INTO gpkg_contents (table_name, data_type, identifier, min_x, min_y,"
                        " max_x, max_y, srs_id) VALUES (?, 'features', ?, ?, ?, ?, ?, ?)",
                        (t.name, t.name) + box + (t.srid,))
            has_z, has_m = DIMS[t.dims]
            con.execute("INSERT INTO gpkg_geometry_columns VALUES (?, ?, ?, ?, ?, ?)",
                        (t.name, t.geometry_column, t.geometry_type, t.srid, int(has_z), int(has_m)))
        elif not t.geometry_column:
            con.execute("INSERT INTO gpkg_contents (table_name, data_type, identifier) VALUES (?, 'attributes', ?)",
                        (t.name, t.name))
        _insert_rows(con, t, encode)


def _write_spatialite(con, tables):
    """The catalog layout of SpatiaLite 4: geometry_columns with numeric type
    and dimension, spatial_ref_sys, and per indexed column an R*Tree with its
    shadow tables beside the module-less SpatialIndex virtual table."""
    con.execute("CREATE TABLE spatial_ref_sys (srid INTEGER NOT NULL PRIMARY KEY, auth_name TEXT NOT NULL,"
                " auth_srid INTEGER NOT NULL, ref_sys_name TEXT NOT NULL DEFAULT 'Unknown',"
                " proj4text TEXT NOT NULL, srtext TEXT NOT NULL DEFAULT 'Undefined')")
    con.execute("CREATE TABLE geometry_columns (f_table_name TEXT NOT NULL, f_geometry_column TEXT NOT NULL,"
                " geometry_type INTEGER NOT NULL, coord_dimension INTEGER NOT NULL, srid INTEGER NOT NULL,"
                " spatial_index_enabled INTEGER NOT NULL,"
                " CONSTRAINT pk_geom_cols PRIMARY KEY (f_table_name, f_geometry_column))")
    srs = {-1: ("NONE", -1, "Undefined - Cartesian", "Undefined"),
           0: ("NONE", 0, "Undefined - Geographic Long/Lat", "Undefined"),
           4326: ("epsg", 4326, "WGS 84", WGS84_SRTEXT)}
    for srid, text in _srs_rows(tables, "Undefined").items():
        if srid in (-1, 0) and text == "Undefined":
            continue
        srs[srid] = ("epsg", srid, "srs %d" % srid, text)
    for srid, (auth, auth_srid, name, text) in sorted(srs.items()):
        con.execute("INSERT INTO spatial_ref_sys VALUES (?, ?, ?, ?, '', ?)", (srid, auth, auth_srid, name, text))

    def encode(table, geometry):
        return encode_spatialite(geometry, table.dims, table.srid, table.byte_order, table.compressed)

    virtuals = []
    for t in tables:
        con.execute("CREATE TABLE %s (%s)" % (_quote(t.name), ", ".join(_column_defs(t))))
        if t.geometry_column and t.register:
            code = 0 if t.geometry_type == "GEOMETRY" else WKB_CODES[_kind_name(t.geometry_type)]
            code += DIM_OFFSET[t.dims]
            dimension = {"XY": 2, "XYZ": 3, "XYM": 3, "XYZM": 4}[t.dims]
            con.execute("INSERT INTO geometry_columns VALUES (?, ?, ?, ?, ?, 1)",
                        (t.name.lower(), t.geometry_column.lower(), code, dimension, t.srid))
            index = "idx_%s_%s" % (t.name, t.geometry_column)
            try:
                con.execute("CREATE VIRTUAL TABLE %s USING rtree(pkid, xmin, xmax, ymin, ymax)" % _quote(index))
            except sqlite3.OperationalError:
                pass  # a Python without R*Tree: the catalog is complete without it
            virtuals.append(index)
        _insert_rows(con, t, encode)
    if virtuals:
        # SpatiaLite's own module is not here, so its virtual table goes in the
        # schema directly, exactly as SpatiaLite leaves it in a real file.
        con.execute("PRAGMA writable_schema = ON")
        con.execute("INSERT INTO sqlite_master (type, name, tbl_name, rootpage, sql) VALUES"
                    " ('table', 'SpatialIndex', 'SpatialIndex', 0,"
                    " 'CREATE VIRTUAL TABLE SpatialIndex USING VirtualSpatialIndex()')")
        con.execute("PRAGMA writable_schema = OFF")


def _write_native(con, tables):
    con.execute("CREATE TABLE geometry_columns (f_table_name TEXT, f_geometry_column TEXT, srid INTEGER)")
    con.execute("CREATE TABLE spatial_references (srid INTEGER, srtext TEXT)")
    for srid, text in sorted(_srs_rows(tables, "UNKNOWN").items()):
        con.execute("INSERT INTO spatial_references VALUES (?, ?)", (srid, text))

    def encode(table, geometry):
        if table.encoding == "ewkb":
            return encode_ewkb(geometry, table.dims, table.byte_order, table.srid)
        return encode_wkb(geometry, table.dims, table.byte_order)

    for t in tables:
        con.execute("CREATE TABLE %s (%s)" % (_quote(t.name), ", ".join(_column_defs(t))))
        if t.geometry_column and t.register:
            con.execute("INSERT INTO geometry_columns VALUES (?, ?, ?)",
                        (t.name.lower(), t.geometry_column.lower(), t.srid))
        _insert_rows(con, t, encode)


def _kind_name(type_name):
    for kind in WKB_CODES:
        if kind.upper() == type_name.upper():
            return kind
    raise ValueError("unknown geometry type %r" % (type_name,))


WRITERS = {"gpkg": _write_gpkg, "spatialite": _write_spatialite, "native": _write_native}


def write_database(path, kind, tables, sql=()):
    """Writes tables into a new database file at path (an existing file is
    replaced). kind: "gpkg", "spatialite" or "native". sql: statements run
    after the tables are written (views, odd tables, broken rows)."""
    if kind not in WRITERS:
        raise ValueError("kind must be gpkg, spatialite or native: %r" % (kind,))
    tables = list(tables)
    for t in tables:
        if t.schema is not None:
            raise ValueError("table %s: a SQLite database has no schema %r" % (t.name, t.schema))
    if os.path.exists(path):
        os.remove(path)
    con = sqlite3.connect(path)
    try:
        WRITERS[kind](con, tables)
        for statement in sql:
            con.execute(statement)
        con.commit()
    finally:
        con.close()
    return path


# ---------------------------------------------------------------------------
# The demo database and the command line.

def sample_tables():
    """A small, varied data set: parcels with holes and a multipolygon,
    attributes of several types, a long column name and non-ASCII text; roads
    with Z; survey points in an undefined reference system."""
    parcel_columns = [Column("name", "TEXT(40)"), Column("owner_category", "TEXT(20)"),
                      Column("area_m2", "DOUBLE"), Column("land_value", "DOUBLE"),
                      Column("floors", "SMALLINT"), Column("registered", "DATE"),
                      Column("protected", "BOOLEAN")]
    square = [(10.0, 50.0), (10.0, 50.01), (10.01, 50.01), (10.01, 50.0), (10.0, 50.0)]
    hole = [(10.004, 50.004), (10.006, 50.004), (10.006, 50.006), (10.004, 50.006), (10.004, 50.004)]
    parcels = Table(
        name="parcels", columns=parcel_columns, geometry_column="geom", geometry_type="GEOMETRY",
        srid=4326, srtext=WGS84_SRTEXT, fid_column="fid", geometry_first=True,
        rows=[
            {"name": "Müllerstraße 5", "owner_category": "private", "area_m2": 1234.5,
             "land_value": 250000.75, "floors": 3, "registered": "2019-04-01", "protected": False,
             "geom": ("Polygon", [square, hole])},
            {"name": "Église Saint-Michel", "owner_category": "church", "area_m2": 880.25,
             "land_value": 1250000.0, "floors": 1, "registered": "1998-12-07", "protected": True,
             "geom": ("MultiPolygon", [[[(10.02, 50.0), (10.03, 50.0), (10.03, 50.01), (10.02, 50.0)]],
                                       [[(10.04, 50.0), (10.05, 50.0), (10.05, 50.01), (10.04, 50.01),
                                         (10.04, 50.0)]]])},
            {"name": "Åkerby gård", "owner_category": "public", "area_m2": None, "land_value": None,
             "floors": None, "registered": None, "protected": None, "geom": None},
            {"name": "東京タワー", "owner_category": "private", "area_m2": 3.0, "land_value": -12.5,
             "floors": -2, "registered": "2024-02-29", "protected": True,
             "geom": ("Polygon", [[(10.06, 50.0), (10.07, 50.0), (10.065, 50.01), (10.06, 50.0)]])},
        ])
    roads = Table(
        name="roads", columns=[Column("road_name", "TEXT"), Column("lanes", "MEDIUMINT"),
                               Column("osm_id", "INTEGER")],
        geometry_column="geom", geometry_type="LINESTRING", dims="XYZ", srid=4326, srtext=WGS84_SRTEXT,
        fid_column="fid", geometry_first=True,
        rows=[
            {"road_name": "Hauptstraße", "lanes": 2, "osm_id": 4611686018427387904,
             "geom": ("LineString", [(10.0, 50.0, 100.0), (10.01, 50.005, 104.5), (10.02, 50.01, 101.0)])},
            {"road_name": "Chemin des Près", "lanes": 1, "osm_id": 12345,
             "geom": ("LineString", [(10.03, 50.0, 99.0), (10.03, 50.02, 98.0)])},
        ])
    points = Table(
        name="survey_points", columns=[Column("label", "TEXT(8)"), Column("height", "REAL")],
        geometry_column="geom", geometry_type="POINT", srid=0, srtext=None,
        rows=[{"label": "P1", "height": 12.5, "geom": ("Point", (100.0, 200.0))},
              {"label": "P2", "height": 13.25, "geom": ("Point", (101.5, 199.0))}])
    return [parcels, roads, points]


def _table_from_json(description):
    columns = [Column(*c) for c in description.get("columns", [])]
    options = {k: v for k, v in description.items() if k not in ("name", "columns")}
    return Table(name=description["name"], columns=columns, **options)


def main(argv):
    if len(argv) >= 3 and argv[1] == "make-sample":
        kind = argv[3] if len(argv) > 3 else "gpkg"
        write_database(argv[2], kind, sample_tables())
        return 0
    if len(argv) == 5 and argv[1] == "build":
        with open(argv[2], encoding="utf-8") as f:
            description = json.load(f)
        tables = [_table_from_json(t) for t in description["tables"]]
        if argv[4] == "postgres":
            import testdb_postgres
            testdb_postgres.write_postgres(testdb_postgres.read_connection(), argv[3], tables,
                                           description.get("sql", ()))
        else:
            write_database(argv[3], argv[4], tables, description.get("sql", ()))
        return 0
    sys.stderr.write("usage: testdb.py make-sample OUT [gpkg|spatialite|native]\n"
                     "       testdb.py build TABLES.json OUT gpkg|spatialite|native|postgres\n")
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
