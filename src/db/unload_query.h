// The text of the unload query: the attribute fields' columns in field order,
// then the geometry column converted to shape record content, so that field k
// is item k of the described statement and the shape is the last item.

#ifndef SPOOLMAP_DB_UNLOAD_QUERY_H
#define SPOOLMAP_DB_UNLOAD_QUERY_H

#include <cstddef>

#include "db/spatial_column.h"

struct FieldTable;

// Whether the query asks for each row's SRID, as GX_Srid(column) just before
// the shape: where the catalogue knows no coordinate system for the column,
// the rows' SRID gives it.
enum class SridItem { kLeftOut, kAsked };

// Writes the query into buffer, replacing what was there: the fields'
// columns, the SRID when asked for, the shape of the geometry column, the
// table and, unless where_clause is null, the condition. Every name is a quoted identifier (so
// names with blanks and reserved words such as "order" select the right
// table and columns); the condition goes in as the user gave it. Ends the run
// when the text does not fit.
void unload_query_text(const SpatialColumn& geometry, const char* where_clause,
                       const FieldTable& fields, char* buffer, size_t size,
                       SridItem srid = SridItem::kLeftOut);

// After the unload query is prepared as statement_id: ends the run when the
// condition where_clause holds a parameter marker, which would otherwise be
// run without a value and match nothing.
void refuse_parameter_markers(const char* statement_id, const char* where_clause);

// Appends name as a quoted SQL identifier ("..." with embedded quotes doubled).
// False when it does not fit.
bool append_quoted_identifier(char* buffer, size_t size, const char* name);

// append_quoted_identifier, ending the run as append_or_fail does (naming
// what) when it does not fit.
void append_identifier_or_fail(char* buffer, size_t size, const char* what, const char* name);

#endif
