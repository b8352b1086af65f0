"""The server path as PostGIS databases are run: tables in schemas and with
mixed-case names, conditions that hold PostgreSQL's own syntax, money of
three digits, views whose geometries carry the SRID the catalogue lacks,
read-only roles, a role without the TEMP privilege and a streaming hot
standby, and a reload or a rewrite of the table while it is unloaded. Each
gets the right rows and values, or one line and status 1 with the old set
unchanged; no message shows a password."""

import os
import re
import subprocess
import time

import harness
from harness import WGS84
from fault_tools import set_bytes
from testdb import Column, Table, encode_ewkb
import dbfread
import testdb_postgres

PID = os.getpid()
CLUSTER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "scripts",
                              "pg-test-cluster.sh")
DBF_DATE = slice(1, 4)  # the .dbf header's date of last update


def field_values(directory, field, base="out"):
    return [r[field] for r in dbfread.DBF(os.path.join(directory, base + ".dbf"))]


def assert_one_line(test, result, pattern):
    """Status 1 and one line (under the heading of an SQL error) matching
    pattern; a column the database does not have is followed by the line
    naming those it has."""
    test.assertEqual(result.status, 1, result)
    lines = [line for line in result.err.split("\n") if line and line != "EXEC SQL error ..."]
    if lines[0].startswith("Unable to determine spatial reference"):
        test.assertEqual(len(lines), 2, result)
        test.assertRegex(lines[1], r"^Spatial columns in the database: .*public\.depots,geom")
        lines = lines[:1]
    test.assertEqual(len(lines), 1, result)
    test.assertRegex(lines[0], pattern)


def server_source(database, facts, user=None, password=None, port=None, options=""):
    uri = "postgresql://%s:%s%s" % (facts["host"], port or facts["port"], options)
    return ["-D", database, "-s", uri, "-u", user or facts["user"],
            "-p", password or facts["password"]]


def superuser_script(database, script):
    testdb_postgres.psql(harness.postgres_facts(), database, script)


class ServerDatabase(harness.ScratchTestCase):
    """A database of the test cluster for the class, made by the superuser
    running cls.SCRIPT (objects as the test role), dropped after it."""

    SCRIPT = ""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        cls.facts = harness.postgres_facts()
        cls.database = "%s_%d" % (cls.__name__.lower(), PID)
        testdb_postgres.create_database(cls.facts, cls.database)
        cls.addClassCleanup(testdb_postgres.drop_database, cls.facts, cls.database)
        superuser_script(cls.database, "SET ROLE %s;\n%s" % (cls.facts["user"], cls.SCRIPT))

    def source(self, **kwargs):
        return server_source(self.database, self.facts, **kwargs)

    def unload(self, table, source=None, more=(), base="out"):
        return harness.run(harness.init_args(base, table=table.split(",")[0],
                                             column=table.split(",")[1],
                                             source=source or self.source(), more=list(more)),
                           cwd=self.dir)

    def assert_unloaded(self, table, ids, **kwargs):
        result = self.unload(table, **kwargs)
        self.assertEqual(result.status, 0, result)
        self.assertEqual(field_values(self.dir, "ID"), ids, table)


# ---------------------------------------------------------------------------
# A table reloaded or rewritten while it is unloaded.

ROWS = 1000000
TABLE_ROWS = ("CREATE TABLE {name} (id integer, label char(1), geom geometry(Point, 4326));\n"
              "INSERT INTO {name} SELECT g, 'o', ST_SetSRID(ST_MakePoint(g, g), 4326) "
              "FROM generate_series(1, %d) g;\n" % ROWS)


