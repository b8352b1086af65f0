// Attribute records (see dbf_record.h). Each field's format is chosen once
// from the SQL type of its query column by the field rules; the widths come
// from the field table, which in an append run is the existing file's, so the
// choice also checks that the column still fits its field. Per row, the run
// fetches the values into the places made here and the formatter writes each
// into the blank record at its field's offset; every write is bounded by the
// field's width, so no value can spill into the next field or past the
// record.

#include "dbf/dbf_record.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dbf/number_text.h"
#include "report/messages.h"
#include "text/characters.h"

constexpr char kDatePattern[] = "yyyymmdd";
constexpr char kNullBoolean = '?';
// A boolean's text is one letter: "T" or "F".
constexpr int32_t kBooleanTextBytes = kLogicalWidth + 1;
// A UTF-8 character has at most 4 bytes.
constexpr int32_t kTextOverrunBytes = 4;
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

// The column a field's values come from, for messages: in an append run
// before the mapping there is only the field's name.
static const char* column_of(const FieldTable& fields, int32_t i) {
    return fields.column_name != nullptr && fields.column_name[i] != nullptr ? fields.column_name[i]
                                                                             : fields.fnam[i];
}

static void refuse_field(const FieldTable& fields, int32_t i, const DescribedColumn& column,
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

// The bytes a text value is fetched into: a text field's place holds one
// more UTF-8 character than the field, so that a value longer than the field
// shows as such and its cut is counted. A field in a code page takes as many
// characters as its width, whose UTF-8 bytes can be four times as many.
static size_t text_bytes(const FieldFormat& format, bool encoded) {
    switch (format.kind) {
        case ValueKind::kText:
            return static_cast<size_t>(format.width) * (encoded ? kMaxUtf8CharBytes : 1) +
                   kTextOverrunBytes + 1;
        case ValueKind::kBoolean:
            return kBooleanTextBytes;
        default:
            return 0;
    }
}

static bool is_encoded(const RecordFormats& formats) {
    return formats.encoder.converter != nullptr;
}

// The host variable a field's value is fetched into.
static OslHostValue data_target(const FieldFormat& format, FieldValue& value, bool encoded) {
    switch (format.kind) {
        case ValueKind::kText:
        case ValueKind::kBoolean:
            return {OSL_HOST_CSTRING, value.text, text_bytes(format, encoded)};
        case ValueKind::kInteger:
            return {OSL_HOST_INT32, &value.integer, sizeof value.integer};
        case ValueKind::kFloat:
            return {OSL_HOST_DOUBLE, &value.real, sizeof value.real};
        case ValueKind::kFloatingDecimal:
        case ValueKind::kDecimalPicture:
            return {OSL_HOST_DECIMAL, &value.decimal, sizeof value.decimal};
        case ValueKind::kDate:
            return {OSL_HOST_DATE, &value.date, sizeof value.date};
    }
    return {OSL_HOST_CSTRING, value.text, 1};
}

// The values' places and the requests that fill them. Each text is fetched
// bounded by its own place, so the widest field sizes it, however long the
// column's values are.
static void prepare_row_values(const RecordFormats& formats, RowValues& row) {
    size_t entries = formats.field_count > 0 ? static_cast<size_t>(formats.field_count) : 1;
    size_t all_texts = 1;
    for (int32_t i = 0; i < formats.field_count; ++i) {
        all_texts += text_bytes(formats.fields[i], is_encoded(formats));
    }
    row.field_count = formats.field_count;
    row.values = new (std::nothrow) FieldValue[entries];
    row.requests = new (std::nothrow) OslItemRequest[kRequestsPerValue * entries];
    row.texts = static_cast<char*>(std::calloc(all_texts, 1));
    row.cut_counts = static_cast<int32_t*>(std::calloc(entries, sizeof(int32_t)));
    if (row.values == nullptr || row.requests == nullptr || row.texts == nullptr ||
        row.cut_counts == nullptr) {
        fatal_error("Memory allocation for cdata host variable failed.");
    }
    char* place = row.texts;
    for (int32_t i = 0; i < formats.field_count; ++i) {
        FieldValue& value = row.values[i];
        size_t bytes = text_bytes(formats.fields[i], is_encoded(formats));
        value.text = bytes > 0 ? place : nullptr;
        place += bytes;
        OslItemRequest* requests = row.requests + kRequestsPerValue * i;
        requests[0] = {OSL_ITEM_INDICATOR,
                       {OSL_HOST_INT16, &value.indicator, sizeof value.indicator}};
        requests[1] = {OSL_ITEM_DATA, data_target(formats.fields[i], value, is_encoded(formats))};
    }
}

void prepare_field_formats(const FieldTable& fields, int32_t record_length, const char* descriptor,
                           RecordFormats& formats, RowValues& row, const SetEncoding* encoding) {
    size_t entries = fields.field_count > 0 ? static_cast<size_t>(fields.field_count) : 1;
    formats.fields = new (std::nothrow) FieldFormat[entries];
    if (formats.fields == nullptr) {
        fatal_error("Memory allocation for format string array failed.");
    }
    formats.field_count = fields.field_count;
    formats.record_length = record_length;
    int32_t offset = 1;
    for (int32_t i = 0; i < fields.field_count; ++i) {
        DescribedColumn column = describe_column(descriptor, i + 1);
        FieldFormat& format = formats.fields[i];
        int32_t needed_width = 0;
        FormatProblem problem = make_field_format(column, fields.ftyp[i], fields.flen[i],
                                                  fields.fdec[i], format, needed_width);
        refuse_field(fields, i, column, problem, needed_width);
        format.offset = offset;
        offset += fields.flen[i];
    }
    // The catalogue and the header reader both hold the record length to the
    // sum of the field lengths.
    assert(offset == record_length);
    if (encoding != nullptr && !encoding->utf8) {
        if (!open_text_encoder(encoding->code_page, formats.encoder)) {
            fatal_error("The code page %s, which %s declares, cannot be written.",
                        encoding->code_page, encoding->declaration);
        }
        formats.declaration = encoding->declaration;
    }
    prepare_row_values(formats, row);
}

// Writes the text of a non-null value into its field; false when it does not
// fit. Numbers are written straight into the field; the library's decimal
// and date texts end with a zero byte, so they are made aside and copied.
static bool write_value(const FieldFormat& format, const FieldValue& value, char* field) {
    char text[kFieldTextBytes];
    switch (format.kind) {
        case ValueKind::kText:
        case ValueKind::kBoolean:
            write_text_field(field, format.width, value.text);
            return true;
        case ValueKind::kInteger:
            return write_integer_text(field, format.width, value.integer) == format.width;
        case ValueKind::kFloat:
            return write_exponent_text(field, format.width, value.real, format.fraction_digits) ==
                   format.width;
        case ValueKind::kFloatingDecimal: {
            double real = 0;
            if (osl_decimal_to_double(&value.decimal, &real) < 0) {
                fatal_error("Failed to convert decimal to double.");
            }
            return write_exponent_text(field, format.width, real, format.fraction_digits) ==
                   format.width;
        }
        case ValueKind::kDecimalPicture:
            if (osl_decimal_format(&value.decimal, format.text, text) < 0) {
                return false;
            }
            std::memcpy(field, text, static_cast<size_t>(format.width));
            return true;
        case ValueKind::kDate:
            if (osl_date_format(value.date, format.text, text) < 0) {
                return false;
            }
            std::memcpy(field, text, kDateWidth);
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
        if (values[i].indicator == kNullIndicator) {
            // A null BOOLEAN is not left blank: "?" is dBASE's unknown.
            if (format.kind == ValueKind::kBoolean) {
                field[0] = kNullBoolean;
            }
            continue;
        }
        if (format.kind == ValueKind::kText && is_encoded(formats)) {
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

// Room for the whole digits of any decimal, its sign and its point.
constexpr int32_t kDecimalTextExtra = kMaxDecimalPrecision + kDecimalExtraChars;

// The text of a value that did not fit its field, for the message.
static void value_text(const FieldFormat& format, const FieldValue& value, int32_t decimals,
                       char* text, size_t size) {
    switch (format.kind) {
        case ValueKind::kInteger:
            std::snprintf(text, size, "%d", value.integer);
            return;
        case ValueKind::kFloat:
            std::snprintf(text, size, "%.*e", format.fraction_digits, value.real);
            return;
        case ValueKind::kFloatingDecimal: {
            double real = 0;
            osl_decimal_to_double(&value.decimal, &real);
            std::snprintf(text, size, "%.*e", format.fraction_digits, real);
            return;
        }
        case ValueKind::kDecimalPicture: {
            // The field's decimals in a picture wide enough for any value.
            int32_t width = decimals + kDecimalTextExtra;
            if (width > static_cast<int32_t>(size) - 1) {
                width = static_cast<int32_t>(size) - 1;
            }
            char picture[kFieldTextBytes];
            make_decimal_picture(width, decimals, picture);
            osl_decimal_format(&value.decimal, picture, text);
            return;
        }
        case ValueKind::kDate:
            std::snprintf(text, size, "day %d", value.date);  // a day the library cannot write
            return;
        case ValueKind::kText:
        case ValueKind::kBoolean:
            std::snprintf(text, size, "%s", value.text);
            return;
    }
}

void refuse_value(const FieldTable& fields, const RecordFormats& formats, const FieldValue* values,
                  int32_t i, int32_t record_number) {
    char character[kMaxUtf8CharBytes + 1];
    uint32_t code_point = 0;
    if (formats.fields[i].kind == ValueKind::kText && is_encoded(formats) &&
        first_unencodable_character(formats.encoder, values[i].text, character, code_point)) {
        fatal_error(
            "Record %d: the character '%s' (U+%04X) of column '%s' has no place in code page "
            "%s, which %s declares.",
            record_number, character, code_point, column_of(fields, i), formats.encoder.code_page,
            formats.declaration);
    }
    char text[kFieldTextBytes];
    value_text(formats.fields[i], values[i], fields.fdec[i], text, sizeof text);
    const char* shown = text;
    while (*shown == ' ') {
        ++shown;
    }
    fatal_error("Record %d: the value %s of column '%s' does not fit field '%s' of %d characters.",
                record_number, shown, column_of(fields, i), fields.fnam[i], fields.flen[i]);
}

void report_value_cuts(const FieldTable& fields, const RowValues& row) {
    for (int32_t i = 0; i < row.field_count; ++i) {
        if (row.cut_counts[i] > 0) {
            note_and_log("Warning: %d value(s) of column %s were cut to the %d bytes of field %s.",
                         row.cut_counts[i], column_of(fields, i), fields.flen[i], fields.fnam[i]);
        }
    }
}

void free_field_formats(RecordFormats& formats, RowValues& row) {
    close_text_encoder(formats.encoder);
    delete[] formats.fields;
    formats = RecordFormats{};
    delete[] row.values;
    delete[] row.requests;
    std::free(row.texts);
    std::free(row.cut_counts);
    row = RowValues{};
}
