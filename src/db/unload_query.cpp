// The unload query text (see unload_query.h).

#include "db/unload_query.h"

#include <cstring>

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

void unload_query_text(const SpatialColumn& geometry, const char* where_clause,
                       const FieldTable& fields, char* buffer, size_t size) {
    buffer[0] = '\0';
    append_or_fail(buffer, size, kWhat, "SELECT\n");
    for (int32_t i = 0; i < fields.field_count; ++i) {
        append_or_fail(buffer, size, kWhat, "\t");
        if (!append_quoted_identifier(buffer, size, fields.column_name[i])) {
            fatal_error("The %s does not fit in its buffer of %zu bytes.", kWhat, size);
        }
        append_or_fail(buffer, size, kWhat, ",\n");
    }
    append_or_fail(buffer, size, kWhat, "\tGX_AsShape(%s)\n", geometry.column_name);
    append_or_fail(buffer, size, kWhat, "FROM\t%s\n", geometry.table_name);
    if (where_clause != nullptr) {
        append_or_fail(buffer, size, kWhat, "WHERE\t%s\n", where_clause);
    }
}
