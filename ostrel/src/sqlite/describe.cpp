// Describing a statement's columns. A column of a table is described by its
// declared type (SQLite keeps it as CREATE TABLE wrote it), except a
// registered geometry column, which is always the geometry type whatever it
// was declared as. An expression is described by what it returns: the
// extension's functions by name, anything else by the first row's value.

#include "sqlite/describe.h"

#include <strings.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "sqlite/catalog.h"
#include "sqlite/sqlite_internal.h"
#include "values/declared_types.h"

namespace {

bool starts_with_call(const char* text, const char* function) {
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    size_t length = std::strlen(function);
    if (strncasecmp(text, function, length) != 0) {
        return false;
    }
    text += length;
    while (std::isspace(static_cast<unsigned char>(*text))) {
        ++text;
    }
    return *text == '(';
}

// The type of an expression column by the value it holds in the first row:
// the statement is stepped once and reset. A statement with parameters, a
// busy one, or one without rows describes its expressions as text.
void describe_by_first_row(sqlite3_stmt* stmt, const std::vector<int>& expressions,
                           std::vector<ColumnDescription>& columns) {
    bool peek = sqlite3_bind_parameter_count(stmt) == 0 && !sqlite3_stmt_busy(stmt) &&
                sqlite3_step(stmt) == SQLITE_ROW;
    for (int column : expressions) {
        ColumnDescription& d = columns[static_cast<size_t>(column)];
        switch (peek ? sqlite3_column_type(stmt, column) : SQLITE_NULL) {
            case SQLITE_INTEGER:
                describe_type(&d, OSL_SQL_DECIMAL, kBigIntPrecision, 0);
                break;
            case SQLITE_FLOAT:
                describe_type(&d, OSL_SQL_FLOAT);
                break;
            case SQLITE_BLOB:
                describe_type(&d, OSL_SQL_VAR_BINARY);
                break;
            default:
                describe_type(&d, OSL_SQL_VARCHAR, kDefaultTextLength);
                break;
        }
    }
    sqlite3_reset(stmt);
}

}  // namespace

bool describe_columns(EngineStatement* engine_statement, std::vector<ColumnDescription>* columns) {
    SqliteStatement& statement = as_sqlite(engine_statement);
    SqliteDatabase& database = *statement.database;
    sqlite3_stmt* stmt = statement.stmt;
    int count = sqlite3_column_count(stmt);
    columns->assign(static_cast<size_t>(count), ColumnDescription{});
    std::vector<int> expressions;
    for (int i = 0; i < count; ++i) {
        ColumnDescription& d = (*columns)[static_cast<size_t>(i)];
        const char* name = sqlite3_column_name(stmt, i);
        const char* origin = sqlite3_column_origin_name(stmt, i);
        const char* table = sqlite3_column_table_name(stmt, i);
        d.name = name != nullptr ? name : "";
        if (origin == nullptr || table == nullptr) {
            d.nullable = 1;
            if (starts_with_call(d.name.c_str(), "GX_AsShape")) {
                describe_type(&d, OSL_SQL_VAR_BINARY);
            } else if (starts_with_call(d.name.c_str(), "GX_Trace")) {
                describe_type(&d, OSL_SQL_VARCHAR, kDefaultTextLength);
            } else {
                expressions.push_back(i);
            }
            continue;
        }
        // A column selected by its own name reports it as stored, its case
        // kept; an alias stays as the statement wrote it.
        if (osl_text_compare(d.name.c_str(), origin) == 0) {
            d.name = origin;
        }
        if (is_geometry_column(database, table, origin)) {
            describe_type(&d, OSL_SQL_GEOMETRY);
        } else {
            map_declared_type(sqlite3_column_decltype(stmt, i), &d);
        }
        int not_null = 0;
        if (sqlite3_table_column_metadata(database.db, sqlite3_column_database_name(stmt, i), table,
                                          origin, nullptr, nullptr, &not_null, nullptr,
                                          nullptr) == SQLITE_OK) {
            d.nullable = not_null ? 0 : 1;
        }
    }
    if (!expressions.empty()) {
        describe_by_first_row(stmt, expressions, *columns);
    }
    return true;
}
