// The column catalogue (see column_catalogue.h). The table is described
// through "SELECT * FROM <table>"; each column of a supported SQL type becomes
// one dBASE field, named by the 10-character rule. An append describes the
// table the same way, silently, to find the column behind each field name of
// the existing file.

#include "dbf/column_catalogue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "db/client.h"
#include "db/sql_error.h"
#include "run/command_line.h"
#include "run/messages.h"
#include "run/run_state.h"
#include "run/text_append.h"

static const char kColumnCountQuery[] =
    "SELECT count ( colno ) FROM syscolumns sc , systables st WHERE sc . tabid = st . tabid AND "
    "st . tabname = ?";
static const char kRowIdColumn[] = "gx_row_id";

// Column names are read into a buffer of this size.
constexpr size_t kColumnNameBytes = 512;

// Field widths: the decimal text of any 16-bit and 32-bit integer, the
// exponent form of a floating value, yyyymmdd, and a logical's one letter.
constexpr int32_t kSmallIntegerLength = 6;
constexpr int32_t kIntegerLength = 11;
constexpr int32_t kFloatLength = 20;
constexpr int32_t kDateLength = 8;
constexpr int32_t kLogicalLength = 1;
// A decimal's digits with its sign and point.
constexpr int32_t kDecimalExtraChars = 2;
constexpr int32_t kMaxDecimalPrecision = 32;

// Whether an item's messages go to the user: init tells of every column it
// changes or leaves out; an append has said all that when the file was made.
enum class Report { kSilent, kToUser };

struct ColumnItems {
    int32_t type = 0;
    int32_t length = 0;
    int32_t precision = 0;
    int32_t scale = 0;
    char name[kColumnNameBytes] = {};
};

struct FieldShape {
    char ftyp = 0;
    int32_t flen = 0;
    int32_t fdec = 0;
};

// The length in bytes of the longest prefix of text, at most limit bytes,
// that does not end inside a UTF-8 character.
static size_t whole_character_prefix(const char* text, size_t limit) {
    size_t length = strnlen(text, limit + 1);
    if (length <= limit) {
        return length;
    }
    size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return cut;
}

static bool name_taken(const char* name, const char* const* taken, int32_t taken_count) {
    for (int32_t i = 0; i < taken_count; ++i) {
        if (osl_text_compare(name, taken[i]) == 0) {
            return true;
        }
    }
    return false;
}

void make_dbf_field_name(const char* column_name, const char* const* taken, int32_t taken_count,
                         char* name) {
    size_t length = whole_character_prefix(column_name, kDbfFieldNameChars);
    std::memcpy(name, column_name, length);
    name[length] = '\0';
    to_upper_in_place(name);
    // More candidates than names taken cannot all clash, so this ends.
    for (int32_t n = 1; name_taken(name, taken, taken_count); ++n) {
        char suffix[kDbfNameAreaBytes];
        int suffix_length = std::snprintf(suffix, sizeof suffix, "_%d", n);
        size_t kept = whole_character_prefix(column_name, kDbfFieldNameChars - suffix_length);
        std::memcpy(name, column_name, kept);
        std::memcpy(name + kept, suffix, static_cast<size_t>(suffix_length) + 1);
        to_upper_in_place(name);
    }
}

// Counts the table's columns, then prepares "SELECT * FROM <table>" and
// describes it into seldesc1. Returns the described column count.
static int32_t describe_table(const RunSettings& settings, char* text, size_t size) {
    int32_t column_count = 0;
    OslHostValue input = {OSL_HOST_CSTRING, const_cast<char*>(settings.table_name),
                          std::strlen(settings.table_name) + 1};
    OslHostValue output = {OSL_HOST_INT32, &column_count, sizeof column_count};
    if (osl_execute_immediate(kColumnCountQuery, &input, 1, &output, 1) < 0) {
        check_sql();
    }
    text[0] = '\0';
    append_or_fail(text, size, "column query", "SELECT * FROM %s", settings.table_name);
    if (osl_prepare(kFieldStatement, text) < 0) {
        check_sql();
    }
    if (osl_allocate_descriptor(kFieldDescriptor, column_count) < 0) {
        check_sql();
    }
    if (osl_describe(kFieldStatement, kFieldDescriptor) < 0) {
        check_sql();
    }
    if (osl_get_descriptor_count(kFieldDescriptor, &column_count) < 0) {
        check_sql();
    }
    return column_count;
}

