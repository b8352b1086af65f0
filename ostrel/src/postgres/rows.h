// Rows from the server, streamed (rows.cpp).

#ifndef OSTREL_POSTGRES_ROWS_H
#define OSTREL_POSTGRES_ROWS_H

#include "engine/engine.h"

StepResult step_rows(EngineStatement* statement, const Cell** row);
void reset_rows(EngineStatement* statement);

#endif
