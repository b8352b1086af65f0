// Describing columns: a declared type (as CREATE TABLE wrote it) to the SQL
// type code and sizes a descriptor reports.

#ifndef OSTREL_DESCRIBE_H
#define OSTREL_DESCRIBE_H

#include "engine.h"

// Fills type, length, precision and scale of d from a declared type (null or
// empty: no declared type at all). Types outside the mapping get
// OSL_SQL_UNMAPPED.
void map_declared_type(const char* declared, ColumnDescription* d);

#endif
