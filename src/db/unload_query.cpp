// The unload query text (see unload_query.h).

#include "db/unload_query.h"

#include <cstring>

#include "db/client.h"
#include "db/sql_error.h"
#include "dbf/dbf_header.h"
#include "report/messages.h"
#include "text/text_append.h"

static const char* const kWhat = "unload query";

bool append_quoted_identifier(char* buffer, size_t size, const char* name) {
    size_t used = std::strlen(buffer);
    size_t at = used;
    auto put = [&](char c) {
        if (at + 1 >= size) {
            return false;
        }
        buffer[at++] = c;
        return true;
    };
    bool fitted = put('"');
    for (const char* p = name; fitted && *p != '\0'; ++p) {
        fitted = put(*p) && (*p != '"' || put('"'));
    }
    fitted = fitted && put('"');
    buffer[fitted ? at : used] = '\0';
    return fitted;
}

void append_identifier_or_fail(char* buffer, size_t size, const char* what, const char* name) {
    if (!append_quoted_identifier(buffer, size, name)) {
        fatal_error("The %s does not fit in its buffer of %zu bytes.", what, size);
    }
}

void unload_query_text(const SpatialColumn& geometry, const char* where_clause,
                       const FieldTable& fields, char* buffer, size_t size, SridItem srid) {
    buffer[0] = '\0';
    append_or_fail(buffer, size, kWhat, "SELECT\n");
    for (int32_t i = 0; i < fields.field_count; ++i) {
        append_or_fail(buffer, size, kWhat, "\t");
        append_identifier_or_fail(buffer, size, kWhat, fields.column_name[i]);
        append_or_fail(buffer, size, kWhat, ",\n");
    }
    if (srid == SridItem::kAsked) {
        append_or_fail(buffer, size, kWhat, "\tGX_Srid(");
        append_identifier_or_fail(buffer, size, kWhat, geometry.column_name);
        append_or_fail(buffer, size, kWhat, "),\n");
    }
    append_or_fail(buffer, size, kWhat, "\tGX_AsShape(");
    append_identifier_or_fail(buffer, size, kWhat, geometry.column_name);
    append_or_fail(buffer, size, kWhat, ")\nFROM\t");
    append_table_reference(buffer, size, kWhat, geometry);
    append_or_fail(buffer, size, kWhat, "\n");
    if (where_clause != nullptr) {
        append_or_fail(buffer, size, kWhat, "WHERE\t%s\n", where_clause);
    }
}

// Only the condition can hold a marker: every name in the query is a quoted
// identifier. The library counts the markers of the prepared statement, so a
// '?' inside a string literal of the condition is no marker.
void refuse_parameter_markers(const char* statement_id, const char* where_clause) {
    int markers = 0;
    if (osl_get_parameter_count(statement_id, &markers) < 0) {
        check_sql();
    }
    if (markers > 0) {
        fatal_error(
            "The condition '%s' of -w has a parameter marker, which needs a value; write the "
            "value into the condition.",
            where_clause != nullptr ? where_clause : "");
    }
}
