// The table's columns (see table_columns.h). The column count only sizes the
// descriptor; the described count is what counts, since tables of the name
// in other schemas may add to the first.

#include "db/table_columns.h"

#include <cstring>
#include <new>

#include "db/descriptor_items.h"
#include "db/sql_error.h"
#include "report/inside_failures.h"
#include "report/messages.h"
#include "text/text_append.h"

static const char kColumnCountQuery[] =
    "SELECT count ( colno ) FROM syscolumns sc , systables st WHERE sc . tabid = st . tabid AND "
    "st . tabname = ?";

// The table is described through these, only while its columns are read.
static const char kFieldStatement[] = "selstmt1";
static const char kFieldDescriptor[] = "seldesc1";

static void checked(int status) {
    if (status < 0) {
        check_sql();
    }
}

void read_table_columns(const SpatialColumn& table, char* text, size_t size,
                        TableColumns& columns) {
    int32_t column_count = 0;
    OslHostValue input = {OSL_HOST_CSTRING, const_cast<char*>(table.table_name),
                          std::strlen(table.table_name) + 1};
    OslHostValue output = {OSL_HOST_INT32, &column_count, sizeof column_count};
    checked(osl_execute_immediate(kColumnCountQuery, &input, 1, &output, 1));
    text[0] = '\0';
    append_or_fail(text, size, "column query", "SELECT * FROM ");
    append_table_reference(text, size, "column query", table);
    checked(osl_prepare(kFieldStatement, text));
    checked(osl_allocate_descriptor(kFieldDescriptor, column_count));
    checked(osl_describe(kFieldStatement, kFieldDescriptor));
    checked(osl_get_descriptor_count(kFieldDescriptor, &column_count));
    columns.count = column_count;
    columns.columns = new (std::nothrow) DescribedColumn[column_count > 0 ? column_count : 1];
    if (columns.columns == nullptr) {
        inside_failure(InsideFailure::kColumnNamesMemory);
    }
    for (int32_t position = 1; position <= column_count; ++position) {
        columns.columns[position - 1] = describe_column(kFieldDescriptor, position);
    }
    checked(osl_free_statement(kFieldStatement));
    checked(osl_deallocate_descriptor(kFieldDescriptor));
}

void free_table_columns(TableColumns& columns) {
    delete[] columns.columns;
    columns = TableColumns{};
}

void build_field_table(const SpatialColumn& table, char* text, size_t size, FieldTable& fields,
                       DbfHeader& header) {
    TableColumns columns;
    read_table_columns(table, text, size, columns);
    fields_from_columns(columns, table.table_name, table.column_name, fields, header);
    free_table_columns(columns);
}

void map_fields_to_columns(const SpatialColumn& table, const char* dbf_name, char* text,
                           size_t size, FieldTable& fields) {
    TableColumns columns;
    read_table_columns(table, text, size, columns);
    match_fields_to_columns(columns, table.table_name, dbf_name, text, size, fields);
    free_table_columns(columns);
}
