#!/usr/bin/env python3
"""Loads one GeoPackage table into a PostGIS database of the test cluster for
bench/pg_compare.sh, value for value:

    pg_load_gpkg.py CLUSTER_FILE DATABASE GPKG TABLE TARGET

GDAL's own loader cannot be used: it writes doubles with 15 digits, so the
largest double comes out above its own range and PostgreSQL refuses it, and
it keeps TEXT(n) as varchar(n) although a GeoPackage's text may be longer.
Here every double travels as its shortest exact text, the declared types map
to PostgreSQL types as the test-database builder maps them (so the server
describes the columns as the GeoPackage's), a TEXT(n) holding longer values
becomes text (said on stderr), and the geometries go in as EWKB with the
column's SRID. Rows stream into COPY: the table never sits in memory.
"""

import os
import sqlite3
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "tools"))
import testdb  # noqa: E402
import testdb_postgres  # noqa: E402

# GeoPackage binary header: "GP", version, flags, srs_id, then an envelope
# whose size follows from the flags' envelope indicator.
GPKG_HEADER_BYTES = 2 + 1 + 1 + 4
GPKG_ENVELOPE_BYTES = {0: 0, 1: 32, 2: 48, 3: 48, 4: 64}
ISO_Z, ISO_M = 1000, 2000
EWKB_FLAGS = testdb.EWKB_Z | testdb.EWKB_M | testdb.EWKB_SRID


def ewkb(blob, srid, empty):
    """The EWKB of a GeoPackage geometry blob, its outer type carrying Z, M
    and srid as EWKB flags (members keep their ISO codes, which PostGIS
    reads as well). An empty geometry of another type than the column's
    (writers often use POINT EMPTY for any) is empty, the column's EWKB of
    an empty geometry, when that is not None."""
    start = GPKG_HEADER_BYTES + GPKG_ENVELOPE_BYTES[(blob[3] >> 1) & 7]
    order = "<" if blob[start] == 1 else ">"
    code, = struct.unpack_from(order + "I", blob, start + 1)
    flags = code & EWKB_FLAGS
    base = code & ~EWKB_FLAGS
    if blob[3] & testdb.GPKG_EMPTY_FLAG and empty is not None:
        return empty
    dims = base // 1000
    flags |= (testdb.EWKB_Z if dims in (1, 3) else 0) | (testdb.EWKB_M if dims in (2, 3) else 0)
    if flags & testdb.EWKB_SRID:  # already EWKB with an SRID: keep the bytes
        return blob[start:]
    typed = struct.pack(order + "I", (base % 1000) | flags | (testdb.EWKB_SRID if srid > 0 else 0))
    with_srid = struct.pack(order + "i", srid) if srid > 0 else b""
    return blob[start:start + 1] + typed + with_srid + blob[start + 5:]


def column_types(con, table, geometry, geometry_type):
    """(name, PostgreSQL type) of every column of table, in order."""
    result = []
    for _, name, decl, _, _, primary in con.execute("PRAGMA table_info(%s)" % testdb._quote(table)):
        if name == geometry:
            result.append((name, geometry_type))
            continue
        pg_type = testdb_postgres.postgres_type(decl)
        if pg_type.startswith("varchar("):
            longest = con.execute("SELECT max(length(%s)) FROM %s" % (testdb._quote(name), testdb._quote(table))).fetchone()[0]
            if longest is not None and longest > int(pg_type[len("varchar("):-1]):
                sys.stderr.write("pg_load_gpkg: %s.%s is %s but holds %d characters: loaded as text\n"
                                 % (table, name, decl, longest))
                pg_type = "text"
        result.append((name, pg_type + (" PRIMARY KEY" if primary else "")))
    return result


def main(argv):
    if len(argv) != 6:
        sys.stderr.write(__doc__)
        return 2
    facts = testdb_postgres.read_connection(argv[1])
    database, path, table, target = argv[2:]
    con = sqlite3.connect("file:%s?mode=ro" % path, uri=True)
    geometry, kind, srid, z, m = con.execute(
        "SELECT column_name, geometry_type_name, srs_id, z, m FROM gpkg_geometry_columns"
        " WHERE table_name = ?", (table,)).fetchone()
    srid = max(srid, 0)
    dims = "XY" + ("Z" if z else "") + ("M" if m else "")
    empty = None
    if kind.upper() != "GEOMETRY":
        name = testdb._kind_name(kind)
        empty = testdb.encode_ewkb((name, None if name == "Point" else []), dims,
                                   srid=srid if srid > 0 else None)
    geometry_type = "geometry(%s%s%s, %d)" % (kind, "Z" if z else "", "M" if m else "", srid)
    columns = column_types(con, table, geometry, geometry_type)
    names = ", ".join(testdb._quote(n) for n, _ in columns)
    testdb_postgres.psql(facts, database, "DROP TABLE IF EXISTS %s; CREATE TABLE %s (%s); ALTER TABLE %s OWNER TO %s;"
                         % (testdb._quote(target), testdb._quote(target),
                            ", ".join("%s %s" % (testdb._quote(n), t) for n, t in columns),
                            testdb._quote(target), testdb._quote(facts["user"])))

    command, environment = testdb_postgres.psql_command(facts, database)
    command += ["-c", "COPY %s (%s) FROM STDIN" % (testdb._quote(target), names)]
    copy = subprocess.Popen(command, stdin=subprocess.PIPE, env=environment)
    at = [n for n, _ in columns].index(geometry)
    types = [t.split()[0] for _, t in columns]
    text = testdb_postgres.copy_text
    rows = con.execute("SELECT %s FROM %s" % (names, testdb._quote(table)))
    try:
        while True:
            batch = rows.fetchmany(10000)
            if not batch:
                break
            lines = []
            for row in batch:
                row = list(row)
                if row[at] is not None:
                    row[at] = ewkb(row[at], srid, empty).hex()
                lines.append("\t".join(text(v, t) for v, t in zip(row, types)))
            copy.stdin.write(("\n".join(lines) + "\n").encode("utf-8"))
    finally:
        copy.stdin.close()
    return 1 if copy.wait() != 0 else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
