// The geometry column of the run (see spatial_column.h).

#include "db/spatial_column.h"

#include <cstdio>

#include "db/spatial_listing.h"
#include "db/sql_error.h"
#include "db/unload_query.h"
#include "report/messages.h"
#include "text/text_append.h"

SpatialColumn find_spatial_column(const WrittenColumn& written, OslGeometryColumn& found) {
    SpatialColumn as_written = {written.table.text, written.column.text, written.schema.text};
    int status = osl_find_geometry_column(written.schema, written.table, written.column, &found);
    if (status < 0) {
        check_sql();
    }
    if (status == OSL_NO_ROW) {
        refuse_unknown_spatial_column(as_written);
    }
    SpatialColumn geometry = {found.table, found.column,
                              found.schema[0] != '\0' ? found.schema : nullptr};
    if (osl_lock_table(geometry.schema_name, geometry.table_name) < 0) {
        check_sql();
    }
    return geometry;
}

void append_table_reference(char* buffer, size_t size, const char* what,
                            const SpatialColumn& geometry) {
    if (geometry.schema_name != nullptr) {
        append_identifier_or_fail(buffer, size, what, geometry.schema_name);
        append_or_fail(buffer, size, what, ".");
    }
    append_identifier_or_fail(buffer, size, what, geometry.table_name);
}

// Appends "alias.column = 'value'" with every single quote of value doubled.
static void append_equality(char* buffer, size_t size, const char* what, const char* alias,
                            const char* column, const char* value) {
    append_or_fail(buffer, size, what, "%s.%s = '", alias, column);
    for (const char* p = value; *p != '\0'; ++p) {
        append_or_fail(buffer, size, what, *p == '\'' ? "''" : "%c", *p);
    }
    append_or_fail(buffer, size, what, "'");
}

void append_column_condition(char* buffer, size_t size, const char* what,
                             const SpatialColumn& geometry, const char* alias,
                             const char* separator) {
    if (geometry.schema_name != nullptr) {
        append_equality(buffer, size, what, alias, "f_table_schema", geometry.schema_name);
        append_or_fail(buffer, size, what, "%s", separator);
    }
    append_equality(buffer, size, what, alias, "f_table_name", geometry.table_name);
    append_or_fail(buffer, size, what, "%s", separator);
    append_equality(buffer, size, what, alias, "f_geometry_column", geometry.column_name);
}

const char* shown_table_name(const SpatialColumn& geometry, char* buffer, size_t size) {
    if (geometry.schema_name != nullptr) {
        std::snprintf(buffer, size, "%s.%s", geometry.schema_name, geometry.table_name);
    } else {
        std::snprintf(buffer, size, "%s", geometry.table_name);
    }
    return buffer;
}

// Room for the sentence naming twenty spatial columns of long names.
constexpr size_t kColumnsSentenceBytes = 8192;

void refuse_unknown_spatial_column(const SpatialColumn& geometry) {
    char table[kShownTableBytes];
    // The columns there are, so that a mistyped name can be put right.
    static char columns[kColumnsSentenceBytes];
    spatial_columns_sentence(columns, sizeof columns);
    fatal_error("Unable to determine spatial reference for geometry column %s.%s.%s%s",
                shown_table_name(geometry, table, sizeof table), geometry.column_name,
                columns[0] != '\0' ? "\n" : "", columns);
}
