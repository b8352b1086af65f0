// The caller's statement texts as the server takes them (statement_text.cpp).

#ifndef OSTREL_POSTGRES_STATEMENT_TEXT_H
#define OSTREL_POSTGRES_STATEMENT_TEXT_H

#include <string>
#include <vector>

#include "postgres/postgres_internal.h"

struct ShapeItem {
    std::string placeholder;  // the column name the server gives it
    std::string shown_name;   // the name the caller's statement gives it
};

struct ServerText {
    std::string text;  // one statement, as the server takes it
    std::vector<ShapeItem> shapes;
    bool is_trace = false;  // GX_Trace(file, level): trace_file and trace_level
    std::string trace_file;
    std::string trace_level;
    std::string trace_name;
};

// The caller's statement (in the caller's dialect, EXECUTE FUNCTION already
// made SELECT) as the server runs it: one statement, "?" markers numbered,
// each GX_AsShape select item asking for the geometry's WKB under a
// placeholder name, GX_Srid as ST_SRID, the catalog relations it names
// defined. False with the condition left, what naming the statement.
bool server_text(const char* text, const char* what, const PgDatabase& database, ServerText* out);

// The query with every kCastToText column cast to text.
std::string text_cast_query(const std::string& query, const std::vector<PgColumn>& columns);

#endif
