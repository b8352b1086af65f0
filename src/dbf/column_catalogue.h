// The column catalogue: in an init run the table's columns become the .dbf
// fields; in an append run the existing .dbf fields are matched back to the
// table's columns by the same names. The columns come as the database
// describes them (db/table_columns.h reads them); nothing here asks it.

#ifndef SPOOLMAP_DBF_COLUMN_CATALOGUE_H
#define SPOOLMAP_DBF_COLUMN_CATALOGUE_H

#include <cstddef>
#include <cstdint>

#include "dbf/dbf_header.h"
#include "dbf/field_rules.h"

// A table's columns in their described order.
struct TableColumns {
    DescribedColumn* columns = nullptr;
    int32_t count = 0;
};

// init: fills fields, and header's header_length and record_length, from
// columns, with the warnings and skips of the mapping and a note for each
// column whose field name differs from its own; the geometry column (its
// name compared ignoring case) is left out silently. The fields are named by
// name_fields (field_names.h). Ends the run, naming table_name, when the
// fields would not fit a .dbf header or record, or two columns would be one
// field.
void fields_from_columns(const TableColumns& columns, const char* table_name,
                         const char* geometry_column, FieldTable& fields, DbfHeader& header);

// append, right after read_dbf_header of the file dbf_name: sets each
// field's column_name to the one column that would fill a field of its name
// (field_name_matches). Before anything is written, ends the run naming the
// field, the file and the candidate columns (listed in text, of text_size
// bytes) when a field matches no column or more than one, or two fields
// match the same column: a value is never put into another column's field.
void match_fields_to_columns(const TableColumns& columns, const char* table_name,
                             const char* dbf_name, char* text, size_t text_size,
                             FieldTable& fields);

#endif
