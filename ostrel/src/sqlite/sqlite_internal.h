// Inside the embedded engine: its database and statement, as every file of
// the engine sees them. What each file does with them is declared in the
// file's own header.

#ifndef OSTREL_SQLITE_SQLITE_INTERNAL_H
#define OSTREL_SQLITE_SQLITE_INTERNAL_H

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine.h"
#include "gx/gx_shape.h"

enum class DatabaseKind { kPlain, kGeoPackage, kSpatiaLite, kNative };

struct SqliteDatabase {
    sqlite3* db = nullptr;
    std::string path;
    DatabaseKind kind = DatabaseKind::kPlain;
    // (table, column) of every registered geometry column, lower case.
    std::vector<std::pair<std::string, std::string>> geometry_columns;
    bool geometry_columns_loaded = false;
};

struct SqliteStatement {
    sqlite3_stmt* stmt = nullptr;
    SqliteDatabase* database = nullptr;
    std::vector<Cell> cells;  // the current row, one per column
    // The last failed step's result code and message, kept until it is
    // reported.
    int failed_code = SQLITE_OK;
    std::string failed_message;
};

// The front hands back the pointers the engine gave it.
inline EngineDatabase* as_engine(SqliteDatabase* database) {
    return reinterpret_cast<EngineDatabase*>(database);
}
inline SqliteDatabase& as_sqlite(EngineDatabase* database) {
    return *reinterpret_cast<SqliteDatabase*>(database);
}
inline EngineStatement* as_engine(SqliteStatement* statement) {
    return reinterpret_cast<EngineStatement*>(statement);
}
inline SqliteStatement& as_sqlite(EngineStatement* statement) {
    return *reinterpret_cast<SqliteStatement*>(statement);
}

// The value as a cell; its bytes stay SQLite's until the value changes.
// False when SQLite runs out of memory making a text or blob readable.
//
// The engine reads each column of a row through one sqlite3_column_value:
// the sqlite3_column_* functions each look the column up again, three times
// for a text. SQLite calls a column's value unprotected because another
// thread may use the connection meanwhile; one thread uses each of ours.
inline bool cell_of_value(sqlite3_value* value, Cell* cell) {
    switch (sqlite3_value_type(value)) {
        case SQLITE_INTEGER:
            cell->kind = CellKind::kInteger;
            cell->integer = sqlite3_value_int64(value);
            return true;
        case SQLITE_FLOAT:
            cell->kind = CellKind::kReal;
            cell->real = sqlite3_value_double(value);
            return true;
        case SQLITE_TEXT:
            // The length after the text itself, as SQLite asks.
            cell->kind = CellKind::kText;
            cell->text = reinterpret_cast<const char*>(sqlite3_value_text(value));
            cell->length = static_cast<uint32_t>(sqlite3_value_bytes(value));
            return cell->text != nullptr;
        case SQLITE_BLOB:
            cell->kind = CellKind::kBlob;
            cell->blob = static_cast<const uint8_t*>(sqlite3_value_blob(value));
            cell->length = static_cast<uint32_t>(sqlite3_value_bytes(value));
            return cell->blob != nullptr || cell->length == 0;
        default:
            cell->kind = CellKind::kNull;
            return true;
    }
}

#endif
