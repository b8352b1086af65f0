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
#include "db/descriptor_items.h"
#include "db/sql_error.h"
#include "dbf/field_rules.h"
#include "report/messages.h"
#include "text/characters.h"
#include "text/text_append.h"

static const char kColumnCountQuery[] =
    "SELECT count ( colno ) FROM syscolumns sc , systables st WHERE sc . tabid = st . tabid AND "
    "st . tabname = ?";
static const char kRowIdColumn[] = "gx_row_id";

// The table is described through these, only while its fields are made.
static const char kFieldStatement[] = "selstmt1";
static const char kFieldDescriptor[] = "seldesc1";

constexpr int32_t kMaxDecimalPrecision = 32;

// Whether an item's messages go to the user: init tells of every column it
// changes or leaves out; an append has said all that when the file was made.
enum class Report { kSilent, kToUser };

// What becomes of a column.
enum class ColumnFate {
    kField,    // a field of the shape map_column gives
    kRowId,    // gx_row_id of an integer type: left out silently
    kNoField,  // a type without a field: left out, with a message unless it is the geometry
};

struct FieldShape {
    char ftyp = 0;
    int32_t flen = 0;
    int32_t fdec = 0;
};

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

// Counts the table's columns, then prepares "SELECT * FROM <table>" (built in
// text) and describes it into seldesc1. Returns the described column count.
static int32_t describe_table(const char* table_name, char* text, size_t size) {
    int32_t column_count = 0;
    OslHostValue input = {OSL_HOST_CSTRING, const_cast<char*>(table_name),
                          std::strlen(table_name) + 1};
    OslHostValue output = {OSL_HOST_INT32, &column_count, sizeof column_count};
    if (osl_execute_immediate(kColumnCountQuery, &input, 1, &output, 1) < 0) {
        check_sql();
    }
    text[0] = '\0';
    append_or_fail(text, size, "column query", "SELECT * FROM %s", table_name);
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

// A decimal whose picture a descriptor byte could not hold. The library
// describes such columns as unmapped; a server engine that did not would
// still never reach the field table.
static bool decimal_fits(const FieldRule& rule, const ColumnDescription& column) {
    if (column.precision < 1 || column.precision > kMaxDecimalPrecision) {
        return false;
    }
    if (value_kind_of(rule, column.scale) == ValueKind::kFloatingDecimal) {
        return true;
    }
    return column.scale >= 0 && column.scale <= column.precision;
}

// The library describes a 64-bit INTEGER column as DECIMAL(19,0), which holds
// every value exactly; the row-id rule, meant for integer row ids, covers it
// as it covers INTEGER and SERIAL.
constexpr int32_t kIntegerCarrierPrecision = 19;

static bool is_integer_carrier(const ColumnDescription& column) {
    return column.type == OSL_SQL_DECIMAL && column.precision == kIntegerCarrierPrecision &&
           column.scale == 0;
}

static void warn_character_column_cut(const ColumnDescription& column) {
    char upper[kColumnNameBytes];
    std::snprintf(upper, sizeof upper, "%s", column.name);
    note_and_log(
        "Warning: The character column '%s', which has a length of %d characters, is truncated "
        "in the .dbf file because the maximum length of character columns in the .dbf file is "
        "%d characters.",
        to_upper_in_place(upper), column.length, kDbfMaxFieldLength);
}

// The field a column becomes, by the rule of its SQL type.
static ColumnFate map_column(const ColumnDescription& column, Report report, FieldShape& shape) {
    const FieldRule* rule = field_rule_for(column.type);
    if (rule == nullptr) {
        return ColumnFate::kNoField;
    }
    bool named_row_id = osl_text_compare(column.name, kRowIdColumn) == 0;
    shape = {rule->letter, rule->width, 0};
    switch (rule->width_rule) {
        case WidthRule::kFixed:
            break;
        case WidthRule::kColumnLength:
            shape.flen = column.length;
            if (column.length > kDbfMaxFieldLength) {
                if (report == Report::kToUser) {
                    warn_character_column_cut(column);
                }
                shape.flen = kDbfMaxFieldLength;
            }
            if (shape.flen < 1) {
                return ColumnFate::kNoField;  // a zero-length text has no field to go to
            }
            break;
        case WidthRule::kDecimalDigits:
            if (!decimal_fits(*rule, column)) {
                return ColumnFate::kNoField;
            }
            if (is_integer_carrier(column) && named_row_id) {
                return ColumnFate::kRowId;
            }
            if (value_kind_of(*rule, column.scale) == ValueKind::kFloatingDecimal) {
                shape.fdec = kDbfFloatingDecimals;
            } else {
                shape.flen = column.precision + kDecimalExtraChars;
                shape.fdec = column.scale;
            }
            break;
    }
    if (rule->may_be_row_id && named_row_id) {
        return ColumnFate::kRowId;
    }
    return ColumnFate::kField;
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
static void add_field(FieldTable& fields, const ColumnDescription& column, const FieldShape& shape,
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
static void collect_fields(const SpatialColumn& table, char* text, size_t text_size,
                           FieldTable& fields, Report report) {
    int32_t column_count = describe_table(table.table_name, text, text_size);
    allocate_field_table(fields, column_count);
    for (int32_t position = 1; position <= column_count; ++position) {
        ColumnDescription column = describe_column(kFieldDescriptor, position);
        FieldShape shape;
        switch (map_column(column, report, shape)) {
            case ColumnFate::kField:
                add_field(fields, column, shape, report);
                break;
            case ColumnFate::kRowId:
                break;
            case ColumnFate::kNoField:
                if (report == Report::kToUser &&
                    osl_text_compare(column.name, table.column_name) != 0) {
                    note_and_log("Skipping unload of column '%s'.", column.name);
                }
                break;
        }
    }
    release_description();
}

void build_field_table(const SpatialColumn& table, char* text, size_t text_size, FieldTable& fields,
                       DbfHeader& header) {
    collect_fields(table, text, text_size, fields, Report::kToUser);

    if (fields.field_count > kDbfMaxFields) {
        fatal_error("Table '%s' has %d attribute columns; a .dbf file holds at most %d fields.",
                    table.table_name, fields.field_count, kDbfMaxFields);
    }
    int32_t record_length = 1;  // the deletion flag
    for (int32_t i = 0; i < fields.field_count; ++i) {
        record_length += fields.flen[i];
    }
    if (record_length > kDbfMaxLength) {
        fatal_error(
            "The attribute columns of table '%s' need %d bytes per .dbf record; a .dbf record "
            "holds at most %d bytes.",
            table.table_name, record_length, kDbfMaxLength);
    }
    header.record_length = static_cast<int16_t>(record_length);
    header.header_length = static_cast<int16_t>(dbf_header_length(fields.field_count));
}

void map_fields_to_columns(const SpatialColumn& table, char* text, size_t text_size,
                           FieldTable& fields) {
    FieldTable table_fields;
    collect_fields(table, text, text_size, table_fields, Report::kSilent);
    for (int32_t i = 0; i < fields.field_count; ++i) {
        int32_t match = -1;
        for (int32_t j = 0; j < table_fields.field_count && match < 0; ++j) {
            if (osl_text_compare(fields.fnam[i], table_fields.fnam[j]) == 0) {
                match = j;
            }
        }
        if (match < 0) {
            fatal_error("Field '%s' of the .dbf file is no longer a column of table '%s'.",
                        fields.fnam[i], table.table_name);
        }
        fields.column_name[i] = copy_text(table_fields.column_name[match]);
    }
    free_field_table(table_fields);
}
