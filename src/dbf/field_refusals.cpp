// Refusals of columns and values, and the cut report (see field_refusals.h).

#include "dbf/field_refusals.h"

#include "report/messages.h"

const char* column_of(const FieldTable& fields, int32_t i) {
    return fields.column_name != nullptr && fields.column_name[i] != nullptr ? fields.column_name[i]
                                                                             : fields.fnam[i];
}

void refuse_field(const FieldTable& fields, int32_t i, const DescribedColumn& column,
                  FormatProblem problem, int32_t needed_width) {
    const char* field = fields.fnam[i];
    const char* column_name = column_of(fields, i);
    switch (problem) {
        case FormatProblem::kNone:
            return;
        case FormatProblem::kUnsupportedType:
            fatal_error("Support for SQL type %d not implemented.", column.type);
        case FormatProblem::kWrongType:
            fatal_error(
                "Field '%s' of the .dbf file, of type '%c', cannot hold column '%s' of "
                "SQL type %d.",
                field, fields.ftyp[i], column_name, column.type);
        case FormatProblem::kTooNarrow:
            fatal_error(
                "Field '%s' of the .dbf file, %d characters wide, cannot hold column "
                "'%s', whose values need %d.",
                field, fields.flen[i], column_name, needed_width);
        case FormatProblem::kBadDecimals:
            fatal_error(
                "Field '%s' of the .dbf file, %d characters wide, cannot have %d decimals "
                "for column '%s'.",
                field, fields.flen[i], fields.fdec[i], column_name);
    }
}

void refuse_value(const FieldTable& fields, const RecordFormats& formats, const FieldValue& value,
                  int32_t i, int32_t record_number, const char* shown) {
    char character[kMaxUtf8CharBytes + 1];
    uint32_t code_point = 0;
    if (formats.fields[i].kind == ValueKind::kText && formats.encoder.converter != nullptr &&
        first_unencodable_character(formats.encoder, value.text, character, code_point)) {
        fatal_error(
            "Record %d: the character '%s' (U+%04X) of column '%s' has no place in code page "
            "%s, which %s declares.",
            record_number, character, code_point, column_of(fields, i), formats.encoder.code_page,
            formats.declaration);
    }
    while (*shown == ' ') {
        ++shown;
    }
    fatal_error("Record %d: the value %s of column '%s' does not fit field '%s' of %d characters.",
                record_number, shown, column_of(fields, i), fields.fnam[i], fields.flen[i]);
}

void report_value_cuts(const FieldTable& fields, const int32_t* cut_counts) {
    for (int32_t i = 0; i < fields.field_count; ++i) {
        if (cut_counts[i] > 0) {
            note_and_log("Warning: %d value(s) of column %s were cut to the %d bytes of field %s.",
                         cut_counts[i], column_of(fields, i), fields.flen[i], fields.fnam[i]);
        }
    }
}
