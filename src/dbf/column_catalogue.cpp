// The column catalogue (see column_catalogue.h). Each column of a supported
// SQL type becomes one dBASE field, named by the field-name rule once all of
// them are known. An append maps the same columns, silently, to find the one
// column behind each field name of the existing file.

#include "dbf/column_catalogue.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "dbf/field_names.h"
#include "dbf/field_rules.h"
#include "report/inside_failures.h"
#include "report/messages.h"
#include "text/characters.h"
#include "text/text_append.h"

static const char kRowIdColumn[] = "gx_row_id";

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

static void warn_character_column_cut(const DescribedColumn& column) {
    char upper[kColumnNameBytes];
    std::snprintf(upper, sizeof upper, "%s", column.name);
    note_and_log(
        "Warning: The character column '%s', which has a length of %d characters, is truncated "
        "in the .dbf file because the maximum length of character columns in the .dbf file is "
        "%d characters.",
        to_upper_in_place(upper), column.length, kDbfMaxFieldLength);
}

// The field a column becomes, by the rule of its SQL type.
static ColumnFate map_column(const DescribedColumn& column, Report report, FieldShape& shape) {
    const FieldRule* rule = field_rule_for(column.type);
    if (rule == nullptr) {
        return ColumnFate::kNoField;
    }
    bool named_row_id = ascii_equal_ignoring_case(column.name, kRowIdColumn);
    shape = {rule->letter, rule->width, rule->decimals};
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
            if (!decimal_has_field(*rule, column)) {
                return ColumnFate::kNoField;
            }
            if (is_integer_carrier(column) && named_row_id) {
                return ColumnFate::kRowId;
            }
            if (value_kind_of(*rule, column.scale) == ValueKind::kFloatingDecimal) {
                // Written in the exponent form of a FLOAT, and declared as one.
                shape = {'F', kExponentWidth, kExponentDecimals};
            } else if (is_integer_carrier(column)) {
                shape.flen = kInteger64Width;
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
        inside_failure(InsideFailure::kFieldNamesMemory);
    }
    std::memcpy(copy, text, size);
    return copy;
}

// Appends a field for column; it is named once all the fields are known.
static void add_field(FieldTable& fields, const DescribedColumn& column, const FieldShape& shape) {
    int32_t i = fields.field_count;
    fields.column_name[i] = copy_text(column.name);
    fields.ftyp[i] = shape.ftyp;
    fields.flen[i] = shape.flen;
    fields.fdec[i] = shape.fdec;
    fields.field_count = i + 1;
}

// Names the fields by their columns, telling of each column whose field name
// is not its own name in upper case. Two columns whose names would still be
// one (their hashes collide) end the run: neither may take the other's field.
static void name_the_fields(const char* table_name, FieldTable& fields) {
    char(*names)[kDbfNameAreaBytes] =
        new (std::nothrow) char[fields.field_count > 0 ? fields.field_count : 1][kDbfNameAreaBytes];
    if (names == nullptr) {
        inside_failure(InsideFailure::kFieldNamesMemory);
    }
    int32_t other = -1;
    int32_t clash = name_fields(fields.column_name, fields.field_count, names, other);
    if (clash >= 0) {
        fatal_error(
            "Columns '%s' and '%s' of table '%s' would both be field '%s' of the .dbf file; "
            "unload a view that renames one of them.",
            fields.column_name[clash], fields.column_name[other], table_name, names[clash]);
    }
    for (int32_t i = 0; i < fields.field_count; ++i) {
        fields.fnam[i] = copy_text(names[i]);
        char upper[kColumnNameBytes];
        std::snprintf(upper, sizeof upper, "%s", fields.column_name[i]);
        if (std::strcmp(to_upper_in_place(upper), names[i]) != 0) {
            note_and_log(
                "Column '%s' is unloaded as field '%s': .dbf field names are unique and hold at "
                "most %d of the characters A-Z, 0-9 and _.",
                fields.column_name[i], names[i], kDbfFieldNameChars);
        }
    }
    delete[] names;
}

