// The session's facts, transaction and catalog. The session reads one
// snapshot: a REPEATABLE READ, READ ONLY transaction whose first query (the
// facts the session must know of the server: PostGIS's schema and types, the
// digits of money, the role, the lock_timeout) fixes what every later
// statement sees, so the columns, the coordinate system and the rows come
// from one state of the database while others write; a savepoint follows,
// to which every failed statement rolls back so that the session goes on
// with its snapshot. Locking the table read begins the transaction anew
// with the lock (tables.cpp).
//
// The catalog the caller's SQL names (systables, syscolumns,
// geometry_columns, spatial_references) is never created: each statement
// that names one of them gets its definition in a WITH of its own. So the
// session writes nothing and needs no privilege beyond reading, and works
// the same on a hot standby, for a read-only role and for a role that may
// not create temporary objects. The catalog spans every schema but the
// system's, with names as the server stores them (their case kept);
// geometry_columns has f_table_schema, so that a name is never ambiguous.

#include "postgres/catalog.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "postgres/connection.h"
#include "postgres/errors.h"

namespace {

// PostGIS's schema, the OIDs of its types, the digits after the point of
// money in this session (lc_monetary's; 2 in the C locale), the role whose
// privileges count, and the lock_timeout in force.
constexpr const char* kFactsQuery =
    "SELECT pg_catalog.quote_ident(n.nspname), t.oid, g.oid, "
    "pg_catalog.scale('1'::pg_catalog.money::pg_catalog.numeric), current_user, "
    "pg_catalog.current_setting('lock_timeout') "
    "FROM pg_catalog.pg_extension e "
    "JOIN pg_catalog.pg_namespace n ON n.oid = e.extnamespace "
    "JOIN pg_catalog.pg_type t ON t.typname = 'geometry' AND t.typnamespace = n.oid "
    "LEFT JOIN pg_catalog.pg_type g ON g.typname = 'geography' AND g.typnamespace = n.oid "
    "WHERE e.extname = 'postgis'";

enum FactField {
    kSchemaField,
    kGeometryField,
    kGeographyField,
    kMoneyScaleField,
    kRoleField,
    kLockTimeoutField
};

// The relations of users: tables, views, materialized views, foreign and
// partitioned tables outside the system's schemas and other sessions'
// temporary ones. {class} is the pg_class alias.
constexpr const char* kUserRelation =
    "{class}.relkind IN ('r', 'v', 'm', 'f', 'p') "
    "AND {class}.relnamespace <> ALL (ARRAY['pg_catalog'::pg_catalog.regnamespace, "
    "'information_schema'::pg_catalog.regnamespace]) "
    "AND NOT pg_catalog.pg_is_other_temp_schema({class}.relnamespace)";

constexpr const char* kSystables =
    "systables (tabid, tabname) AS (SELECT c.oid, c.relname::text FROM pg_catalog.pg_class c "
    "WHERE {user_relation:c})";

// colno is the column's number in the table: counted from 1 in SELECT *
// order, with a gap where a column was dropped.
constexpr const char* kSyscolumns =
    "syscolumns (tabid, colno, colname) AS (SELECT a.attrelid, a.attnum::integer, "
    "a.attname::text FROM pg_catalog.pg_attribute a "
    "JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
    "WHERE a.attnum > 0 AND NOT a.attisdropped AND {user_relation:c})";

// PostGIS's own views, with the declared type and coord_dimension as PostGIS
// gives them ('POINT' and 3 for a POINTZ column, 'POINTM' and 3 for POINTM,
// 'GEOMETRY' and 2 for a generic one); geography columns count as geometry
// columns (the unload reads them through geometry), their types ('PointZ',
// 'PointZM') put in geometry_columns' form. A geography column without an
// SRID holds WGS 84 (4326), PostGIS's default. PostGIS leaves out the
// tables the role may not read; they are added from their type modifiers,
// so that a run names the missing privilege instead of a missing column.
// {postgis} is PostGIS's schema, {geography} the geography type's OID.
constexpr const char* kGeometryColumns =
    "geometry_columns (f_table_schema, f_table_name, f_geometry_column, srid, type, "
    "coord_dimension) AS ("
    "SELECT f_table_schema::text, f_table_name::text, f_geometry_column::text, srid, "
    "pg_catalog.upper(type)::text, coord_dimension FROM {postgis}.geometry_columns "
    "UNION ALL "
    "SELECT f_table_schema::text, f_table_name::text, f_geography_column::text, "
    "CASE WHEN srid = 0 THEN 4326 ELSE srid END, "
    "pg_catalog.regexp_replace(pg_catalog.upper(type), '(ZM|Z)$', ''), coord_dimension "
    "FROM {postgis}.geography_columns "
    "UNION ALL "
    "SELECT n.nspname::text, c.relname::text, a.attname::text, "
    "CASE WHEN {postgis}.postgis_typmod_srid(a.atttypmod) <> 0 "
    "THEN {postgis}.postgis_typmod_srid(a.atttypmod) "
    "WHEN a.atttypid = {geography} THEN 4326 ELSE 0 END, "
    "pg_catalog.regexp_replace(pg_catalog.upper({postgis}.postgis_typmod_type(a.atttypmod)), "
    "'(ZM|Z)$', ''), "
    "COALESCE({postgis}.postgis_typmod_dims(a.atttypmod), 2) "
    "FROM pg_catalog.pg_attribute a JOIN pg_catalog.pg_class c ON c.oid = a.attrelid "
    "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
    "WHERE a.attnum > 0 AND NOT a.attisdropped AND a.atttypid IN ({geometry}, {geography}) "
    "AND {user_relation:c} AND NOT pg_catalog.has_table_privilege(c.oid, 'SELECT'))";

// SRID 0 is PostGIS's undefined system, which spatial_ref_sys cannot hold.
constexpr const char* kSpatialReferences =
    "spatial_references (srid, srtext) AS ("
    "SELECT srid, CASE WHEN srtext IS NULL OR pg_catalog.btrim(srtext) = '' THEN 'UNKNOWN' "
    "ELSE srtext::text END FROM {postgis}.spatial_ref_sys "
    "UNION ALL SELECT 0, 'UNKNOWN')";

struct CatalogDefinition {
    const char* name;
    const char* definition;
};
constexpr CatalogDefinition kCatalog[] = {
    {"systables", kSystables},
    {"syscolumns", kSyscolumns},
    {"geometry_columns", kGeometryColumns},
    {"spatial_references", kSpatialReferences},
};

void replace_all(std::string& text, const std::string& marker, const std::string& value) {
    for (size_t at = text.find(marker); at != std::string::npos;
         at = text.find(marker, at + value.size())) {
        text.replace(at, marker.size(), value);
    }
}

// A definition with its markers filled in.
std::string filled(const char* definition, const PgDatabase& database) {
    std::string text = definition;
    std::string user_relation = kUserRelation;
    replace_all(user_relation, "{class}", "c");
    replace_all(text, "{user_relation:c}", user_relation);
    replace_all(text, "{postgis}", database.postgis.schema);
    replace_all(text, "{geometry}", std::to_string(database.postgis.geometry));
    replace_all(text, "{geography}", std::to_string(database.postgis.geography));
    return text;
}

}  // namespace

