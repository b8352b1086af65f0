"""The PostgreSQL side of the test-database builder: the table descriptions
of testdb.py loaded into a database of the private test cluster
(scripts/pg-test-cluster.sh), so that one definition runs against both
engines.

Each declared type becomes the PostgreSQL type that the server engine
describes as the embedded engine describes the declared type (TEXT(12) is
varchar(12), MEDIUMINT integer, INTEGER bigint, ...). A declared type whose
every PostgreSQL counterpart would be described otherwise is refused with a
message saying so; Column(pg_type=...) then names the type to use. The
geometry column is PostGIS's geometry(<Type>[Z|M|ZM], srid), which registers
it in geometry_columns; an unregistered one is bytea holding the WKB. Rows
travel as COPY text through the psql binary, geometries as EWKB hex, so
PostGIS parses the bytes this builder encoded. Standard library only.

The cluster's facts come from the file scripts/pg-test-cluster.sh writes,
named by the environment variable SPOOLMAP_PG_CONNECTION. Tables are made by
the cluster's test role, which spoolmap connects as; spatial_ref_sys is
changed as the superuser (PostGIS owns it).
"""

import math
import os
import re
import subprocess

import testdb

CONNECTION_ENV = "SPOOLMAP_PG_CONNECTION"
FIELD_END = "\x1f"  # ASCII unit separator: between the fields of psql's output
DATABASE_NAME = re.compile(r"^[a-z_][a-z0-9_]{0,62}$")
DECLARED = re.compile(r"^\s*([A-Za-z][A-Za-z0-9_ ]*?)\s*(?:\(\s*(\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*$")
# Where PostGIS would refuse a definition of a reference system.
MAX_SRID = 998999

# Declared type name (upper case, single spaces) -> PostgreSQL type; "%s"
# takes the declared length or precision and scale.
WITH_LENGTH = {"CHAR": "char(%s)", "CHARACTER": "char(%s)", "NCHAR": "char(%s)",
               "VARCHAR": "varchar(%s)", "NVARCHAR": "varchar(%s)", "TEXT": "varchar(%s)",
               "CHARACTER VARYING": "varchar(%s)"}
PLAIN = {"CHAR": "char(1)", "CHARACTER": "char(1)", "NCHAR": "char(1)",
         "VARCHAR": "varchar", "NVARCHAR": "varchar", "CHARACTER VARYING": "varchar",
         "TEXT": "text", "CLOB": "text", "": "text",
         "SMALLINT": "smallint", "INT2": "smallint", "TINYINT": "smallint",
         "MEDIUMINT": "integer", "INT4": "integer",
         # The server cannot tell a serial from an integer: described as 2, not 6.
         "SERIAL": "integer",
         "INT": "bigint", "INTEGER": "bigint", "BIGINT": "bigint", "INT8": "bigint",
         "SERIAL8": "bigint", "BIGSERIAL": "bigint",
         "FLOAT": "double precision", "DOUBLE": "double precision",
         "DOUBLE PRECISION": "double precision", "REAL": "double precision",
         "SMALLFLOAT": "real",
         "DECIMAL": "numeric", "NUMERIC": "numeric", "DEC": "numeric",
         "DATE": "date", "BOOLEAN": "boolean", "BOOL": "boolean",
         # Outside spoolmap's mapping on both engines.
         "DATETIME": "timestamp", "TIMESTAMP": "timestamp", "BLOB": "bytea"}
DECIMALS = ("DECIMAL", "NUMERIC", "DEC")
GEOMETRY_NAMES = {"GEOMETRY", "POINT", "LINESTRING", "POLYGON", "MULTIPOINT", "MULTILINESTRING",
                  "MULTIPOLYGON", "GEOMETRYCOLLECTION"}
DIMS_SUFFIX = {"XY": "", "XYZ": "Z", "XYM": "M", "XYZM": "ZM"}
INTEGER_TYPES = {"smallint", "integer", "bigint"}


def postgres_type(decl_type):
    """The PostgreSQL type for a declared type; ValueError when none is
    described the same, or the declared type is not understood."""
    if not decl_type.strip():
        return PLAIN[""]
    match = DECLARED.match(decl_type)
    if not match:
        raise ValueError("declared type %r is not understood" % (decl_type,))
    name = " ".join(match.group(1).upper().split())
    first, second = match.group(2), match.group(3)
    if first is None:
        if name == "MONEY":
            raise ValueError("MONEY alone is MONEY(16,2), but money is described as MONEY(19,2);"
                             " declare MONEY(19,2) or give pg_type")
        if name in GEOMETRY_NAMES:
            return "geometry"  # an attribute column, not the registered one
        if name in PLAIN:
            return PLAIN[name]
    elif second is None:
        if name in WITH_LENGTH:
            return WITH_LENGTH[name] % first
        if name in DECIMALS:
            raise ValueError("%s has no PostgreSQL type that is described the same: numeric(p) has"
                             " scale 0, not a floating scale; give pg_type" % decl_type.strip())
    else:
        if name in DECIMALS:
            return "numeric(%s,%s)" % (first, second)
        if name == "MONEY" and (first, second) == ("19", "2"):
            return "money"
        if name == "MONEY":
            raise ValueError("%s: money is described as MONEY(19,2) only; give pg_type"
                             % decl_type.strip())
    raise ValueError("declared type %r has no PostgreSQL type here; give pg_type" % (decl_type,))


