// The database file: opened read-only, in one read transaction for the
// whole session (database_file.cpp).

#ifndef OSTREL_SQLITE_DATABASE_FILE_H
#define OSTREL_SQLITE_DATABASE_FILE_H

#include "sqlite/sqlite_internal.h"

// Opens the file at database.path; false, with the condition naming the
// file, when it cannot. Closing ends the transaction; it does nothing when
// the file is not open.
bool open_database_file(SqliteDatabase& database);
void close_database_file(SqliteDatabase& database);

#endif
