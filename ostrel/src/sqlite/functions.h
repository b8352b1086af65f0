// The spatial extension's SQL functions on a SQLite connection: GX_AsShape
// (the geometry converter), GX_Srid (a geometry's SRID) and GX_Trace (the
// session's trace).

#ifndef OSTREL_SQLITE_FUNCTIONS_H
#define OSTREL_SQLITE_FUNCTIONS_H

#include <sqlite3.h>

#include "gx/gx_shape.h"

// Registers GX_AsShape on a SQLite connection. spatialite_blobs: the database
// is a SpatiaLite one, so its own blob format is read too. Every call is
// reported to trace (when not null). Failures are raised as "GXnnn|message".
// Returns SQLite's result code.
int gx_register_asshape(sqlite3* db, bool spatialite_blobs, GxTraceCall trace, void* trace_context);

// Registers GX_Srid(geometry): the SRID a geometry blob carries (a
// GeoPackage header's srs_id, EWKB's SRID, SpatiaLite's when spatialite_blobs),
// 0 for a plain WKB, NULL for anything that is not a blob. Returns SQLite's
// result code.
int gx_register_srid(sqlite3* db, bool spatialite_blobs);

// Registers GX_Trace(file, level), which switches the session's trace on.
// Returns SQLite's result code.
int gx_register_trace(sqlite3* db);

#endif
