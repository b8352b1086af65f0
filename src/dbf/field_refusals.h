// What the run says when a column and its field do not go together: a
// column that cannot fill a field of an existing file, a value that does not
// fit its field, and at the end the text values that were cut to their
// fields. Each names the field, the column and the record where it applies.

#ifndef SPOOLMAP_DBF_FIELD_REFUSALS_H
#define SPOOLMAP_DBF_FIELD_REFUSALS_H

#include <cstdint>

#include "dbf/dbf_header.h"
#include "dbf/record_format.h"

// The column field i's values come from, for messages: in an append run
// before the mapping there is only the field's name.
const char* column_of(const FieldTable& fields, int32_t i);

// Ends the run when column cannot fill field i (problem not kNone), naming
// both; needed_width is make_field_format's.
void refuse_field(const FieldTable& fields, int32_t i, const DescribedColumn& column,
                  FormatProblem problem, int32_t needed_width);

// Ends the run for record record_number, whose value of field i does not fit:
// for a text, naming the column, the character and the code page that cannot
// hold it; else naming the value as shown (its text, leading blanks left
// out), the field and its width.
[[noreturn]] void refuse_value(const FieldTable& fields, const RecordFormats& formats,
                               const FieldValue& value, int32_t i, int32_t record_number,
                               const char* shown);

// At the end of a run: one warning per text field whose values were cut
// (cut_counts, one per field), with their number, the column and the field's
// width.
void report_value_cuts(const FieldTable& fields, const int32_t* cut_counts);

#endif
