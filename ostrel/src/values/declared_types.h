// The SQL type codes and sizes a descriptor reports for a column, from the
// declared type CREATE TABLE wrote (the embedded engine's columns) or from a
// type an engine names directly. One table for every engine, so a type is
// described the same way whichever engine found it.

#ifndef OSTREL_VALUES_DECLARED_TYPES_H
#define OSTREL_VALUES_DECLARED_TYPES_H

#include "engine/engine.h"

// Text columns without a length, and expressions that return text.
constexpr int kDefaultTextLength = 254;
// A 64-bit integer carried whole as a decimal: 19 digits.
constexpr int kBigIntPrecision = OSL_INT64_PRECISION;

// Sets d to SQL type type with the sizes a descriptor reports: LENGTH the
// host size of a fixed-size type; for CHAR and VARCHAR size is LENGTH, for
// DECIMAL and MONEY size is PRECISION and scale SCALE. Other types (the
// geometry, the shape item, unmapped ones) have no sizes.
void describe_type(ColumnDescription* d, int type, int size = 0, int scale = 0);

// Fills type, length, precision and scale of d from a declared type (null or
// empty: no declared type at all). Types outside the mapping get
// OSL_SQL_UNMAPPED.
void map_declared_type(const char* declared, ColumnDescription* d);

#endif
