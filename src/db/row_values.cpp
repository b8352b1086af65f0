// The row's attribute values (see row_values.h). Every text is fetched into a
// place bounded by its field, every number straight into its value, so that
// the one request per row fills them all; only decimals and dates take a
// second step, the library's own text of them.

#include "db/row_values.h"

#include <cassert>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "db/descriptor_items.h"
#include "dbf/field_refusals.h"
#include "report/inside_failures.h"
#include "report/messages.h"

// A boolean's text is one letter: "T" or "F".
constexpr int32_t kBooleanTextBytes = kLogicalWidth + 1;
// A UTF-8 character has at most 4 bytes.
constexpr int32_t kTextOverrunBytes = 4;
// Room for the whole digits of any decimal, its sign and its point.
constexpr int32_t kDecimalTextExtra = OSL_DECIMAL_MAX_DIGITS + kDecimalExtraChars;

static bool is_encoded(const RecordFormats& formats) {
    return formats.encoder.converter != nullptr;
}

// The bytes a value's text takes: a text field's place holds one more UTF-8
// character than the field, so that a value longer than the field shows as
// such and its cut is counted. A field in a code page takes as many
// characters as its width, whose UTF-8 bytes can be four times as many. A
// decimal's or a date's text is its field's width and a zero byte.
static size_t text_bytes(const FieldFormat& format, bool encoded) {
    switch (format.kind) {
        case ValueKind::kText:
            return static_cast<size_t>(format.width) * (encoded ? kMaxUtf8CharBytes : 1) +
                   kTextOverrunBytes + 1;
        case ValueKind::kBoolean:
            return kBooleanTextBytes;
        case ValueKind::kDecimalPicture:
        case ValueKind::kDate:
            return static_cast<size_t>(format.width) + 1;
        case ValueKind::kInteger:
        case ValueKind::kFloat:
        case ValueKind::kFloatingDecimal:
            break;
    }
    return 0;
}

// The host variable a field's value is fetched into.
static OslHostValue data_target(const FieldFormat& format, FieldValue& value, LibraryValue& library,
                                bool encoded) {
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
            return {OSL_HOST_DECIMAL, &library.decimal, sizeof library.decimal};
        case ValueKind::kDate:
            return {OSL_HOST_DATE, &library.date, sizeof library.date};
    }
    return {OSL_HOST_CSTRING, value.text, 1};
}

static bool made_per_row(ValueKind kind) {
    return kind == ValueKind::kFloatingDecimal || kind == ValueKind::kDecimalPicture ||
           kind == ValueKind::kDate;
}

// Each text is fetched bounded by its own place, so the widest field sizes
// it, however long the column's values are.
void prepare_row_values(const RecordFormats& formats, RowValues& row) {
    size_t entries = formats.field_count > 0 ? static_cast<size_t>(formats.field_count) : 1;
    size_t all_texts = 1;
    for (int32_t i = 0; i < formats.field_count; ++i) {
        all_texts += text_bytes(formats.fields[i], is_encoded(formats));
    }
    row.field_count = formats.field_count;
    row.values = new (std::nothrow) FieldValue[entries];
    row.requests = new (std::nothrow) OslItemRequest[kRequestsPerValue * entries];
    row.library = new (std::nothrow) LibraryValue[entries];
    row.made = new (std::nothrow) int32_t[entries];
    row.texts = static_cast<char*>(std::calloc(all_texts, 1));
    row.cut_counts = static_cast<int32_t*>(std::calloc(entries, sizeof(int32_t)));
    if (row.values == nullptr || row.requests == nullptr || row.library == nullptr ||
        row.made == nullptr || row.texts == nullptr || row.cut_counts == nullptr) {
        inside_failure(InsideFailure::kRowValuesMemory);
    }
    char* place = row.texts;
    row.made_count = 0;
    for (int32_t i = 0; i < formats.field_count; ++i) {
        const FieldFormat& format = formats.fields[i];
        FieldValue& value = row.values[i];
        size_t bytes = text_bytes(format, is_encoded(formats));
        value.text = bytes > 0 ? place : nullptr;
        place += bytes;
        OslItemRequest* requests = row.requests + kRequestsPerValue * i;
        requests[0] = {OSL_ITEM_INDICATOR,
                       {OSL_HOST_INT16, &value.indicator, sizeof value.indicator}};
        requests[1] = {OSL_ITEM_DATA,
                       data_target(format, value, row.library[i], is_encoded(formats))};
        if (made_per_row(format.kind)) {
            row.made[row.made_count++] = i;
        }
    }
}

