// The catalog the caller's SQL names (systables, syscolumns,
// geometry_columns, spatial_references), made at connect as TEMP views over
// what the database keeps: a GeoPackage's gpkg_* tables, SpatiaLite's
// geometry_columns and spatial_ref_sys, or a native database's own tables.
// Names are lower case; an undefined reference system reads "UNKNOWN".

#include "sqlite/catalog.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/status.h"

namespace {

constexpr const char* kMainSchema = "main";

// Ordinary tables and views of the main database. SQLite itself tells
// virtual tables and their shadow tables apart (pragma table_list), so a
// user table whose name merely starts like a virtual table's stays in; the
// virtual ones are left out because a virtual table whose module is not
// loaded (SpatiaLite's SpatialIndex) fails every column query.
constexpr const char* kSystablesView =
    "CREATE TEMP VIEW systables (tabid, tabname) AS "
    "SELECT s.rowid, lower(s.name) FROM main.sqlite_schema s, pragma_table_list l "
    "WHERE l.schema = 'main' AND l.name = s.name AND l.type IN ('table', 'view') "
    "AND s.type IN ('table', 'view') "
    "AND s.name NOT LIKE 'sqlite\\_%' ESCAPE '\\'";

// Hidden columns (hidden = 1) belong to virtual tables only; generated
// columns (2, 3) are part of SELECT * and count.
constexpr const char* kSyscolumnsView =
    "CREATE TEMP VIEW syscolumns (tabid, colno, colname) AS "
    "SELECT t.tabid, p.cid + 1, lower(p.name) "
    "FROM systables t, pragma_table_xinfo(t.tabname, 'main') p WHERE p.hidden <> 1";

// Every geometry_columns says what its column declares the way PostGIS
// does: type, the geometry type in upper case with an "M" appended when the
// column has M without Z, and coord_dimension, 2 to 4. A Z or M that a
// GeoPackage calls optional (2) is not declared: the column may do without.
constexpr const char* kGeoPackageGeometryColumns =
    "CREATE TEMP VIEW geometry_columns "
    "(f_table_schema, f_table_name, f_geometry_column, srid, type, coord_dimension) AS "
    "SELECT NULL, lower(table_name), lower(column_name), srs_id, "
    "upper(geometry_type_name) || CASE WHEN m = 1 AND z <> 1 THEN 'M' ELSE '' END, "
    "2 + (z = 1) + (m = 1) FROM main.gpkg_geometry_columns";

constexpr const char* kGeoPackageSpatialReferences =
    "CREATE TEMP VIEW spatial_references (srid, srtext) AS "
    "SELECT srs_id, CASE WHEN srs_id IN (-1, 0) OR lower(trim(definition)) = 'undefined' "
    "THEN 'UNKNOWN' ELSE definition END FROM main.gpkg_spatial_ref_sys";

// SpatiaLite's own geometry_columns has the right columns, but older
// versions keep names in the case they were given: the TEMP view shadows it
// with lower-case names. From version 4 on the type is a number (the WKB
// code with 1000 for Z, 2000 for M, 3000 for both); before, a name with
// the dimensions apart ('XY', 'XYZ', 'XYM', 'XYZM', or 2 and 3).
constexpr const char* kSpatiaLiteGeometryColumns =
    "CREATE TEMP VIEW geometry_columns "
    "(f_table_schema, f_table_name, f_geometry_column, srid, type, coord_dimension) AS "
    "SELECT NULL, lower(f_table_name), lower(f_geometry_column), srid, "
    "CASE geometry_type % 1000 WHEN 1 THEN 'POINT' WHEN 2 THEN 'LINESTRING' "
    "WHEN 3 THEN 'POLYGON' WHEN 4 THEN 'MULTIPOINT' WHEN 5 THEN 'MULTILINESTRING' "
    "WHEN 6 THEN 'MULTIPOLYGON' WHEN 7 THEN 'GEOMETRYCOLLECTION' ELSE 'GEOMETRY' END "
    "|| CASE WHEN geometry_type / 1000 = 2 THEN 'M' ELSE '' END, "
    "CASE geometry_type / 1000 WHEN 1 THEN 3 WHEN 2 THEN 3 WHEN 3 THEN 4 ELSE 2 END "
    "FROM main.geometry_columns";
constexpr const char* kLegacySpatiaLiteGeometryColumns =
    "CREATE TEMP VIEW geometry_columns "
    "(f_table_schema, f_table_name, f_geometry_column, srid, type, coord_dimension) AS "
    "SELECT NULL, lower(f_table_name), lower(f_geometry_column), srid, "
    "upper(type) || CASE WHEN upper(coord_dimension) = 'XYM' AND upper(type) NOT LIKE '%M' "
    "THEN 'M' ELSE '' END, "
    "CASE upper(coord_dimension) WHEN 'XYZM' THEN 4 WHEN 'XYZ' THEN 3 WHEN 'XYM' THEN 3 "
    "WHEN '4' THEN 4 WHEN '3' THEN 3 ELSE 2 END FROM main.geometry_columns";

// A native database's geometry_columns may declare no type: every column is
// generic then. %s is the type and the coord_dimension.
constexpr const char* kNativeGeometryColumns =
    "CREATE TEMP VIEW geometry_columns "
    "(f_table_schema, f_table_name, f_geometry_column, srid, type, coord_dimension) AS "
    "SELECT NULL, f_table_name, f_geometry_column, srid, %s FROM main.geometry_columns";
constexpr const char* kNativeDeclaredType = "upper(type), coord_dimension";
constexpr const char* kNativeGenericType = "'GEOMETRY', 2";

// SpatiaLite keeps the definition in srtext from version 4 on, in srs_wkt
// before; a file with neither knows no definitions. %s is that column.
constexpr const char* kSpatiaLiteSpatialReferences =
    "CREATE TEMP VIEW spatial_references (srid, srtext) AS "
    "SELECT srid, CASE WHEN srid IN (-1, 0) OR %s IS NULL "
    "OR lower(trim(%s)) = 'undefined' THEN 'UNKNOWN' ELSE %s END "
    "FROM main.spatial_ref_sys";

// A database without any spatial catalog still answers the caller's
// queries, with no rows.
constexpr const char* kEmptyGeometryColumns =
    "CREATE TEMP VIEW geometry_columns "
    "(f_table_schema, f_table_name, f_geometry_column, srid, type, coord_dimension) AS "
    "SELECT NULL, NULL, NULL, NULL, NULL, NULL WHERE 0";
constexpr const char* kEmptySpatialReferences =
    "CREATE TEMP VIEW spatial_references (srid, srtext) AS SELECT NULL, NULL WHERE 0";

bool has_table(sqlite3* db, const char* name) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db,
                           "SELECT 1 FROM main.sqlite_schema WHERE type IN ('table', 'view') "
                           "AND lower(name) = lower(?1)",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        return false;
    }
    sqlite3_bind_text(stmt, 1, name, -1, SQLITE_STATIC);
    bool found = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    return found;
}