def geometry_type(table):
    """geometry(<Type>[Z|M|ZM], srid) for the table's registered geometry
    column; an undefined reference system (srid 0 or less) is SRID 0."""
    return "geometry(%s%s, %d)" % (table.geometry_type, DIMS_SUFFIX[table.dims], max(table.srid, 0))


def _literal(text):
    return "'" + text.replace("'", "''") + "'"


def _qualified(table):
    return (testdb._quote(table.schema) + "." if table.schema else "") + testdb._quote(table.name)


def _column_types(table):
    """(name, PostgreSQL type) of every column, in table order."""
    types = {c.name: c.pg_type or postgres_type(c.decl_type) for c in table.columns}
    if table.geometry_column:
        types[table.geometry_column] = geometry_type(table) if table.register else "bytea"
    result = [(table.fid_column, "bigint PRIMARY KEY")] if table.fid_column else []
    return result + [(name, types[name]) for name in testdb._column_order(table)]


COPY_ESCAPES = str.maketrans({"\\": "\\\\", "\n": "\\n", "\r": "\\r", "\t": "\\t"})


def copy_text(value, pg_type):
    """One value in COPY's text format."""
    if value is None:
        return "\\N"
    if isinstance(value, (bytes, bytearray)):
        return "\\\\x" + bytes(value).hex()
    if isinstance(value, float):
        if math.isnan(value):
            return "NaN"
        if math.isinf(value):
            return "Infinity" if value > 0 else "-Infinity"
        # SQLite keeps a whole REAL in an INTEGER column as an integer.
        if pg_type in INTEGER_TYPES and value.is_integer():
            return str(int(value))
        return repr(value)
    return str(value).translate(COPY_ESCAPES)


def _encode(table, geometry):
    """Registered columns get EWKB with the column's SRID, which PostGIS
    requires; unregistered (bytea) ones the encoding the table asks for."""
    if table.register:
        return testdb.encode_ewkb(geometry, table.dims, table.byte_order,
                                  table.srid if table.srid > 0 else None)
    if table.encoding == "ewkb":
        return testdb.encode_ewkb(geometry, table.dims, table.byte_order, table.srid)
    return testdb.encode_wkb(geometry, table.dims, table.byte_order)


def _geometry_hex(value):
    """PostGIS's geometry input takes WKB and EWKB as hex text."""
    return None if value is None else bytes(value).hex()


def _numbered_fids(rows):
    """Numbers the rows whose fid is None as AUTOINCREMENT does: one past
    the largest fid so far."""
    largest = 0
    for values in rows:
        if values[0] is None:
            values[0] = largest + 1
        largest = max(largest, values[0])
        yield values


def table_script(table):
    """CREATE TABLE and COPY with the rows, as psql script text."""
    columns = _column_types(table)
    lines = []
    if table.schema:
        lines.append("CREATE SCHEMA IF NOT EXISTS %s;" % testdb._quote(table.schema))
    lines.append("CREATE TABLE %s (%s);" % (_qualified(table), ", ".join(
        "%s %s" % (testdb._quote(name), pg_type) for name, pg_type in columns)))
    lines.append("COPY %s (%s) FROM STDIN;" % (_qualified(table),
                                               ", ".join(testdb._quote(n) for n, _ in columns)))
    rows = testdb._row_values(table, _encode)
    if table.fid_column:
        rows = _numbered_fids(rows)
    geometry_at = [n for n, _ in columns].index(table.geometry_column) if table.geometry_column else -1
    for values in rows:
        if geometry_at >= 0 and table.register:
            values[geometry_at] = _geometry_hex(values[geometry_at])
        lines.append("\t".join(copy_text(v, t) for v, (_, t) in zip(values, columns)))
    lines.append("\\.")
    return "\n".join(lines) + "\n"


