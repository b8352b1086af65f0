// Describing a statement's columns from the server's types (describe.cpp).

#ifndef OSTREL_POSTGRES_DESCRIBE_H
#define OSTREL_POSTGRES_DESCRIBE_H

#include <vector>

#include "postgres/postgres_internal.h"

// How a column of the type is decoded.
Decoder decoder_for(Oid type, const Postgis& postgis);

bool describe_server_columns(EngineStatement* statement, std::vector<ColumnDescription>* columns);

#endif