bool has_column(sqlite3* db, const char* table, const char* column) {
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT 1 FROM pragma_table_info(?1, 'main') WHERE lower(name) = ?2",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        return false;
    }
    sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
    sqlite3_bind_text(stmt, 2, column, -1, SQLITE_STATIC);
    bool found = sqlite3_step(stmt) == SQLITE_ROW;
    sqlite3_finalize(stmt);
    return found;
}

bool run(SqliteDatabase& database, const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(database.db, sql, nullptr, nullptr, &error) != SQLITE_OK) {
        status_error(OslError::kCatalogFailed,
                     "The catalog of database file '%s' cannot be made: %s.", database.path.c_str(),
                     error != nullptr ? error : "unknown error");
        sqlite3_free(error);
        return false;
    }
    return true;
}

}  // namespace

bool make_catalog(SqliteDatabase& database) {
    sqlite3* db = database.db;
    bool has_geometry_columns = has_table(db, "geometry_columns");
    bool has_spatial_references = has_table(db, "spatial_references");
    if (has_table(db, "gpkg_geometry_columns") && has_table(db, "gpkg_spatial_ref_sys")) {
        database.kind = DatabaseKind::kGeoPackage;
    } else if (has_geometry_columns && has_table(db, "spatial_ref_sys")) {
        database.kind = DatabaseKind::kSpatiaLite;
    } else if (has_geometry_columns && has_spatial_references) {
        database.kind = DatabaseKind::kNative;
    } else {
        database.kind = DatabaseKind::kPlain;
    }

    if (!has_table(db, "systables") && !run(database, kSystablesView)) {
        return false;
    }
    if (!has_table(db, "syscolumns") && !run(database, kSyscolumnsView)) {
        return false;
    }
    const char* geometry_view = nullptr;
    const char* references_view = nullptr;
    char spatialite_references[512];
    char native_columns[512];
    switch (database.kind) {
        case DatabaseKind::kGeoPackage:
            geometry_view = has_geometry_columns ? nullptr : kGeoPackageGeometryColumns;
            references_view = has_spatial_references ? nullptr : kGeoPackageSpatialReferences;
            break;
        case DatabaseKind::kSpatiaLite: {
            geometry_view = has_column(db, "geometry_columns", "geometry_type")
                                ? kSpatiaLiteGeometryColumns
                                : kLegacySpatiaLiteGeometryColumns;
            const char* text_column = has_column(db, "spatial_ref_sys", "srtext")    ? "srtext"
                                      : has_column(db, "spatial_ref_sys", "srs_wkt") ? "srs_wkt"
                                                                                     : "NULL";
            std::snprintf(spatialite_references, sizeof spatialite_references,
                          kSpatiaLiteSpatialReferences, text_column, text_column, text_column);
            references_view = has_spatial_references ? nullptr : spatialite_references;
            break;
        }
        case DatabaseKind::kNative:
            std::snprintf(native_columns, sizeof native_columns, kNativeGeometryColumns,
                          has_column(db, "geometry_columns", "type") &&
                                  has_column(db, "geometry_columns", "coord_dimension")
                              ? kNativeDeclaredType
                              : kNativeGenericType);
            geometry_view = native_columns;
            break;
        case DatabaseKind::kPlain:
            geometry_view = has_geometry_columns ? nullptr : kEmptyGeometryColumns;
            references_view = has_spatial_references ? nullptr : kEmptySpatialReferences;
            break;
    }
    return (geometry_view == nullptr || run(database, geometry_view)) &&
           (references_view == nullptr || run(database, references_view));
}

