// Describing a statement's columns (describe.cpp).

#ifndef OSTREL_SQLITE_DESCRIBE_H
#define OSTREL_SQLITE_DESCRIBE_H

#include <vector>

#include "engine/engine.h"

bool describe_columns(EngineStatement* statement, std::vector<ColumnDescription>* columns);

#endif
