// The column catalogue: in an init run the table's columns become the .dbf
// fields; in an append run the existing .dbf fields are matched back to the
// table's columns by the same naming rule.

#ifndef SPOOLMAP_DBF_COLUMN_CATALOGUE_H
#define SPOOLMAP_DBF_COLUMN_CATALOGUE_H

struct RunSettings;
struct RunState;

// init: fills run.fields and run.dbf_header's header_length and record_length
// from the table's columns, with the warnings and skips of the mapping.
void build_field_table(const RunSettings& settings, RunState& run);

// append, right after read_dbf_header: sets each field's column_name to the
// table column whose dBASE name it is; ends the run naming a field that is no
// longer a column.
void map_fields_to_columns(const RunSettings& settings, RunState& run);

#endif
