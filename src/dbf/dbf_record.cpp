// Attribute records (see dbf_record.h). Each field's format is chosen once
// from the SQL type of its query column; the widths come from the field table,
// which in an append run is the existing file's, so the choice also checks
// that the column still fits its field. Per row, each value is fetched with
// its indicator in one request and written into the blank record at the
// field's offset; every write is bounded by the field's width, so no value can
// spill into the next field or past the record.

#include "dbf/dbf_record.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "db/client.h"
#include "db/sql_error.h"
#include "run/messages.h"
#include "run/run_state.h"

// Text widths of the fixed formats: the decimal text of any 16-bit or 32-bit
// integer (six characters for -32768, eleven for -2147483648), the exponent
// form "%20.12e", and a date as yyyymmdd.
constexpr int32_t kSmallIntegerWidth = 6;
constexpr int32_t kIntegerWidth = 11;
constexpr int32_t kExponentWidth = 20;
constexpr int32_t kDateWidth = 8;
constexpr char kDatePattern[] = "yyyymmdd";
constexpr char kNullBoolean = '?';
constexpr int16_t kNullIndicator = -1;

void make_decimal_picture(int32_t flen, int32_t fdec, char* picture) {
    std::memset(picture, '-', static_cast<size_t>(flen));
    if (fdec == 0) {
        picture[flen - 1] = '&';
    } else {
        picture[flen - fdec - 1] = '.';
    }
    picture[flen] = '\0';
}

// The letters a field may have to take a kind of value: numbers go to N or F
// fields, as other dBASE writers make them.
static bool letter_holds(FieldKind kind, char ftyp) {
    switch (kind) {
        case FieldKind::kText:
            return ftyp == 'C';
        case FieldKind::kBoolean:
            return ftyp == 'L';
        case FieldKind::kDate:
            return ftyp == 'D';
        default:
            return ftyp == 'N' || ftyp == 'F';
    }
}

FormatProblem make_field_format(const ItemDescription& item, char ftyp, int32_t flen, int32_t fdec,
                                FieldFormat& format, int32_t& needed_width) {
    format.width = flen;
    needed_width = 1;
    char* text = format.text;
    size_t size = sizeof format.text;
    switch (item.type) {
        case OSL_SQL_CHAR:
        case OSL_SQL_VARCHAR:
            format.kind = FieldKind::kText;
            std::snprintf(text, size, "%%-%ds", flen);
            break;
        case OSL_SQL_BOOLEAN:
            format.kind = FieldKind::kBoolean;
            std::snprintf(text, size, "%%1s");
            break;
        case OSL_SQL_SMALLINT:
        case OSL_SQL_INTEGER:
        case OSL_SQL_SERIAL:
            // Right-aligned in the whole field: "%6d" and "%11d" in the fields
            // the catalogue makes, and still aligned in a wider field of an
            // existing file.
            format.kind = FieldKind::kInteger;
            needed_width = item.type == OSL_SQL_SMALLINT ? kSmallIntegerWidth : kIntegerWidth;
            std::snprintf(text, size, "%%%dd", flen);
            break;
        case OSL_SQL_FLOAT:
        case OSL_SQL_SMALLFLOAT:
            format.kind = FieldKind::kFloat;
            needed_width = kExponentWidth;
            std::snprintf(text, size, "%%%d.12e", flen);
            break;
        case OSL_SQL_DECIMAL:
        case OSL_SQL_MONEY:
            // The column decides whether the decimal floats: the field's own
            // decimal count (255 in the files this program writes) only has to
            // leave room for the text.
            if (item.type == OSL_SQL_DECIMAL && item.scale == kDbfFloatingDecimals) {
                format.kind = FieldKind::kFloatingDecimal;
                needed_width = kExponentWidth;
                std::snprintf(text, size, "%%%d.12e", flen);
                break;
            }
            format.kind = FieldKind::kDecimalPicture;
            break;
        case OSL_SQL_DATE:
            format.kind = FieldKind::kDate;
            needed_width = kDateWidth;
            std::snprintf(text, size, "%s", kDatePattern);
            break;
        default:
            return FormatProblem::kUnsupportedType;
    }
    if (!letter_holds(format.kind, ftyp)) {
        return FormatProblem::kWrongType;
    }
    if (format.kind == FieldKind::kDecimalPicture) {
        if (fdec < 0 || fdec >= flen) {
            return FormatProblem::kBadDecimals;
        }
        // A sign and the whole digits before the point.
        int32_t whole_needed = item.precision - item.scale + 1;
        int32_t whole_room = fdec > 0 ? flen - fdec - 1 : flen;
        needed_width = whole_needed + (fdec > 0 ? fdec + 1 : 0);
        if (whole_room < whole_needed) {
            return FormatProblem::kTooNarrow;
        }
        make_decimal_picture(flen, fdec, text);
        return FormatProblem::kNone;
    }
    if (flen < needed_width) {
        return FormatProblem::kTooNarrow;
    }
    return FormatProblem::kNone;
}

