// The planner's estimate of a table's rows (row_count.cpp).

#ifndef OSTREL_POSTGRES_ROW_COUNT_H
#define OSTREL_POSTGRES_ROW_COUNT_H

#include "engine/engine.h"

RowCount server_row_count(EngineDatabase* database, const char* table);

#endif
