// Connecting to a PostgreSQL server and closing the session (connect.cpp).

#ifndef OSTREL_POSTGRES_CONNECT_H
#define OSTREL_POSTGRES_CONNECT_H

#include "engine/engine.h"

EngineDatabase* open_server_database(const EngineTarget& target);
void close_server_database(EngineDatabase* database);

#endif
