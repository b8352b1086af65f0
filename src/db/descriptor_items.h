// What spoolmap reads from the items of a described statement: a column's
// description (its SQL type and sizes, and its name), and after a fetch the
// current row's values, the shape into a var buffer and the attribute values
// into the host variables prepared for them. Every read that the library
// refuses ends the run through check_sql.

#ifndef SPOOLMAP_DB_DESCRIPTOR_ITEMS_H
#define SPOOLMAP_DB_DESCRIPTOR_ITEMS_H

#include <cstddef>
#include <cstdint>

#include "db/client.h"
#include "dbf/field_rules.h"
#include "shape/shape_layout.h"

// The INDICATOR the library gives a null value.
constexpr int16_t kNullIndicator = -1;

// A row value is read through two requests: its INDICATOR, then its DATA.
constexpr int kRequestsPerValue = 2;

// TYPE, LENGTH, PRECISION, SCALE and NAME of item (from 1) of descriptor, in
// one request.
DescribedColumn describe_column(const char* descriptor, int32_t item);

// The current row's items 1 to item_count of descriptor, each through
// kRequestsPerValue requests that the caller has pointed at its host
// variables: its INDICATOR first, then its DATA. requests holds
// kRequestsPerValue * item_count entries.
void read_row_values(const char* descriptor, OslItemRequest* requests, int32_t item_count);

// The current row's shape item into var: for a null geometry the 4-byte null
// shape in a buffer of var's own, else the bytes as the database returns
// them, read with the indicator in one request into a var buffer the library
// sizes. The caller releases var (osl_var_dealloc) once the shape is
// written.
ShapeBuffer read_row_shape(const char* descriptor, int32_t shape_item, OslVar& var);

#endif
