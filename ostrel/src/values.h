// Reading one value of the current row into a caller's host variable, by the
// column's SQL type: the conversions and range checks of the library, each
// refusal a condition naming the column and the value.

#ifndef OSTREL_VALUES_H
#define OSTREL_VALUES_H

#include <sqlite3.h>

#include "engine.h"

// Where a value comes from, for the messages: the column's description (its
// SQL type decides the conversion and the range) and the statement's id.
struct ValueSource {
    sqlite3_stmt* stmt;
    int column;  // from 0
    const ColumnDescription* description;
    const char* statement_id;
    bool var_by_library;  // the descriptor item's flag 12
    int storage;          // SQLite's type of the value if known, else -1
};

// Reads the value into host. A null value leaves a zero value (empty text,
// zero-length var) and sets *is_null. Returns 0, or a negative status with
// its condition left.
int read_value(const ValueSource& source, const OslHostValue& host, bool* is_null);

// The SQL type a direct output of this host type is read as (no descriptor
// tells it): the range then follows the host type. (direct_values.cpp)
ColumnDescription description_for_host(int host_type, const char* column_name);

// Binds host as parameter index (from 1) of stmt; false for a host type
// that cannot be bound. (direct_values.cpp)
bool bind_value(sqlite3_stmt* stmt, int index, const OslHostValue& host);

#endif
