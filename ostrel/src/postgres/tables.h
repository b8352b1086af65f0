// The table a caller reads, on the server: found by the names a user wrote,
// and locked for the rest of the session (tables.cpp).

#ifndef OSTREL_POSTGRES_TABLES_H
#define OSTREL_POSTGRES_TABLES_H

#include <vector>

#include "engine/engine.h"

bool server_geometry_columns(EngineDatabase* database, const char* schema, const char* table,
                             const char* column, std::vector<EngineFoundColumn>* found);
bool lock_server_table(EngineDatabase* database, const char* schema, const char* table);

#endif
