// The session's facts and the catalog the caller's SQL names (catalog.cpp).

#ifndef OSTREL_POSTGRES_CATALOG_H
#define OSTREL_POSTGRES_CATALOG_H

#include <string>
#include <vector>

#include "postgres/postgres_internal.h"
#include "postgres/sql_lexer.h"

// Reads what the session must know of the server: the first query of the
// read transaction, so it takes the snapshot. False with the condition left.
bool read_server_facts(PgDatabase& database);

// text (with its tokens) with the definitions of the catalog relations it
// names in a WITH of its own.
std::string with_catalog(const PgDatabase& database, const std::string& text,
                         const std::vector<Token>& tokens);

#endif
