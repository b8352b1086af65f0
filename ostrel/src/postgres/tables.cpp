// The table a caller reads, on the server: the geometry columns a user's
// names may mean (in any schema; without one, where the search path finds
// it), and the lock that keeps the table whole for the rest of the session.
//
// TRUNCATE and the commands that rewrite a table (VACUUM FULL, CLUSTER,
// ALTER TABLE ... TYPE, a REFRESH) are not MVCC-safe: a snapshot taken
// before they commit sees the table empty afterwards. So the table is
// locked IN ACCESS SHARE MODE, which every one of them waits for, before
// the snapshot's first read, as pg_dump does: the read transaction begins
// anew with the lock as its first command. A lock that does not come
// within the session's lock_timeout (or the library's own, when the session
// has none) ends the wait, naming the table and the lock.

#include "postgres/tables.h"

#include <cstring>
#include <string>

#include "core/dialect.h"
#include "postgres/connection.h"
#include "postgres/errors.h"
#include "postgres/postgres_internal.h"

namespace {

// How long a lock is waited for when the session sets no lock_timeout of its
// own: long enough for a reload that is about to commit, bounded so that a
// session left holding a lock does not hang the unload.
constexpr const char* kLibraryLockTimeout = "60s";

// The geometry and geography columns of user relations whose names equal
// the given ones, compared as lower() compares them: a superset of the
// ASCII-case match the front applies. $1 is the schema (NULL: where the
// search path finds the table), $2 the table, $3 the column.
constexpr const char* kNamedColumnsQuery =
    "SELECT n.nspname, c.relname, a.attname FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE a.attnum > 0 AND NOT a.attisdropped AND a.atttypid IN ($4::pg_catalog.oid, "
    "$5::pg_catalog.oid) AND c.relkind IN ('r', 'v', 'm', 'f', 'p') "
    "AND NOT pg_catalog.pg_is_other_temp_schema(c.relnamespace) "
    "AND pg_catalog.lower(c.relname) = pg_catalog.lower($2) "
    "AND pg_catalog.lower(a.attname) = pg_catalog.lower($3) "
    "AND CASE WHEN $1::text IS NULL THEN pg_catalog.pg_table_is_visible(c.oid) "
    "ELSE pg_catalog.lower(n.nspname) = pg_catalog.lower($1::text) END "
    "ORDER BY 1, 2, 3";

// What kind of relation a name is; only tables and views take LOCK TABLE
// (a materialized view or a foreign table cannot be locked before a
// snapshot is taken).
constexpr const char* kRelationKindQuery =
    "SELECT c.relkind FROM pg_catalog.pg_class c WHERE c.oid = pg_catalog.to_regclass($1)";
constexpr const char kLockableKinds[] = "rpv";

constexpr const char* kLockNotAvailable = "55P03";
constexpr const char* kInsufficientPrivilege = "42501";

std::string qualified(const char* schema, const char* table) {
    std::string name = schema != nullptr && schema[0] != '\0'
                           ? quoted_identifier(schema) + "." + quoted_identifier(table)
                           : quoted_identifier(table);
    return name;
}

std::string shown(const char* schema, const char* table) {
    return schema != nullptr && schema[0] != '\0'
               ? shown_identifier(schema) + "." + shown_identifier(table)
               : shown_identifier(table);
}

// One query of the engine's own with text parameters (null for NULL);
// null with the condition left (what naming it) when it fails.
PGresult* run_query(PgDatabase& database, const char* sql, const std::vector<const char*>& values,
                    const std::string& what) {
    claim_connection(database.connection, nullptr);
    PGresult* result = PQexecParams(database.connection.conn, sql, static_cast<int>(values.size()),
                                    nullptr, values.data(), nullptr, nullptr, 0);
    if (PQresultStatus(result) != PGRES_TUPLES_OK) {
        report_server_error(server_error(result, database.connection.conn), what.c_str());
        PQclear(result);
        recover_transaction(database.connection);
        return nullptr;
    }
    return result;
}

}  // namespace

bool server_geometry_columns(EngineDatabase* engine_database, const char* schema, const char* table,
                             const char* column, std::vector<EngineFoundColumn>* found) {
    PgDatabase& database = as_pg(engine_database);
    std::string geometry = std::to_string(database.postgis.geometry);
    std::string geography = std::to_string(database.postgis.geography);
    std::string what = "The geometry columns named '" + std::string(table) + "." + column +
                       "' cannot be looked up";
    PGresult* result =
        run_query(database, kNamedColumnsQuery,
                  {schema, table, column, geometry.c_str(), geography.c_str()}, what);
    if (result == nullptr) {
        return false;
    }
    found->clear();
    for (int row = 0; row < PQntuples(result); ++row) {
        found->push_back(
            {PQgetvalue(result, row, 0), PQgetvalue(result, row, 1), PQgetvalue(result, row, 2)});
    }
    PQclear(result);
    return true;
}

bool lock_server_table(EngineDatabase* engine_database, const char* schema, const char* table) {
    PgDatabase& database = as_pg(engine_database);
    std::string name = qualified(schema, table);
    std::string shown_name = shown(schema, table);
    std::string what = "Table '" + shown_name + "' cannot be locked for reading";
    PGresult* kind = run_query(database, kRelationKindQuery, {name.c_str()}, what);
    if (kind == nullptr) {
        return false;
    }
    bool lockable = PQntuples(kind) == 1 && std::strchr(kLockableKinds, PQgetvalue(kind, 0, 0)[0]);
    PQclear(kind);

    // The read transaction begins anew, its first command the lock.
    if (!end_read_transaction(database.connection, what.c_str())) {
        return false;
    }
    bool own_timeout = database.lock_timeout == "0";
    std::string lock;
    if (lockable) {
        if (own_timeout) {
            lock += std::string("SET LOCAL lock_timeout = '") + kLibraryLockTimeout + "'; ";
        }
        lock += "LOCK TABLE " + name + " IN ACCESS SHARE MODE; ";
    }
    ServerError error;
    bool ok = begin_read_transaction_with(database.connection, lock, &error);
    if (!ok) {
        if (error.sqlstate == kLockNotAvailable) {
            status_server_error(
                OslError::kTableLocked, error.sqlstate.c_str(),
                "Table '%s' stays locked by another session that changes it whole (TRUNCATE, "
                "VACUUM FULL, ALTER TABLE, a reload): no ACCESS SHARE lock on it within the "
                "lock_timeout of %s.",
                shown_name.c_str(),
                own_timeout ? kLibraryLockTimeout : database.lock_timeout.c_str());
        } else if (error.sqlstate == kInsufficientPrivilege) {
            status_server_error(OslError::kNoPrivilege, error.sqlstate.c_str(),
                                "Role '%s' has no SELECT privilege on table '%s': it may not read "
                                "it.",
                                database.role.c_str(), shown_name.c_str());
        } else {
            report_server_error(error, what.c_str());
        }
        // The session goes on, reading without the lock.
        resume_read_transaction(database.connection);
    }
    return ok;
}