static void release_description() {
    if (osl_free_statement(kFieldStatement) < 0) {
        check_sql();
    }
    if (osl_deallocate_descriptor(kFieldDescriptor) < 0) {
        check_sql();
    }
}

static ColumnItems read_column(int32_t position) {
    ColumnItems column;
    OslItemRequest requests[] = {
        {OSL_ITEM_TYPE, {OSL_HOST_INT32, &column.type, sizeof column.type}},
        {OSL_ITEM_LENGTH, {OSL_HOST_INT32, &column.length, sizeof column.length}},
        {OSL_ITEM_PRECISION, {OSL_HOST_INT32, &column.precision, sizeof column.precision}},
        {OSL_ITEM_SCALE, {OSL_HOST_INT32, &column.scale, sizeof column.scale}},
        {OSL_ITEM_NAME, {OSL_HOST_CSTRING, column.name, sizeof column.name}},
    };
    if (osl_get_descriptor_items(kFieldDescriptor, position, requests,
                                 sizeof requests / sizeof requests[0]) < 0) {
        check_sql();
    }
    return column;
}

// A decimal whose picture a descriptor byte could not hold. The library
// describes such columns as unmapped; a server engine that did not would
// still never reach the field table.
static bool decimal_fits(const ColumnItems& column) {
    if (column.precision < 1 || column.precision > kMaxDecimalPrecision) {
        return false;
    }
    if (column.type == OSL_SQL_DECIMAL && column.scale == kDbfFloatingDecimals) {
        return true;
    }
    return column.scale >= 0 && column.scale <= column.precision;
}

// The library describes a 64-bit INTEGER column as DECIMAL(19,0), which holds
// every value exactly; the row-id rule, meant for integer row ids, covers it
// as it covers INTEGER and SERIAL.
constexpr int32_t kIntegerCarrierPrecision = 19;

static bool is_integer_carrier(const ColumnItems& column) {
    return column.type == OSL_SQL_DECIMAL && column.precision == kIntegerCarrierPrecision &&
           column.scale == 0;
}

// The field a column becomes, by its SQL type. False for a column left out:
// gx_row_id of an integer type silently, the geometry column silently, any
// other column of a type without a field with a message.
static bool map_column(const RunSettings& settings, const ColumnItems& column, Report report,
                       FieldShape& shape) {
    switch (column.type) {
        case OSL_SQL_CHAR:
        case OSL_SQL_VARCHAR: {
            shape = {'C', column.length, 0};
            if (column.length > kDbfMaxFieldLength) {
                if (report == Report::kToUser) {
                    char upper[kColumnNameBytes];
                    std::snprintf(upper, sizeof upper, "%s", column.name);
                    note_and_log(
                        "Warning: The character column '%s', which has a length of %d "
                        "characters, is truncated in the .dbf file because the maximum length "
                        "of character columns in the .dbf file is %d characters.",
                        to_upper_in_place(upper), column.length, kDbfMaxFieldLength);
                }
                shape.flen = kDbfMaxFieldLength;
            }
            if (shape.flen >= 1) {
                return true;
            }
            break;  // a zero-length text column has no field to go to
        }
        case OSL_SQL_SMALLINT:
            shape = {'N', kSmallIntegerLength, 0};
            return true;
        case OSL_SQL_INTEGER:
        case OSL_SQL_SERIAL:
            if (osl_text_compare(column.name, kRowIdColumn) == 0) {
                return false;
            }
            shape = {'N', kIntegerLength, 0};
            return true;
        case OSL_SQL_FLOAT:
        case OSL_SQL_SMALLFLOAT:
            shape = {'F', kFloatLength, 0};
            return true;
        case OSL_SQL_DECIMAL:
        case OSL_SQL_MONEY:
            if (!decimal_fits(column)) {
                break;
            }
            if (is_integer_carrier(column) && osl_text_compare(column.name, kRowIdColumn) == 0) {
                return false;
            }
            if (column.type == OSL_SQL_DECIMAL && column.scale == kDbfFloatingDecimals) {
                shape = {'N', kFloatLength, kDbfFloatingDecimals};
            } else {
                shape = {'N', column.precision + kDecimalExtraChars, column.scale};
            }
            return true;
        case OSL_SQL_DATE:
            shape = {'D', kDateLength, 0};
            return true;
        case OSL_SQL_BOOLEAN:
            shape = {'L', kLogicalLength, 0};
            return true;
        default:
            break;
    }
    if (report == Report::kToUser && osl_text_compare(column.name, settings.column_name) != 0) {
        note_and_log("Skipping unload of column '%s'.", column.name);
    }
    return false;
}

