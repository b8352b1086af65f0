// The spatial extension's SQL functions on a SQLite connection: GX_AsShape
// (the geometry converter) and GX_Trace (the session's trace).

#ifndef OSTREL_SQLITE_FUNCTIONS_H
#define OSTREL_SQLITE_FUNCTIONS_H

#include <sqlite3.h>

#include "gx/gx_shape.h"

// Registers GX_AsShape on a SQLite connection. spatialite_blobs: the database
// is a SpatiaLite one, so its own blob format is read too. Every call is
// reported to trace (when not null). Failures are raised as "GXnnn|message".
// Returns SQLite's result code.
int gx_register_asshape(sqlite3* db, bool spatialite_blobs, GxTraceCall trace, void* trace_context);

// Registers GX_Trace(file, level), which switches the session's trace on.
// Returns SQLite's result code.
int gx_register_trace(sqlite3* db);

#endif
