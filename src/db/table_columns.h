// The columns of the table a run unloads, as the database describes them
// ("SELECT * FROM <table>"), and the catalogue's two uses of them: the fields
// of a new .dbf file (init), and the columns behind the fields of an
// existing one (append).

#ifndef SPOOLMAP_DB_TABLE_COLUMNS_H
#define SPOOLMAP_DB_TABLE_COLUMNS_H

#include <cstddef>

#include "db/spatial_column.h"
#include "dbf/column_catalogue.h"
#include "dbf/dbf_header.h"

// Describes the table's columns into columns, which the caller releases with
// free_table_columns. The query's text is built in text (of size bytes).
// Ends the run through check_sql when the database refuses.
void read_table_columns(const SpatialColumn& table, char* text, size_t size, TableColumns& columns);
void free_table_columns(TableColumns& columns);

// init: the table's fields (fields_from_columns).
void build_field_table(const SpatialColumn& table, char* text, size_t size, FieldTable& fields,
                       DbfHeader& header);

// append: the columns behind the fields of the file dbf_name
// (match_fields_to_columns).
void map_fields_to_columns(const SpatialColumn& table, const char* dbf_name, char* text,
                           size_t size, FieldTable& fields);

#endif
