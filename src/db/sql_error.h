// SQL error reporting: after an SQL operation whose status is below 0, the
// run turns the library's diagnostics into one text, logs it (with -log) and
// ends with it.

#ifndef SPOOLMAP_DB_SQL_ERROR_H
#define SPOOLMAP_DB_SQL_ERROR_H

#include <cstddef>

// The diagnostics text is built in a buffer of this size.
constexpr size_t kSqlErrorTextBytes = 32768;

// The conditions of the last failed operation, one per line pair:
// "%6d: message", or "%6d: (STATE) - message" for the spatial extension's
// code -937, with an empty line between two conditions and no line feed after
// the last. Replaces what buffer (of size bytes) held; a text longer than the
// buffer is cut at its end, never inside a UTF-8 character. No conditions
// leave the text empty.
void sql_error_text(char* buffer, size_t size);

// Logs (with a log attached) and reports "EXEC SQL error ...\n\n<conditions>"
// and ends the run with status 1. Called right after a failed operation; it
// does not test the status itself.
[[noreturn]] void check_sql();

#endif