class Session:
    """A psql session of the superuser on database that runs what it is
    given and says when it is done; kept open between steps."""

    def __init__(self, database):
        facts = harness.postgres_facts()
        self.process = subprocess.Popen(
            [os.path.join(facts["bindir"], "psql"), "-X", "-q", "-v", "ON_ERROR_STOP=1",
             "-h", facts["socket_dir"], "-p", facts["port"], "-U", facts["superuser"],
             "-d", database], stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)

    def run(self, sql):
        self.process.stdin.write(sql + "\n\\echo done\n")
        self.process.stdin.flush()
        if self.process.stdout.readline().strip() != "done":
            raise AssertionError("psql failed on: " + sql)

    def close(self):
        self.process.stdin.close()
        self.process.wait(timeout=120)
        self.process.stdout.close()


class ConcurrentChanges(ServerDatabase):
    SCRIPT = "".join(TABLE_ROWS.format(name=n) for n in ("reloaded", "rewritten")) + \
        "CREATE TABLE locked (id integer, geom geometry(Point, 4326));\n" \
        "INSERT INTO locked VALUES (1, 'SRID=4326;POINT(1 1)');\n"

    def locks(self, table, who, granted):
        """The number of locks on table that sessions of spoolmap (who
        "spoolmap") or of anyone else hold (granted) or wait for."""
        rows = testdb_postgres.query(
            self.facts, self.database,
            "SELECT count(*) FROM pg_locks l JOIN pg_stat_activity a USING (pid) "
            "WHERE l.relation = '%s'::regclass AND l.granted = %s AND "
            "(a.application_name = 'spoolmap') = %s"
            % (table, "true" if granted else "false", "true" if who == "spoolmap" else "false"))
        return int(rows[0][0])

    def wait_for_lock(self, table, who, granted, process):
        deadline = time.monotonic() + 60
        while self.locks(table, who, granted) == 0:
            self.assertIsNone(process.poll(), "spoolmap ended before the lock was seen")
            self.assertLess(time.monotonic(), deadline, "no such lock on %s" % table)
            time.sleep(0.02)

    def start_unload(self, table, more=()):
        return subprocess.Popen(
            [harness.BIN] + harness.init_args("out", table=table, source=self.source(),
                                              more=list(more)),
            cwd=self.dir, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def assert_one_state(self, process, label):
        out, err = process.communicate(timeout=300)
        self.assertEqual(process.returncode, 0, err)
        self.assertIn(harness.summary(ROWS, 0), out.decode())
        with open(self.path("out.dbf"), "rb") as f:
            dbf = f.read()
        header, record = int.from_bytes(dbf[8:10], "little"), int.from_bytes(dbf[10:12], "little")
        self.assertEqual(int.from_bytes(dbf[4:8], "little"), ROWS)
        label_at = header + 1 + 11  # after the deletion flag and ID's 11 characters
        labels = {dbf[label_at + k * record:label_at + k * record + 1] for k in range(ROWS)}
        self.assertEqual(labels, {label.encode()})

    def test_a_reload_under_way_is_waited_for_and_read_whole(self):
        reload = Session(self.database)
        reload.run("BEGIN; TRUNCATE reloaded; INSERT INTO reloaded SELECT g, 'n', "
                   "ST_SetSRID(ST_MakePoint(-g, g), 4326) FROM generate_series(1, %d) g;" % ROWS)
        unload = self.start_unload("reloaded")
        self.wait_for_lock("reloaded", "spoolmap", False, unload)
        reload.run("COMMIT;")
        reload.close()
        self.assert_one_state(unload, "n")

    def test_a_rewrite_waits_for_the_unload(self):
        # The unload pauses halfway, long enough for the rewrite to start.
        unload = self.start_unload("rewritten", ["-w", "id <> %d OR pg_sleep(2) IS NOT NULL"
                                                 % (ROWS // 2)])
        self.wait_for_lock("rewritten", "spoolmap", True, unload)
        rewrite = Session(self.database)
        rewrite.process.stdin.write("VACUUM FULL rewritten; ALTER TABLE rewritten ALTER COLUMN id "
                                    "TYPE bigint; UPDATE rewritten SET label = 'n';\n")
        rewrite.process.stdin.flush()
        self.wait_for_lock("rewritten", "others", False, unload)
        self.assert_one_state(unload, "o")
        rewrite.close()
        self.assertEqual(rewrite.process.returncode, 0)

    def test_a_lock_that_does_not_come_ends_the_run(self):
        result = self.unload("locked,geom")
        self.assertEqual(result.status, 0, result)
        before = set_bytes(self.dir)
        holder = Session(self.database)
        holder.run("BEGIN; LOCK TABLE locked IN ACCESS EXCLUSIVE MODE;")
        result = self.unload("locked,geom",
                             source=self.source(options="?options=-clock_timeout%3D1s"))
        holder.run("ROLLBACK;")
        holder.close()
        assert_one_line(self, result, r"^ *-423: Table 'public\.locked' stays locked by another "
                                      r"session .* no ACCESS SHARE lock on it within the "
                                      r"lock_timeout of 1s\.$")
        self.assertEqual(set_bytes(self.dir), before)


# ---------------------------------------------------------------------------
# Names, conditions, values, roles and a standby.

DEPLOYMENT = """
CREATE SCHEMA other;
CREATE TABLE depots (id integer, geom geometry(Point, 4326));
INSERT INTO depots VALUES (1, 'SRID=4326;POINT(1 1)'), (2, 'SRID=4326;POINT(2 2)');
CREATE TABLE other.depots (id integer, geom geometry(Point, 4326));
INSERT INTO other.depots VALUES (10, 'SRID=4326;POINT(10 10)');
CREATE TABLE "MixedCase" (id integer, geom geometry(Point, 4326));
INSERT INTO "MixedCase" VALUES (3, 'SRID=4326;POINT(3 3)');
CREATE TABLE roads (id integer, geom geometry(Point, 4326));
INSERT INTO roads VALUES (4, 'SRID=4326;POINT(4 4)');
CREATE TABLE "Roads" (id integer, geom geometry(Point, 4326));
INSERT INTO "Roads" VALUES (5, 'SRID=4326;POINT(5 5)');
CREATE TABLE "Dup" (id integer, geom geometry(Point, 4326));
CREATE TABLE "DUP" (id integer, geom geometry(Point, 4326));
CREATE TABLE cased (id integer, "Geom" geometry(Point, 4326));
INSERT INTO cased VALUES (8, 'SRID=4326;POINT(8 8)');
CREATE TABLE secret (id integer, geom geometry(Point, 4326));
CREATE TABLE notes (id integer, name text, tags jsonb, geom geometry(Point, 4326));
INSERT INTO notes VALUES (1, 'what?', '{"key": 1}', 'SRID=4326;POINT(1 1)'),
  (2, 'it''s ok?', '{}', 'SRID=4326;POINT(2 2)'), (3, ';', '{"other": 1}', 'SRID=4326;POINT(3 3)');
SET lc_monetary = '%(money3)s';
CREATE TABLE cash (id integer, price money, geom geometry(Point, 4326));
INSERT INTO cash VALUES (1, 1.234, 'SRID=4326;POINT(1 1)'), (2, 99.999, 'SRID=4326;POINT(2 2)');
RESET ROLE;
ALTER DATABASE %(database)s SET lc_monetary = '%(money3)s';
CREATE ROLE %(reader)s LOGIN PASSWORD 'pw';
ALTER ROLE %(reader)s SET default_transaction_read_only = on;
GRANT USAGE ON SCHEMA other TO %(reader)s;
GRANT SELECT ON ALL TABLES IN SCHEMA public, other TO %(reader)s;
REVOKE TEMPORARY ON DATABASE %(database)s FROM PUBLIC;
CREATE ROLE %(stranger)s LOGIN PASSWORD 'pw';
"""


class Deployments(ServerDatabase):
    @classmethod
    def setUpClass(cls):
        facts = harness.postgres_facts()
        cls.reader = "reader_%d" % PID
        cls.stranger = "stranger_%d" % PID
        cls.addClassCleanup(superuser_script, "postgres", "DROP ROLE IF EXISTS %s, %s;"
                            % (cls.reader, cls.stranger))
        cls.SCRIPT = DEPLOYMENT % {"database": "deployments_%d" % PID, "reader": cls.reader,
                                   "stranger": cls.stranger, "money3": facts["money3_locale"]}
        super().setUpClass()
        connection = os.environ[testdb_postgres.CONNECTION_ENV]
        cls.addClassCleanup(subprocess.run, ["bash", CLUSTER_SCRIPT, "standby-stop", connection],
                            check=True)
        cls.standby_port = subprocess.run(["bash", CLUSTER_SCRIPT, "standby", connection],
                                          check=True, stdout=subprocess.PIPE,
                                          text=True).stdout.strip()

    def test_schemas_and_mixed_case_names(self):
        search_other = "?options=-csearch_path%3Dother"
        cases = [("other.depots,geom", "", [10]), ("depots,geom", "", [1, 2]),
                 ("depots,geom", search_other, [10]), ('"MixedCase",geom', "", [3]),
                 ("mixedcase,geom", "", [3]), ("roads,geom", "", [4]), ("ROADS,geom", "", [4]),
                 ('"Roads",geom', "", [5]), ("cased,geom", "", [8]),
                 ('Other."depots",GEOM', "", [10])]
        for table, options, ids in cases:
            with self.subTest(table=table, options=options):
                self.assert_unloaded(table, ids, source=self.source(options=options))

    def test_the_listing_names_each_column_as_l_takes_it(self):
        result = harness.run(["-L"] + self.source(), cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        values = [line.split()[0] for line in result.out.splitlines()]
        for expected in ('public."MixedCase",geom', 'public."DUP",geom', 'public.cased,"Geom"',
                         "other.depots,geom"):
            self.assertIn(expected, values)
        for value in values:
            with self.subTest(value=value):
                self.assertEqual(self.unload(value).status, 0)

    def test_names_that_find_nothing_or_several(self):
        self.assert_unloaded("depots,geom", [1, 2])
        before = set_bytes(self.dir)
        cases = [
            ('"mixedcase",geom', r"^Unable to determine spatial reference for geometry column "
                                 r"mixedcase\.geom\.$"),
            ("nosuch,geom", r"^Unable to determine spatial reference for geometry column "
                            r"nosuch\.geom\.$"),
            ("other.roads,geom", r"^Unable to determine spatial reference for geometry column "
                                 r"other\.roads\.geom\.$"),
            ("depots,id", r"^Unable to determine spatial reference for geometry column "
                          r"depots\.id\.$"),
            ("dup,geom", r'^ *-424: Geometry column dup\.geom is ambiguous: 2 columns match it '
                         r'ignoring case \(public\."DUP"\.geom, public\."Dup"\.geom\); write the '
                         r'one meant with its names in double quotes\.$'),
        ]
        for table, pattern in cases:
            with self.subTest(table=table):
                assert_one_line(self, self.unload(table), pattern)
                self.assertEqual(set_bytes(self.dir), before)

    def test_a_missing_privilege_is_told_apart_from_a_missing_table(self):
        stranger = self.source(user=self.stranger, password="pw")
        assert_one_line(self, self.unload("secret,geom", source=stranger),
                        r"^ *-422: Role '%s' has no SELECT privilege on table 'public\.secret': "
                        r"it may not read it\.$" % self.stranger)
        assert_one_line(self, self.unload("secrets,geom", source=stranger),
                        r"^Unable to determine spatial reference for geometry column "
                        r"secrets\.geom\.$")

    def test_conditions_reach_the_server_as_written(self):
        cases = [("name = $$what?$$", [1]), ("name = E'it\\'s ok?'", [2]), ("tags ? 'key'", [1]),
                 ("tags ?| array['key', 'other']", [1, 3]), ("tags ?& array['key']", [1]),
                 ("name = $q$;$q$", [3]), ("/* ? /* ; */ ? */ id = 2 -- ?", [2]),
                 ("name = U&'what\\003F'", [1])]
        for condition, ids in cases:
            with self.subTest(condition=condition):
                self.assert_unloaded("notes,geom", ids, more=["-w", condition])

    def test_money_keeps_the_servers_digits(self):
        self.assert_unloaded("cash,geom", [1, 2])
        table = dbfread.DBF(self.path("out.dbf"))
        price = [f for f in table.fields if f.name == "PRICE"][0]
        self.assertEqual((price.type, price.length, price.decimal_count), ("N", 21, 3))
        self.assertEqual([str(price) for price in field_values(self.dir, "PRICE")],
                         ["1.234", "99.999"])

    def test_read_only_roles_and_a_standby_read_the_same_set(self):
        privileges = testdb_postgres.query(
            self.facts, self.database,
            "SELECT has_database_privilege('%s', current_database(), 'TEMP'), "
            "(SELECT setconfig FROM pg_db_role_setting WHERE setrole = '%s'::regrole)"
            % (self.reader, self.reader))
        self.assertEqual(privileges, [("f", "{default_transaction_read_only=on}")])
        sets = {}
        for what, source in [("primary", self.source()),
                             ("read-only role", self.source(user=self.reader, password="pw")),
                             ("hot standby", self.source(port=self.standby_port))]:
            with self.subTest(what):
                for table in ("other.depots,geom", "cash,geom", "notes,geom"):
                    result = self.unload(table, source=source, base=table.split(",")[0])
                    self.assertEqual(result.status, 0, result)
                sets[what] = {}
                for name in sorted(os.listdir(self.dir)):
                    data = self.read_bytes(name)
                    sets[what][name] = data[:DBF_DATE.start] + data[DBF_DATE.stop:] \
                        if name.endswith(".dbf") else data
                    os.remove(self.path(name))
        self.assertEqual(len(sets["primary"]), 15)
        self.assertEqual(sets["read-only role"], sets["primary"])
        self.assertEqual(sets["hot standby"], sets["primary"])

    def test_a_mixed_case_database(self):
        exact, upper = "GisData_%d" % PID, "AmbDb_%d" % PID
        superuser_script("postgres", 'CREATE DATABASE "%s" OWNER %s;\n'
                         'CREATE DATABASE "%s" TEMPLATE template0;\n'
                         'CREATE DATABASE "%s" TEMPLATE template0;\n'
                         % (exact, self.facts["user"], upper, upper.upper()))
        for name in (exact, upper, upper.upper()):
            self.addCleanup(superuser_script, "postgres",
                            'DROP DATABASE IF EXISTS "%s" WITH (FORCE);' % name)
        superuser_script(exact, "SET ROLE %s; CREATE TABLE t (id integer, geom geometry(Point, "
                                "4326)); INSERT INTO t VALUES (7, 'SRID=4326;POINT(7 7)');"
                         % self.facts["user"])
        self.assert_unloaded("t,geom", [7], source=server_source(exact.lower(), self.facts))
        assert_one_line(self, self.unload("t,geom", source=server_source(upper.lower(),
                                                                         self.facts)),
                        r"^ *-403: Database '%s' on server '[^']+' is ambiguous: '%s', '%s' match "
                        r"it ignoring case; name one exactly, in double quotes\.$"
                        % (upper.lower(), upper.upper(), upper))

    def test_no_password_in_any_message(self):
        facts = self.facts
        for password in ("s3cr/etPw", "Xq7p@Zr9k"):
            with self.subTest(password=password):
                address = "postgresql://%s:%s@%s:%s" % (facts["user"], password, facts["host"],
                                                        facts["port"])
                result = harness.run(harness.init_args(
                    "out", table="depots", source=["-D", self.database, "-s", address],
                    more=["-log"]), cwd=self.dir)
                assert_one_line(self, result, r"^ *-404: Cannot connect to database '%s' on "
                                              r"server 'postgresql://%s:\*{8}@.*%%2F and %%40\.$"
                                % (self.database, facts["user"]))
                with open(self.path("out.log")) as f:
                    shown = result.out + result.err + f.read()
                for piece in re.split(r"[/@]", password):
                    self.assertNotIn(piece, shown)


# ---------------------------------------------------------------------------
# Both engines.

def ewkb(x, srid):
    return encode_ewkb(("Point", (x, x)), srid=srid)


# A generic column (SRID 0 in the catalogue) whose geometries carry 4326;
# anchor makes the database know 4326's text.
ROWS_SRID = [
    Table(name="anchor", columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
          geometry_type="POINT", srid=4326, srtext=WGS84,
          rows=[{"id": 1, "geom": ("Point", (1, 1))}]),
    Table(name="carried", columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
          geometry_type="POINT", srid=0,
          rows=[{"id": 1, "geom": ewkb(1, 4326)}, {"id": 2, "geom": None},
                {"id": 3, "geom": ewkb(3, 4326)}]),
    Table(name="mixed", columns=[Column("id", "MEDIUMINT")], geometry_column="geom",
          geometry_type="POINT", srid=0,
          rows=[{"id": 1, "geom": ewkb(1, 4326)}, {"id": 2, "geom": ewkb(2, 3857)}]),
]


class RowsTellTheCoordinateSystem(harness.EngineTestCase):
    def reach(self):
        return self.source(ROWS_SRID, kind="native", sql=[
            "CREATE VIEW buffered AS SELECT id, ST_Buffer(geom, 1) AS geom FROM anchor"])

    def test_one_srid_over_the_rows_gives_the_prj(self):
        source = self.reach()
        result = harness.run(harness.init_args("out", table="carried", source=source),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertEqual(self.read_bytes("out.prj"), WGS84.encode())
        self.assertEqual(field_values(self.dir, "ID"), [1, 2, 3])
        result = harness.run(harness.append_args("out", table="carried", source=source),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertEqual(field_values(self.dir, "ID"), [1, 2, 3] * 2)
        # Rows that show no SRID (none, or a null geometry) have nothing to
        # mismatch the set's .prj with.
        for where in ("id > 100", "id = 2"):
            result = harness.run(harness.append_args("out", table="carried", source=source,
                                                     more=["-w", where]), cwd=self.dir)
            self.assertEqual(result.status, 0, result)
        self.assertEqual(field_values(self.dir, "ID"), [1, 2, 3] * 2 + [2])
        self.assertEqual(self.read_bytes("out.prj"), WGS84.encode())

        before = set_bytes(self.dir)
        result = harness.run(harness.init_args("out", table="mixed", source=source), cwd=self.dir)
        assert_one_line(self, result, r"^Record 2 of column (public\.)?mixed\.geom has SRID 3857, "
                                      r"but the rows before it have SRID 4326: a file set holds "
                                      r"one coordinate system\. Select the rows of one SRID with "
                                      r"-w\.$")
        self.assertEqual(set_bytes(self.dir), before)

    @harness.server_only
    def test_a_view_without_a_type_modifier(self):
        result = harness.run(harness.init_args("out", table="buffered", source=self.reach()),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        self.assertEqual(self.read_bytes("out.prj"), WGS84.encode())

    @harness.sqlite_only
    def test_a_database_files_schema_is_main(self):
        source = self.reach()
        result = harness.run(harness.init_args("out", table="main.anchor", source=source),
                             cwd=self.dir)
        self.assertEqual(result.status, 0, result)
        assert_one_line(self, harness.run(harness.init_args("out", table="other.anchor",
                                                            source=source), cwd=self.dir),
                        r"^ *-425: Database file '[^']+' has no schema 'other': a SQLite database "
                        r"keeps its tables in schema main\.$")


if __name__ == "__main__":
    harness.main()