void write_text_field(char* field, int32_t width, const char* text) {
    size_t limit = static_cast<size_t>(width);
    size_t length = strnlen(text, limit + 1);
    if (length > limit) {
        // Back off from a continuation byte (10xxxxxx) to the start of its
        // character, which then stays out; a text that is not UTF-8 there is
        // cut at the width.
        size_t cut = limit;
        for (int step = 0;
             step < 3 && cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80;
             ++step) {
            --cut;
        }
        length = (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80 ? limit : cut;
    }
    std::memcpy(field, text, length);
}

// The column a field's values come from, for messages: in an append run
// before the mapping there is only the field's name.
static const char* column_of(const FieldTable& fields, int32_t i) {
    return fields.column_name != nullptr && fields.column_name[i] != nullptr ? fields.column_name[i]
                                                                             : fields.fnam[i];
}

static ItemDescription describe_item(int32_t item_number) {
    ItemDescription item;
    OslItemRequest requests[] = {
        {OSL_ITEM_TYPE, {OSL_HOST_INT32, &item.type, sizeof item.type}},
        {OSL_ITEM_LENGTH, {OSL_HOST_INT32, &item.length, sizeof item.length}},
        {OSL_ITEM_PRECISION, {OSL_HOST_INT32, &item.precision, sizeof item.precision}},
        {OSL_ITEM_SCALE, {OSL_HOST_INT32, &item.scale, sizeof item.scale}},
    };
    if (osl_get_descriptor_items(kUnloadDescriptor, item_number, requests,
                                 sizeof requests / sizeof requests[0]) < 0) {
        check_sql();
    }
    return item;
}

static void refuse_field(const FieldTable& fields, int32_t i, const ItemDescription& item,
                         FormatProblem problem, int32_t needed_width) {
    const char* field = fields.fnam[i];
    const char* column = column_of(fields, i);
    switch (problem) {
        case FormatProblem::kNone:
            return;
        case FormatProblem::kUnsupportedType:
            fatal_error("Support for SQL type %d not implemented.", item.type);
        case FormatProblem::kWrongType:
            fatal_error(
                "Field '%s' of the .dbf file, of type '%c', cannot hold column '%s' of "
                "SQL type %d.",
                field, fields.ftyp[i], column, item.type);
        case FormatProblem::kTooNarrow:
            fatal_error(
                "Field '%s' of the .dbf file, %d characters wide, cannot hold column "
                "'%s', whose values need %d.",
                field, fields.flen[i], column, needed_width);
        case FormatProblem::kBadDecimals:
            fatal_error(
                "Field '%s' of the .dbf file, %d characters wide, cannot have %d decimals "
                "for column '%s'.",
                field, fields.flen[i], fields.fdec[i], column);
    }
}

void prepare_field_formats(RunState& run) {
    const FieldTable& fields = run.fields;
    size_t entries = fields.field_count > 0 ? static_cast<size_t>(fields.field_count) : 1;
    run.field_formats = new (std::nothrow) FieldFormat[entries];
    if (run.field_formats == nullptr) {
        fatal_error("Memory allocation for format string array failed.");
    }
    // Text is fetched into cdata bounded by its field's width, so the longest
    // text field sizes it, however long the column's values are.
    int32_t cdata_bytes = 2;
    int32_t offset = 1;
    for (int32_t i = 0; i < fields.field_count; ++i) {
        ItemDescription item = describe_item(i + 1);
        FieldFormat& format = run.field_formats[i];
        int32_t needed_width = 0;
        FormatProblem problem = make_field_format(item, fields.ftyp[i], fields.flen[i],
                                                  fields.fdec[i], format, needed_width);
        refuse_field(fields, i, item, problem, needed_width);
        format.offset = offset;
        offset += fields.flen[i];
        if ((format.kind == FieldKind::kText || format.kind == FieldKind::kBoolean) &&
            fields.flen[i] + 1 > cdata_bytes) {
            cdata_bytes = fields.flen[i] + 1;
        }
    }
    // The catalogue and the header reader both hold the record length to the
    // sum of the field lengths, and to less than the work buffer.
    assert(offset == run.dbf_header.record_length);
    assert(offset < kWorkBufferBytes);
    run.cdata = static_cast<char*>(std::malloc(static_cast<size_t>(cdata_bytes)));
    if (run.cdata == nullptr) {
        fatal_error("Memory allocation for cdata host variable failed.");
    }
    run.cdata_bytes = cdata_bytes;
}

// One fetched value; which member holds it follows the field's kind.
union FetchedValue {
    int32_t integer;
    double real;
    OslDecimal decimal;
    OslDate date;
};

static OslHostValue data_target(const FieldFormat& format, FetchedValue& value, char* cdata) {
    switch (format.kind) {
        case FieldKind::kText:
            return {OSL_HOST_CSTRING, cdata, static_cast<size_t>(format.width) + 1};
        case FieldKind::kBoolean:
            return {OSL_HOST_CSTRING, cdata, 2};
        case FieldKind::kInteger:
            return {OSL_HOST_INT32, &value.integer, sizeof value.integer};
        case FieldKind::kFloat:
            return {OSL_HOST_DOUBLE, &value.real, sizeof value.real};
        case FieldKind::kFloatingDecimal:
        case FieldKind::kDecimalPicture:
            return {OSL_HOST_DECIMAL, &value.decimal, sizeof value.decimal};
        case FieldKind::kDate:
            return {OSL_HOST_DATE, &value.date, sizeof value.date};
    }
    return {OSL_HOST_CSTRING, cdata, 1};
}

[[noreturn]] static void refuse_value(const RunState& run, int32_t i) {
    const FieldTable& fields = run.fields;
    fatal_error("Record %d: the value of column '%s' does not fit field '%s' of %d characters.",
                run.record_number, column_of(fields, i), fields.fnam[i], fields.flen[i]);
}

// Writes the text of a non-null value into its field.
static void write_value(const RunState& run, int32_t i, const FetchedValue& value, char* field) {
    const FieldFormat& format = run.field_formats[i];
    char text[kFieldTextBytes];
    int written = 0;
    switch (format.kind) {
        case FieldKind::kText:
            write_text_field(field, format.width, run.cdata);
            return;
        case FieldKind::kBoolean:
            write_text_field(field, 1, run.cdata);
            return;
        case FieldKind::kInteger:
            written = std::snprintf(text, sizeof text, format.text, value.integer);
            break;
        case FieldKind::kFloat:
            written = std::snprintf(text, sizeof text, format.text, value.real);
            break;
        case FieldKind::kFloatingDecimal: {
            double real = 0;
            if (osl_decimal_to_double(&value.decimal, &real) < 0) {
                fatal_error("Failed to convert decimal to double.");
            }
            written = std::snprintf(text, sizeof text, format.text, real);
            break;
        }
        case FieldKind::kDecimalPicture:
            if (osl_decimal_format(&value.decimal, format.text, text) < 0) {
                refuse_value(run, i);
            }
            written = format.width;
            break;
        case FieldKind::kDate:
            if (osl_date_format(value.date, format.text, text) < 0) {
                refuse_value(run, i);
            }
            written = kDateWidth;
            break;
    }
    if (written < 0 || written > format.width) {
        refuse_value(run, i);
    }
    std::memcpy(field, text, static_cast<size_t>(written));
}

void format_dbf_record(RunState& run) {
    char* record = run.work_buffer;
    std::memset(record, ' ', static_cast<size_t>(run.dbf_header.record_length));
    record[0] = kDbfDeletionFlag;
    for (int32_t i = 0; i < run.fields.field_count; ++i) {
        const FieldFormat& format = run.field_formats[i];
        int16_t indicator = 0;
        FetchedValue value;
        OslItemRequest requests[] = {
            {OSL_ITEM_INDICATOR, {OSL_HOST_INT16, &indicator, sizeof indicator}},
            {OSL_ITEM_DATA, data_target(format, value, run.cdata)},
        };
        if (osl_get_descriptor_items(kUnloadDescriptor, i + 1, requests,
                                     sizeof requests / sizeof requests[0]) < 0) {
            check_sql();
        }
        char* field = record + format.offset;
        if (indicator == kNullIndicator) {
            // A null BOOLEAN is not left blank: "?" is dBASE's unknown.
            if (format.kind == FieldKind::kBoolean) {
                field[0] = kNullBoolean;
            }
            continue;
        }
        write_value(run, i, value, field);
    }
}

void free_field_formats(RunState& run) {
    delete[] run.field_formats;
    run.field_formats = nullptr;
    std::free(run.cdata);
    run.cdata = nullptr;
    run.cdata_bytes = 0;
}
