// The column catalogue: in an init run the table's columns become the .dbf
// fields; in an append run the existing .dbf fields are matched back to the
// table's columns by the same naming rule.

#ifndef SPOOLMAP_DBF_COLUMN_CATALOGUE_H
#define SPOOLMAP_DBF_COLUMN_CATALOGUE_H

#include <cstddef>
#include <cstdint>

#include "db/spatial_column.h"
#include "dbf/dbf_header.h"

// The dBASE name of a column, into name (kDbfNameAreaBytes): the column name
// with ASCII letters in upper case, cut to 10 bytes at a whole UTF-8
// character, and made unique among the names taken so far (ignoring ASCII
// case) by putting "_1", "_2", ... in place of its last characters:
// POPULATION_2020 and POPULATION_2021 become POPULATION and POPULATI_1.
// Both runs apply it to the columns that become fields, in the table's order,
// so an append finds the columns of the fields an init wrote.
void make_dbf_field_name(const char* column_name, const char* const* taken, int32_t taken_count,
                         char* name);

// init: fills fields, and header's header_length and record_length, from the
// columns of table.table_name, with the warnings and skips of the mapping and
// a note for each column whose field name differs from its own; the geometry
// column table.column_name is left out silently. The text of the describing
// query is built in text (of text_size bytes). Ends the run when the fields
// would not fit a .dbf header or record.
void build_field_table(const SpatialColumn& table, char* text, size_t text_size, FieldTable& fields,
                       DbfHeader& header);

// append, right after read_dbf_header: sets each field's column_name to the
// table column whose dBASE name it is; ends the run naming a field that is no
// longer a column.
void map_fields_to_columns(const SpatialColumn& table, char* text, size_t text_size,
                           FieldTable& fields);

#endif
