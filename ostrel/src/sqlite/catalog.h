// The catalog views, the registered geometry columns and the row counts a
// GeoPackage keeps (catalog.cpp).

#ifndef OSTREL_SQLITE_CATALOG_H
#define OSTREL_SQLITE_CATALOG_H

#include <vector>

#include "sqlite/sqlite_internal.h"

bool make_catalog(SqliteDatabase& database);
bool is_geometry_column(SqliteDatabase& database, const char* table, const char* column);
RowCount row_count(EngineDatabase* database, const char* table);

// The engine's side of the table a caller reads (engine.h).
bool file_geometry_columns(EngineDatabase* database, const char* schema, const char* table,
                           const char* column, std::vector<EngineFoundColumn>* found);
bool lock_file_table(EngineDatabase* database, const char* schema, const char* table);

#endif
