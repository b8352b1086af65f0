// The geometry column a run unloads and the table it belongs to: as -l names
// them (a bare name in lower case, a quoted one as written), and once the
// database has found them, as the database stores them. What the
// catalogue, the spatial-reference query and the unload query are asked
// about.

#ifndef SPOOLMAP_DB_SPATIAL_COLUMN_H
#define SPOOLMAP_DB_SPATIAL_COLUMN_H

#include <cstddef>

#include "db/client.h"

struct SpatialColumn {
    const char* table_name;
    const char* column_name;
    const char* schema_name = nullptr;  // null: where the database finds the table
};

// The names of -l as the user wrote them: each with whether it stood in
// double quotes (schema.text null when the table is not qualified).
struct WrittenColumn {
    OslName schema;
    OslName table;
    OslName column;
};

// Finds the geometry column the user named and locks its table for the
// rest of the run (osl_find_geometry_column, osl_lock_table), into found,
// which the result's names point into. A column the database does not have
// ends the run with the spatial-reference line; several that the names may
// mean, a missing privilege or a lock that does not come end it through
// check_sql.
SpatialColumn find_spatial_column(const WrittenColumn& written, OslGeometryColumn& found);

// Appends the table as the unload and column queries name it: "schema"."table"
// or "table", quoted identifiers. Ends the run naming what when it does not
// fit.
void append_table_reference(char* buffer, size_t size, const char* what,
                            const SpatialColumn& geometry);

// Appends the condition that picks the column's row of geometry_columns
// under alias: its schema (when known), table and column names, each an
// equality, joined by separator; quotes in the names are doubled. Ends the
// run naming what when it does not fit.
void append_column_condition(char* buffer, size_t size, const char* what,
                             const SpatialColumn& geometry, const char* alias,
                             const char* separator);

// The table as messages show it: "schema.table" or "table", into buffer, which
// holds kShownTableBytes.
constexpr size_t kShownTableBytes = 2 * OSL_NAME_BYTES + 2;
const char* shown_table_name(const SpatialColumn& geometry, char* buffer, size_t size);

// Ends the run with the line of a geometry column the database does not
// have.
[[noreturn]] void refuse_unknown_spatial_column(const SpatialColumn& geometry);

#endif
