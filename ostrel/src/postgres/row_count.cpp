// Row counts on the server: the planner's estimate of a table's rows
// (pg_class.reltuples), which VACUUM, ANALYZE and autovacuum keep near the
// truth; -1 until the table was first analysed, when nothing is known. Only
// ordinary and materialized tables have one of their own; a view's rows are
// unknown. The name is matched as the catalog's are: on the search path,
// ignoring case, or qualified by its schema.

#include "postgres/row_count.h"

#include <cmath>
#include <cstdlib>

#include "postgres/connection.h"
#include "postgres/postgres_internal.h"

namespace {

constexpr const char* kReltuplesQuery =
    "SELECT c.reltuples::pg_catalog.float8 FROM pg_catalog.pg_class c "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE c.relkind IN ('r', 'm') AND (pg_catalog.lower(c.relname) = pg_catalog.lower($1) "
    "AND pg_catalog.pg_table_is_visible(c.oid) "
    "OR pg_catalog.lower(n.nspname || '.' || c.relname) = pg_catalog.lower($1))";

}  // namespace

RowCount server_row_count(EngineDatabase* engine_database, const char* table) {
    PgDatabase& database = as_pg(engine_database);
    RowCount count;
    claim_connection(database.connection, nullptr);
    const char* values[] = {table};
    PGresult* result = PQexecParams(database.connection.conn, kReltuplesQuery, 1, nullptr, values,
                                    nullptr, nullptr, 0);
    // One table only: two whose names differ in case leave it unknown.
    if (PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) == 1) {
        double estimate = std::strtod(PQgetvalue(result, 0, 0), nullptr);
        if (estimate >= 0 && std::isfinite(estimate)) {
            count.kind = RowCountKind::kEstimate;
            count.rows = static_cast<int64_t>(std::llround(estimate));
        }
    }
    PQclear(result);
    recover_transaction(database.connection);  // a failed query leaves the session as it was
    return count;
}
