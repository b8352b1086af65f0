// Attribute records: one output format per field, prepared once before the
// cursor opens, and one fixed-width .dbf record per accepted row built from
// the row's values in the run's work buffer.

#ifndef SPOOLMAP_DBF_DBF_RECORD_H
#define SPOOLMAP_DBF_DBF_RECORD_H

struct RunState;

// Allocates run.cdata and run.field_formats and makes each field's format from
// the SQL type of its item in seldesc2. In an append run, a field whose column
// no longer fits it ends the run naming the field.
void prepare_field_formats(RunState& run);

// Builds the current row's record in the first record_length bytes of
// run.work_buffer.
void format_dbf_record(RunState& run);

// Releases run.cdata and run.field_formats.
void free_field_formats(RunState& run);

#endif