// Collects the fields the table's columns become.
static void collect_fields(const TableColumns& columns, const char* geometry_column,
                           FieldTable& fields, Report report) {
    allocate_field_table(fields, columns.count);
    for (int32_t position = 0; position < columns.count; ++position) {
        const DescribedColumn& column = columns.columns[position];
        FieldShape shape;
        switch (map_column(column, report, shape)) {
            case ColumnFate::kField:
                add_field(fields, column, shape);
                break;
            case ColumnFate::kRowId:
                break;
            case ColumnFate::kNoField:
                if (report == Report::kToUser &&
                    !ascii_equal_ignoring_case(column.name, geometry_column)) {
                    note_and_log("Skipping unload of column '%s'.", column.name);
                }
                break;
        }
    }
}

void fields_from_columns(const TableColumns& columns, const char* table_name,
                         const char* geometry_column, FieldTable& fields, DbfHeader& header) {
    collect_fields(columns, geometry_column, fields, Report::kToUser);
    name_the_fields(table_name, fields);

    if (fields.field_count > kDbfMaxFields) {
        fatal_error("Table '%s' has %d attribute columns; a .dbf file holds at most %d fields.",
                    table_name, fields.field_count, kDbfMaxFields);
    }
    int32_t record_length = 1;  // the deletion flag
    for (int32_t i = 0; i < fields.field_count; ++i) {
        record_length += fields.flen[i];
    }
    if (record_length > kDbfMaxLength) {
        fatal_error(
            "The attribute columns of table '%s' need %d bytes per .dbf record; a .dbf record "
            "holds at most %d bytes.",
            table_name, record_length, kDbfMaxLength);
    }
    header.record_length = static_cast<int16_t>(record_length);
    header.header_length = static_cast<int16_t>(dbf_header_length(fields.field_count));
}

// Ends the append for field i, which stands for more than one column: the
// columns are listed in text.
[[noreturn]] static void refuse_ambiguous_field(const FieldTable& fields, int32_t i,
                                                const FieldTable& columns,
                                                const ColumnFieldNames* names, const char* dbf_name,
                                                const char* table_name, char* text,
                                                size_t text_size) {
    text[0] = '\0';
    const char* separator = "";
    for (int32_t j = 0; j < columns.field_count; ++j) {
        if (!field_name_matches(fields.fnam[i], names[j])) {
            continue;
        }
        if (!append_text(text, text_size, "%s'%s'", separator, columns.column_name[j])) {
            break;  // the message names as many as fit
        }
        separator = ", ";
    }
    fatal_error("Field '%s' of file %s matches more than one column of table '%s': %s.",
                fields.fnam[i], dbf_name, table_name, text);
}

void match_fields_to_columns(const TableColumns& table_columns, const char* table_name,
                             const char* dbf_name, char* text, size_t text_size,
                             FieldTable& fields) {
    FieldTable columns;
    collect_fields(table_columns, nullptr, columns, Report::kSilent);
    size_t entries = columns.field_count > 0 ? static_cast<size_t>(columns.field_count) : 1;
    ColumnFieldNames* names = new (std::nothrow) ColumnFieldNames[entries];
    int32_t* field_of_column = new (std::nothrow) int32_t[entries];
    if (names == nullptr || field_of_column == nullptr) {
        inside_failure(InsideFailure::kColumnNamesMemory);
    }
    for (int32_t j = 0; j < columns.field_count; ++j) {
        column_field_names(columns.column_name[j], names[j]);
        field_of_column[j] = -1;
    }
    for (int32_t i = 0; i < fields.field_count; ++i) {
        int32_t match = -1;
        for (int32_t j = 0; j < columns.field_count; ++j) {
            if (!field_name_matches(fields.fnam[i], names[j])) {
                continue;
            }
            if (match >= 0) {
                refuse_ambiguous_field(fields, i, columns, names, dbf_name, table_name, text,
                                       text_size);
            }
            match = j;
        }
        if (match < 0) {
            fatal_error("Field '%s' of file %s matches no column of table '%s'.", fields.fnam[i],
                        dbf_name, table_name);
        }
        if (field_of_column[match] >= 0) {
            fatal_error("Fields '%s' and '%s' of file %s both match column '%s' of table '%s'.",
                        fields.fnam[field_of_column[match]], fields.fnam[i], dbf_name,
                        columns.column_name[match], table_name);
        }
        field_of_column[match] = i;
        fields.column_name[i] = copy_text(columns.column_name[match]);
    }
    delete[] names;
    delete[] field_of_column;
    free_field_table(columns);
}