bool read_server_facts(PgDatabase& database) {
    claim_connection(database.connection, nullptr);
    const char* standard =
        PQparameterStatus(database.connection.conn, "standard_conforming_strings");
    database.standard_strings = standard == nullptr || std::strcmp(standard, "on") == 0;
    PGresult* result = PQexec(database.connection.conn, kFactsQuery);
    bool ok = PQresultStatus(result) == PGRES_TUPLES_OK;
    if (!ok) {
        std::string what = "The PostGIS of database '" + database.name + "' on server '" +
                           database.server + "' cannot be read";
        report_server_error(server_error(result, database.connection.conn), what.c_str());
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
        database.role = PQgetvalue(result, 0, kRoleField);
        database.lock_timeout = PQgetvalue(result, 0, kLockTimeoutField);
        database.catalog.clear();
        for (const CatalogDefinition& relation : kCatalog) {
            database.catalog.push_back({relation.name, filled(relation.definition, database)});
        }
    }
    PQclear(result);
    return ok;
}

std::string with_catalog(const PgDatabase& database, const std::string& text,
                         const std::vector<Token>& tokens) {
    std::string definitions;
    for (const CatalogRelation& relation : database.catalog) {
        for (size_t i = 0; i < tokens.size(); ++i) {
            // A qualified name (public.geometry_columns) is the caller's own.
            if (is_word(text, tokens[i], relation.name.c_str()) &&
                (i == 0 || tokens[i - 1].kind != TokenKind::kDot)) {
                definitions += (definitions.empty() ? "" : ", ") + relation.definition;
                break;
            }
        }
    }
    if (definitions.empty() || tokens.empty()) {
        return text;
    }
    size_t head = tokens[0].begin;
    if (is_word(text, tokens[0], "with")) {
        size_t after = tokens.size() > 1 && is_word(text, tokens[1], "recursive") ? 2 : 1;
        size_t at = after < tokens.size() ? tokens[after].begin : text.size();
        return text.substr(0, at) + definitions + ", " + text.substr(at);
    }
    bool query = tokens[0].kind == TokenKind::kOpen || is_word(text, tokens[0], "select") ||
                 is_word(text, tokens[0], "table") || is_word(text, tokens[0], "values");
    if (!query) {
        return text;  // not a query: the server says what it makes of the name
    }
    return text.substr(0, head) + "WITH " + definitions + " " + text.substr(head);
}
