// Attribute records (see record_format.h). Each field's format is chosen
// once from the SQL type of its query column by the field rules; the widths
// come from the field table, which in an append run is the existing file's,
// so the choice also checks that the column still fits its field. Per row
// the formatter writes each value into the blank record at its field's
// offset; every write is bounded by the field's width, so no value can spill
// into the next field or past the record.

#include "dbf/record_format.h"

#include <cstdio>
#include <cstring>

#include "dbf/dbf_header.h"
#include "dbf/number_text.h"
#include "text/characters.h"

constexpr char kDatePattern[] = "yyyymmdd";
constexpr char kNullBoolean = '?';
// The shortest text of the shorter exponent form: a digit, the point, the
// fraction digits, 'e', the exponent's sign and two digits.
constexpr int32_t kShortestExponentText = 1 + 1 + kShortFractionDigits + 1 + 1 + 2;

void make_decimal_picture(int32_t flen, int32_t fdec, char* picture) {
    std::memset(picture, '-', static_cast<size_t>(flen));
    if (fdec == 0) {
        picture[flen - 1] = '&';
    } else {
        picture[flen - fdec - 1] = '.';
    }
    picture[flen] = '\0';
}

// The narrowest field a kind of value can go to: every integer and decimal
// has a text of one character (0), and a narrower field of an existing file
// is checked value by value as the record is made; floating values need
// their exponent form, dates their eight digits.
static int32_t narrowest_field(ValueKind kind) {
    switch (kind) {
        case ValueKind::kFloat:
        case ValueKind::kFloatingDecimal:
            return kShortestExponentText;
        case ValueKind::kDate:
            return kDateWidth;
        case ValueKind::kBoolean:
            return kLogicalWidth;
        case ValueKind::kText:
        case ValueKind::kInteger:
        case ValueKind::kDecimalPicture:
            break;
    }
    return 1;
}

FormatProblem make_field_format(const DescribedColumn& column, char ftyp, int32_t flen,
                                int32_t fdec, FieldFormat& format, int32_t& needed_width) {
    format.width = flen;
    needed_width = 1;
    const FieldRule* rule = field_rule_for(column.type);
    if (rule == nullptr) {
        return FormatProblem::kUnsupportedType;
    }
    // The column decides whether a decimal floats: the field's own decimal
    // count (255 in the files this program writes) only has to leave room
    // for the text.
    format.kind = value_kind_of(*rule, column.scale);
    if (!field_letter_holds(*rule, ftyp)) {
        return FormatProblem::kWrongType;
    }
    char* text = format.text;
    size_t size = sizeof format.text;
    switch (format.kind) {
        case ValueKind::kText:
        case ValueKind::kBoolean:
            text[0] = '\0';
            break;
        case ValueKind::kFloat:
        case ValueKind::kFloatingDecimal:
            format.fraction_digits = exponent_fraction_digits(flen);
            text[0] = '\0';
            break;
        case ValueKind::kInteger:
            // Written right-aligned in the whole field (number_text.h), so
            // also in a wider field of an existing file.
            text[0] = '\0';
            break;
        case ValueKind::kDate:
            std::snprintf(text, size, "%s", kDatePattern);
            break;
        case ValueKind::kDecimalPicture:
            if (fdec < 0 || fdec >= flen) {
                return FormatProblem::kBadDecimals;
            }
            make_decimal_picture(flen, fdec, text);
            break;
    }
    needed_width = narrowest_field(format.kind);
    return flen < needed_width ? FormatProblem::kTooNarrow : FormatProblem::kNone;
}

bool write_text_field(char* field, int32_t width, const char* text) {
    size_t length = whole_character_prefix(text, static_cast<size_t>(width));
    std::memcpy(field, text, length);
    return text[length] != '\0';
}

// Writes the text of a non-null value into its field; false when it does not
// fit. Numbers are written straight into the field; a decimal's picture text
// and a date's text were made by the fetch, the picture the field's width
// exactly, the date its eight characters (a wider D field of an appended set
// keeps its blanks after them).
static bool write_value(const FieldFormat& format, const FieldValue& value, char* field) {
    switch (format.kind) {
        case ValueKind::kText:
        case ValueKind::kBoolean:
            write_text_field(field, format.width, value.text);
            return true;
        case ValueKind::kInteger:
            return write_integer_text(field, format.width, value.integer) == format.width;
        case ValueKind::kFloat:
        case ValueKind::kFloatingDecimal:
            return write_exponent_text(field, format.width, value.real, format.fraction_digits) ==
                   format.width;
        case ValueKind::kDecimalPicture:
        case ValueKind::kDate:
            if (value.unfit) {
                return false;
            }
            std::memcpy(
                field, value.text,
                static_cast<size_t>(format.kind == ValueKind::kDate ? kDateWidth : format.width));
            return true;
    }
    return false;
}

int32_t format_dbf_record(const RecordFormats& formats, const FieldValue* values, char* record,
                          int32_t* cut_counts) {
    std::memset(record, ' ', static_cast<size_t>(formats.record_length));
    record[0] = kDbfDeletionFlag;
    for (int32_t i = 0; i < formats.field_count; ++i) {
        const FieldFormat& format = formats.fields[i];
        char* field = record + format.offset;
        if (values[i].indicator < 0) {
            // A null BOOLEAN is not left blank: "?" is dBASE's unknown.
            if (format.kind == ValueKind::kBoolean) {
                field[0] = kNullBoolean;
            }
            continue;
        }
        if (format.kind == ValueKind::kText && formats.encoder.converter != nullptr) {
            EncodedText encoded =
                encode_text_field(formats.encoder, field, format.width, values[i].text);
            if (encoded == EncodedText::kUnencodable) {
                return i;
            }
            cut_counts[i] += encoded == EncodedText::kCut ? 1 : 0;
        } else if (format.kind == ValueKind::kText) {
            if (write_text_field(field, format.width, values[i].text)) {
                ++cut_counts[i];
            }
        } else if (!write_value(format, values[i], field)) {
            return i;
        }
    }
    return kAllValuesFit;
}

bool encode_text_into(RecordFormats& formats, const char* code_page, const char* declaration) {
    if (!open_text_encoder(code_page, formats.encoder)) {
        return false;
    }
    formats.declaration = declaration;
    return true;
}

void free_record_formats(RecordFormats& formats) {
    close_text_encoder(formats.encoder);
    delete[] formats.fields;
    formats = RecordFormats{};
}
