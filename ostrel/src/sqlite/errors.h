// SQLite's errors as the library's conditions (errors.cpp).

#ifndef OSTREL_SQLITE_ERRORS_H
#define OSTREL_SQLITE_ERRORS_H

#include "sqlite/sqlite_internal.h"

// SQLite's error after a failed call, as conditions: the extension's
// "GXnnn|message" errors become its code with state GXnnn; the others map by
// their kind (syntax, unknown table, ...). text is SQLite's message; what
// names the operation and object ("Statement 'srsel' cannot be prepared").
// A fault of the file itself (damaged, locked, unreadable) names database's
// file. Returns the status.
int report_sqlite_error(int sqlite_code, const char* text, const char* what,
                        const SqliteDatabase& database);

#endif
