// The column catalogue: in an init run the table's columns become the .dbf
// fields; in an append run the existing .dbf fields are matched back to the
// table's columns by the same names.

#ifndef SPOOLMAP_DBF_COLUMN_CATALOGUE_H
#define SPOOLMAP_DBF_COLUMN_CATALOGUE_H

#include <cstddef>
#include <cstdint>

#include "db/spatial_column.h"
#include "dbf/dbf_header.h"

// init: fills fields, and header's header_length and record_length, from the
// columns of table.table_name, with the warnings and skips of the mapping and
// a note for each column whose field name differs from its own; the geometry
// column table.column_name is left out silently. The fields are named by
// name_fields (field_names.h). The text of the describing query is built in
// text (of text_size bytes). Ends the run when the fields would not fit a
// .dbf header or record, or two columns would be one field.
void build_field_table(const SpatialColumn& table, char* text, size_t text_size, FieldTable& fields,
                       DbfHeader& header);

// append, right after read_dbf_header of the file dbf_name: sets each
// field's column_name to the one column of the table that would fill a field
// of its name (field_name_matches). Before anything is written, ends the run
// naming the field, the file and the candidate columns when a field matches
// no column or more than one, or two fields match the same column: a value is
// never put into another column's field.
void map_fields_to_columns(const SpatialColumn& table, const char* dbf_name, char* text,
                           size_t text_size, FieldTable& fields);

#endif