void prepare_field_formats(const FieldTable& fields, int32_t record_length, const char* descriptor,
                           RecordFormats& formats, RowValues& row, const SetEncoding* encoding) {
    size_t entries = fields.field_count > 0 ? static_cast<size_t>(fields.field_count) : 1;
    formats.fields = new (std::nothrow) FieldFormat[entries];
    if (formats.fields == nullptr) {
        inside_failure(InsideFailure::kFormatsMemory);
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
    if (encoding != nullptr && !encoding->utf8 &&
        !encode_text_into(formats, encoding->code_page, encoding->declaration)) {
        fatal_error("The code page %s, which %s declares, cannot be written.", encoding->code_page,
                    encoding->declaration);
    }
    prepare_row_values(formats, row);
}

void fetch_row_values(const char* descriptor, const RecordFormats& formats, RowValues& row) {
    read_row_values(descriptor, row.requests, row.field_count);
    make_field_texts(formats, row);
}

void make_field_texts(const RecordFormats& formats, RowValues& row) {
    for (int32_t k = 0; k < row.made_count; ++k) {
        int32_t i = row.made[k];
        FieldValue& value = row.values[i];
        if (value.indicator < 0) {
            continue;
        }
        const FieldFormat& format = formats.fields[i];
        const LibraryValue& library = row.library[i];
        switch (format.kind) {
            case ValueKind::kFloatingDecimal:
                if (osl_decimal_to_double(&library.decimal, &value.real) < 0) {
                    inside_failure(InsideFailure::kDecimalToDouble);
                }
                break;
            case ValueKind::kDecimalPicture:
                value.unfit = osl_decimal_format(&library.decimal, format.text, value.text) < 0;
                break;
            case ValueKind::kDate:
                value.unfit = osl_date_format(library.date, format.text, value.text) < 0;
                break;
            default:
                break;
        }
    }
}

void shown_value_text(const RecordFormats& formats, const RowValues& row, int32_t i, int32_t fdec,
                      char* text, size_t size) {
    const FieldFormat& format = formats.fields[i];
    const FieldValue& value = row.values[i];
    switch (format.kind) {
        case ValueKind::kInteger:
            std::snprintf(text, size, "%d", value.integer);
            return;
        case ValueKind::kFloat:
        case ValueKind::kFloatingDecimal:
            std::snprintf(text, size, "%.*e", format.fraction_digits, value.real);
            return;
        case ValueKind::kDecimalPicture: {
            // The field's decimals in a picture wide enough for any value.
            int32_t width = fdec + kDecimalTextExtra;
            if (width > static_cast<int32_t>(size) - 1) {
                width = static_cast<int32_t>(size) - 1;
            }
            char picture[kFieldTextBytes];
            make_decimal_picture(width, fdec, picture);
            if (osl_decimal_format(&row.library[i].decimal, picture, text) < 0) {
                std::snprintf(text, size, "?");
            }
            return;
        }
        case ValueKind::kDate:
            // A day the library cannot write.
            std::snprintf(text, size, "day %d", row.library[i].date);
            return;
        case ValueKind::kText:
        case ValueKind::kBoolean:
            std::snprintf(text, size, "%s", value.text);
            return;
    }
}

void free_field_formats(RecordFormats& formats, RowValues& row) {
    free_record_formats(formats);
    delete[] row.values;
    delete[] row.requests;
    delete[] row.library;
    delete[] row.made;
    std::free(row.texts);
    std::free(row.cut_counts);
    row = RowValues{};
}
