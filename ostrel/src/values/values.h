// Reading one cell of the current row into a caller's host variable, by the
// column's SQL type: the conversions and range checks of the library, each
// refusal a condition naming the column and the value. Every engine's cells
// go through this one code.

#ifndef OSTREL_VALUES_VALUES_H
#define OSTREL_VALUES_VALUES_H

#include "engine/engine.h"
#include "values/decimal.h"

// The cell and where it comes from, for the messages: the column's
// description (its SQL type decides the conversion and the range) and the
// statement's id.
struct ValueSource {
    const Cell* cell;
    const ColumnDescription* description;
    const char* statement_id;
    bool var_by_library;  // the descriptor item's flag 12
};

// Reads the value into host. A null value leaves a zero value (empty text,
// zero-length var) and sets *is_null. Returns 0, or a negative status with
// its condition left.
int read_value(const ValueSource& source, const OslHostValue& host, bool* is_null);

// The SQL type a direct output of this host type is read as (no descriptor
// tells it): the range then follows the host type. (direct_values.cpp)
ColumnDescription description_for_host(int host_type, const char* column_name);

// A host value as a cell to bind, with room for the text a decimal or a date
// is bound as. Not to be copied: the cell may point into text.
struct HostCell {
    Cell cell;
    char text[kDecimalTextBytes];
};

// The cell of an input value; false for a host type that cannot be bound.
// (direct_values.cpp)
bool cell_from_host(const OslHostValue& host, HostCell* out);

#endif