def srs_script(tables):
    """Makes spatial_ref_sys hold each table's definition of its SRID, so the
    .prj texts match the embedded engine's; a table without a definition
    keeps the one PostGIS has (or gets an entry without text)."""
    lines = []
    for srid, text in sorted(testdb._srs_rows(tables, None).items()):
        if srid <= 0:
            continue
        if srid > MAX_SRID:
            raise ValueError("srid %d is beyond what PostGIS's spatial_ref_sys holds (%d)"
                             % (srid, MAX_SRID))
        value = "NULL" if text is None else _literal(text)
        lines.append("INSERT INTO spatial_ref_sys (srid, auth_name, auth_srid, srtext)"
                     " VALUES (%d, 'spoolmap-test', %d, %s) ON CONFLICT (srid) DO %s;"
                     % (srid, srid, value, "NOTHING" if text is None else "UPDATE SET srtext = EXCLUDED.srtext"))
    return "\n".join(lines) + "\n"


# ---------------------------------------------------------------------------
# The cluster.

def read_connection(path=None):
    """The facts of the test cluster (a dict) from path, or from the file
    that SPOOLMAP_PG_CONNECTION names; a missing file is an error that says
    how to get one."""
    path = path or os.environ.get(CONNECTION_ENV)
    if not path or not os.path.exists(path):
        raise RuntimeError("no PostgreSQL test cluster (%s=%r): start one with"
                           " scripts/pg-test-cluster.sh start FILE, or run the tests through"
                           " ctest" % (CONNECTION_ENV, path))
    facts = {}
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.rstrip("\n")
            if line and not line.startswith("#") and "=" in line:
                key, value = line.split("=", 1)
                facts[key] = value
    return facts


def psql_command(facts, database, superuser=True):
    """The psql command line and environment that reach database, as the
    superuser over the unix socket or as the test role over TCP; its output
    is unaligned, tuples only, fields ended by FIELD_END, rows by NUL, so
    that any text passes."""
    command = [os.path.join(facts["bindir"], "psql"), "-X", "-q", "-A", "-t", "-0", "-F", FIELD_END,
               "-v", "ON_ERROR_STOP=1", "-d", database]
    environment = dict(os.environ)
    if superuser:
        command += ["-h", facts["socket_dir"], "-p", facts["port"], "-U", facts["superuser"]]
    else:
        command += ["-h", facts["host"], "-p", facts["port"], "-U", facts["user"]]
        environment["PGPASSWORD"] = facts["password"]
    return command, environment


def psql(facts, database, script, superuser=True):
    """Runs a psql script on database (psql_command); returns its output. A
    failing statement raises with psql's message."""
    command, environment = psql_command(facts, database, superuser)
    completed = subprocess.run(command, input=script.encode("utf-8"), stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE, env=environment, timeout=300)
    if completed.returncode != 0:
        raise RuntimeError("psql on database %s failed: %s"
                           % (database, completed.stderr.decode("utf-8", "replace").strip()))
    return completed.stdout.decode("utf-8")


def query(facts, database, sql):
    """The rows of one query as tuples of text (NULL as "")."""
    output = psql(facts, database, sql if sql.rstrip().endswith(";") else sql + ";")
    return [tuple(row.split(FIELD_END)) for row in output.split("\0")[:-1]]


def create_database(facts, name, postgis=True):
    """Makes database name anew, owned by the test role, with PostGIS or
    without (template0)."""
    if not DATABASE_NAME.match(name):
        raise ValueError("database name %r: lower case letters, digits and _ only, as -D"
                         " reaches it" % (name,))
    template = facts["template"] if postgis else "template0"
    # Statements of their own: neither runs inside a transaction.
    psql(facts, "postgres", "DROP DATABASE IF EXISTS %s WITH (FORCE);\n"
                            "CREATE DATABASE %s OWNER %s TEMPLATE %s;\n"
         % (name, name, testdb._quote(facts["user"]), testdb._quote(template)))


def drop_database(facts, name):
    psql(facts, "postgres", "DROP DATABASE IF EXISTS %s WITH (FORCE);\n" % testdb._quote(name))


def write_postgres(facts, database, tables, sql=(), postgis=True):
    """Makes database anew in the test cluster and loads tables into it, as
    write_database does for a file. sql: statements run afterwards by the
    test role. One transaction: a failure leaves the database empty."""
    tables = list(tables)
    if not postgis and any(t.geometry_column and t.register for t in tables):
        raise ValueError("a registered geometry column needs a database with PostGIS")
    create_database(facts, database, postgis)
    script = ["BEGIN;\n"]
    if postgis:
        script.append(srs_script(tables))
    script.append("SET ROLE %s;\n" % testdb._quote(facts["user"]))
    script += [table_script(t) for t in tables]
    script += [statement.rstrip().rstrip(";") + ";\n" for statement in sql]
    script.append("COMMIT;\n")
    psql(facts, database, "".join(script))
    return database