// The registered geometry columns, read once per connection (the database is
// read-only, so they cannot change under it).
static void load_geometry_columns(SqliteDatabase& database) {
    database.geometry_columns_loaded = true;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(database.db,
                           "SELECT lower(f_table_name), lower(f_geometry_column) "
                           "FROM geometry_columns",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        return;  // a database without a usable catalog has no geometry columns
    }
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        const unsigned char* table = sqlite3_column_text(stmt, 0);
        const unsigned char* column = sqlite3_column_text(stmt, 1);
        if (table != nullptr && column != nullptr) {
            database.geometry_columns.emplace_back(reinterpret_cast<const char*>(table),
                                                   reinterpret_cast<const char*>(column));
        }
    }
    sqlite3_finalize(stmt);
}

bool is_geometry_column(SqliteDatabase& database, const char* table, const char* column) {
    if (!database.geometry_columns_loaded) {
        load_geometry_columns(database);
    }
    for (const auto& entry : database.geometry_columns) {
        if (osl_text_compare(entry.first.c_str(), table) == 0 &&
            osl_text_compare(entry.second.c_str(), column) == 0) {
            return true;
        }
    }
    return false;
}

// A GeoPackage written by GDAL keeps each feature table's row count in
// gpkg_ogr_contents, up to date through triggers of its own; other SQLite
// databases keep none that is cheap to read (count(*) reads the table).
RowCount row_count(EngineDatabase* engine_database, const char* table) {
    SqliteDatabase& database = as_sqlite(engine_database);
    RowCount count;
    if (database.kind != DatabaseKind::kGeoPackage) {
        return count;
    }
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(database.db,
                           "SELECT feature_count FROM main.gpkg_ogr_contents "
                           "WHERE lower(table_name) = lower(?1)",
                           -1, &stmt, nullptr) != SQLITE_OK) {
        return count;  // a GeoPackage without the table
    }
    sqlite3_bind_text(stmt, 1, table, -1, SQLITE_STATIC);
    if (sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_type(stmt, 0) == SQLITE_INTEGER) {
        int64_t rows = sqlite3_column_int64(stmt, 0);
        // Two tables whose names differ in case only: neither count is sure.
        if (rows >= 0 && sqlite3_step(stmt) == SQLITE_DONE) {
            count.kind = RowCountKind::kExact;
            count.rows = rows;
        }
    }
    sqlite3_finalize(stmt);
    return count;
}

bool file_geometry_columns(EngineDatabase* engine_database, const char* schema, const char* table,
                           const char* column, std::vector<EngineFoundColumn>* found) {
    SqliteDatabase& database = as_sqlite(engine_database);
    found->clear();
    // The tables of a database file are in its schema main; an attached
    // database never is, as the engine attaches none.
    if (schema != nullptr && osl_text_compare(schema, kMainSchema) != 0) {
        status_error(OslError::kUnknownSchema,
                     "Database file '%s' has no schema '%s': a SQLite database keeps its tables "
                     "in schema main.",
                     database.path.c_str(), schema);
        return false;
    }
    if (!database.geometry_columns_loaded) {
        load_geometry_columns(database);
    }
    for (const auto& entry : database.geometry_columns) {
        if (osl_text_compare(entry.first.c_str(), table) == 0 &&
            osl_text_compare(entry.second.c_str(), column) == 0) {
            found->push_back({"", entry.first, entry.second});
        }
    }
    return true;
}

// The read transaction began with the session, on the database's first
// read: no writer changes what the session sees until it ends.
bool lock_file_table(EngineDatabase*, const char*, const char*) {
    return true;
}
