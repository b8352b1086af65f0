// The session's transaction and catalog. The whole session reads one
// snapshot: a REPEATABLE READ transaction whose first query (PostGIS's
// facts, below) fixes what every later statement sees, so the columns, the
// coordinate system and the rows come from one state of the database while
// others write. The catalog the caller's SQL names is made in that
// transaction as TEMP views, which the transaction may still create before
// it is made READ ONLY; then a savepoint, to which every failed statement
// rolls back so that the session goes on with its snapshot and its views.
//
// The views hold the tables visible on the search path only, so a table
// name never matches twice; names are lower case, as on every engine.

#include <cstdlib>
#include <string>

#include "postgres/postgres_internal.h"

namespace {

// PostGIS's schema, the OIDs of its types, and the digits after the point
// of money in this session (lc_monetary's; 2 in the C locale).
constexpr const char* kPostgisQuery =
    "SELECT pg_catalog.quote_ident(n.nspname), t.oid, g.oid, "
    "pg_catalog.scale('1'::pg_catalog.money::pg_catalog.numeric) "
    "FROM pg_catalog.pg_extension e "
    "JOIN pg_catalog.pg_namespace n ON n.oid = e.extnamespace "
    "JOIN pg_catalog.pg_type t ON t.typname = 'geometry' AND t.typnamespace = n.oid "
    "LEFT JOIN pg_catalog.pg_type g ON g.typname = 'geography' AND g.typnamespace = n.oid "
    "WHERE e.extname = 'postgis'";

enum PostgisField { kSchemaField, kGeometryField, kGeographyField, kMoneyScaleField };

// Tables, views, materialized views, foreign and partitioned tables on the
// search path; the system's own and this session's views are left out.
constexpr const char* kSystablesView =
    "CREATE TEMP VIEW systables (tabid, tabname) AS "
    "SELECT c.oid, pg_catalog.lower(c.relname) FROM pg_catalog.pg_class c "
    "WHERE c.relkind IN ('r', 'v', 'm', 'f', 'p') AND pg_catalog.pg_table_is_visible(c.oid) "
    "AND c.relnamespace NOT IN ('pg_catalog'::pg_catalog.regnamespace, "
    "'information_schema'::pg_catalog.regnamespace, pg_catalog.pg_my_temp_schema());\n";

// colno is the column's number in the table: counted from 1 in SELECT *
// order, with a gap where a column was dropped.
constexpr const char* kSyscolumnsView =
    "CREATE TEMP VIEW syscolumns (tabid, colno, colname) AS "
    "SELECT a.attrelid, a.attnum::integer, pg_catalog.lower(a.attname) "
    "FROM pg_catalog.pg_attribute a WHERE a.attnum > 0 AND NOT a.attisdropped "
    "AND a.attrelid IN (SELECT tabid FROM systables);\n";

// PostGIS's own views, restricted to the search path, with the declared type
// and coord_dimension as PostGIS gives them ('POINT' and 3 for a POINTZ
// column, 'POINTM' and 3 for POINTM, 'GEOMETRY' and 2 for a generic one); geography columns
// count as geometry columns (the unload reads them through geometry), their
// types ('PointZ', 'PointZM') put in geometry_columns' form. A
// geography column without an SRID holds WGS 84 (4326), PostGIS's default.
// {postgis} is PostGIS's schema.
constexpr const char* kGeometryColumnsView =
    "CREATE TEMP VIEW geometry_columns "
    "(f_table_name, f_geometry_column, srid, type, coord_dimension) AS "
    "SELECT pg_catalog.lower(f_table_name), pg_catalog.lower(f_geometry_column), srid, "
    "pg_catalog.upper(type), coord_dimension "
    "FROM {postgis}.geometry_columns WHERE pg_catalog.pg_table_is_visible(pg_catalog.to_regclass("
    "pg_catalog.format('%I.%I', f_table_schema, f_table_name))) "
    "UNION ALL "
    "SELECT pg_catalog.lower(f_table_name), pg_catalog.lower(f_geography_column), "
    "CASE WHEN srid = 0 THEN 4326 ELSE srid END, "
    "pg_catalog.regexp_replace(pg_catalog.upper(type), '(ZM|Z)$', ''), coord_dimension "
    "FROM {postgis}.geography_columns WHERE pg_catalog.pg_table_is_visible(pg_catalog.to_regclass("
    "pg_catalog.format('%I.%I', f_table_schema, f_table_name)));\n";

// SRID 0 is PostGIS's undefined system, which spatial_ref_sys cannot hold.
constexpr const char* kSpatialReferencesView =
    "CREATE TEMP VIEW spatial_references (srid, srtext) AS "
    "SELECT srid, CASE WHEN srtext IS NULL OR pg_catalog.btrim(srtext) = '' THEN 'UNKNOWN' "
    "ELSE srtext::text END FROM {postgis}.spatial_ref_sys "
    "UNION ALL SELECT 0, 'UNKNOWN';\n";

constexpr const char* kReadOnlyFromHere = "SET TRANSACTION READ ONLY;\n";

// format with each "{postgis}" made PostGIS's schema.
std::string with_schema(const char* format, const std::string& schema) {
    static const std::string kMarker = "{postgis}";
    std::string text = format;
    for (size_t at = text.find(kMarker); at != std::string::npos;
         at = text.find(kMarker, at + schema.size())) {
        text.replace(at, kMarker.size(), schema);
    }
    return text;
}

}  // namespace

bool read_postgis(PgDatabase& database) {
    PGresult* result = PQexec(database.conn, kPostgisQuery);
    bool ok = PQresultStatus(result) == PGRES_TUPLES_OK;
    if (!ok) {
        std::string what = "The PostGIS of database '" + database.name + "' on server '" +
                           database.server + "' cannot be read";
        report_server_error(server_error(result, database.conn), what.c_str());
    } else if (PQntuples(result) == 0) {
        ok = false;
        status_error(OslError::kServerConnectFailed,
                     "Database '%s' on server '%s' has no PostGIS: its spatial tables cannot be "
                     "read. Create the extension postgis in it.",
                     database.name.c_str(), database.server.c_str());
    } else {
        database.postgis.schema = PQgetvalue(result, 0, kSchemaField);
        database.postgis.geometry =
            static_cast<Oid>(std::strtoul(PQgetvalue(result, 0, kGeometryField), nullptr, 10));
        database.postgis.geography =
            static_cast<Oid>(std::strtoul(PQgetvalue(result, 0, kGeographyField), nullptr, 10));
        database.money_scale = std::atoi(PQgetvalue(result, 0, kMoneyScaleField));
    }
    PQclear(result);
    return ok;
}

bool make_catalog(PgDatabase& database) {
    std::string script = std::string(kSystablesView) + kSyscolumnsView +
                         with_schema(kGeometryColumnsView, database.postgis.schema) +
                         with_schema(kSpatialReferencesView, database.postgis.schema) +
                         kReadOnlyFromHere + kSetSavepoint;
    std::string what = "The catalog of database '" + database.name + "' on server '" +
                       database.server + "' cannot be made";
    return run_command(database, script.c_str(), what.c_str());
}
