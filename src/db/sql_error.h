// SQL error reporting: the diagnostics of a failed SQL operation as one text.

#ifndef SPOOLMAP_DB_SQL_ERROR_H
#define SPOOLMAP_DB_SQL_ERROR_H

#include <cstddef>

void sql_error_text(char* buffer, size_t size);
[[noreturn]] void check_sql();

#endif