static char* copy_text(const char* text) {
    size_t size = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(size));
    if (copy == nullptr) {
        fatal_error("Memory allocation for fnam array failed.");
    }
    std::memcpy(copy, text, size);
    return copy;
}

// Appends a field for column, named by the dBASE rule against the fields so far.
static void add_field(FieldTable& fields, const ColumnItems& column, const FieldShape& shape,
                      Report report) {
    int32_t i = fields.field_count;
    char name[kDbfNameAreaBytes];
    make_dbf_field_name(column.name, fields.fnam, i, name);
    fields.fnam[i] = copy_text(name);
    fields.column_name[i] = copy_text(column.name);
    fields.ftyp[i] = shape.ftyp;
    fields.flen[i] = shape.flen;
    fields.fdec[i] = shape.fdec;
    fields.field_count = i + 1;

    char upper[kColumnNameBytes];
    std::snprintf(upper, sizeof upper, "%s", column.name);
    if (report == Report::kToUser && std::strcmp(to_upper_in_place(upper), name) != 0) {
        note_and_log(
            "Column '%s' is unloaded as field '%s': .dbf field names are unique and hold at most "
            "%d characters.",
            column.name, name, kDbfFieldNameChars);
    }
}

// Describes the table and collects the fields its columns become.
static void collect_fields(const RunSettings& settings, RunState& run, FieldTable& fields,
                           Report report) {
    int32_t column_count = describe_table(settings, run.work_buffer, sizeof run.work_buffer);
    allocate_field_table(fields, column_count);
    for (int32_t position = 1; position <= column_count; ++position) {
        ColumnItems column = read_column(position);
        FieldShape shape;
        if (map_column(settings, column, report, shape)) {
            add_field(fields, column, shape, report);
        }
    }
    release_description();
}

void build_field_table(const RunSettings& settings, RunState& run) {
    FieldTable& fields = run.fields;
    collect_fields(settings, run, fields, Report::kToUser);

    if (fields.field_count > kDbfMaxFields) {
        fatal_error("Table '%s' has %d attribute columns; a .dbf file holds at most %d fields.",
                    settings.table_name, fields.field_count, kDbfMaxFields);
    }
    int32_t record_length = 1;  // the deletion flag
    for (int32_t i = 0; i < fields.field_count; ++i) {
        record_length += fields.flen[i];
    }
    if (record_length > kDbfMaxLength) {
        fatal_error(
            "The attribute columns of table '%s' need %d bytes per .dbf record; a .dbf record "
            "holds at most %d bytes.",
            settings.table_name, record_length, kDbfMaxLength);
    }
    run.dbf_header.record_length = static_cast<int16_t>(record_length);
    run.dbf_header.header_length = static_cast<int16_t>(dbf_header_length(fields.field_count));
}

void map_fields_to_columns(const RunSettings& settings, RunState& run) {
    FieldTable table_fields;
    collect_fields(settings, run, table_fields, Report::kSilent);
    FieldTable& fields = run.fields;
    for (int32_t i = 0; i < fields.field_count; ++i) {
        int32_t match = -1;
        for (int32_t j = 0; j < table_fields.field_count && match < 0; ++j) {
            if (osl_text_compare(fields.fnam[i], table_fields.fnam[j]) == 0) {
                match = j;
            }
        }
        if (match < 0) {
            fatal_error("Field '%s' of the .dbf file is no longer a column of table '%s'.",
                        fields.fnam[i], settings.table_name);
        }
        fields.column_name[i] = copy_text(table_fields.column_name[match]);
    }
    free_field_table(table_fields);
}
