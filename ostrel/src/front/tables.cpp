// The table a caller reads: the geometry column a user's names mean, chosen
// from the candidates the engine finds by the rules of SQL names (a quoted
// name as written, a bare one in lower case, then the one name that matches
// ignoring case), and the lock that keeps the table whole for the session.

#include <cstring>
#include <string>
#include <vector>

#include "core/dialect.h"
#include "core/status.h"
#include "core/trace.h"
#include "front/connection.h"

namespace {

// Candidates a message lists at most.
constexpr size_t kListedCandidates = 20;

std::string ascii_lower(const char* text) {
    std::string lower = text;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

// Keeps the candidates whose part is the name exactly (quoted: as written;
// bare: in lower case); when none is, a bare name keeps every candidate (all
// match it ignoring case) and a quoted one none.
void narrow(std::vector<EngineFoundColumn>& candidates, const OslName& name,
            std::string EngineFoundColumn::*part) {
    std::string wanted = name.quoted ? std::string(name.text) : ascii_lower(name.text);
    std::vector<EngineFoundColumn> exact;
    for (const EngineFoundColumn& candidate : candidates) {
        if (candidate.*part == wanted) {
            exact.push_back(candidate);
        }
    }
    if (!exact.empty() || name.quoted) {
        candidates = exact;
    }
}

std::string shown_column(const EngineFoundColumn& column) {
    std::string shown = column.schema.empty() ? "" : shown_identifier(column.schema) + ".";
    return shown + shown_identifier(column.table) + "." + shown_identifier(column.column);
}

std::string shown_wanted(const OslName& schema, const OslName& table, const OslName& column) {
    auto part = [](const OslName& name) {
        return name.quoted ? quoted_identifier(name.text) : std::string(name.text);
    };
    return (schema.text != nullptr ? part(schema) + "." : "") + part(table) + "." + part(column);
}

bool copy_name(const std::string& name, char* out) {
    if (name.size() + 1 > OSL_NAME_BYTES) {
        return false;
    }
    std::memcpy(out, name.c_str(), name.size() + 1);
    return true;
}

}  // namespace

int osl_find_geometry_column(OslName schema, OslName table, OslName column,
                             OslGeometryColumn* found) {
    status_begin();
    if (!require_connection("Find geometry column")) {
        return osl_status();
    }
    if (table.text == nullptr || column.text == nullptr || found == nullptr) {
        return status_error(OslError::kBadArgument,
                            "Find geometry column: a table and a column name are needed.");
    }
    Connection& connection = session_connection();
    std::vector<EngineFoundColumn> candidates;
    if (!connection.engine->geometry_columns_named(connection.database, schema.text, table.text,
                                                   column.text, &candidates)) {
        return osl_status();
    }
    if (connection.engine->names_keep_case) {
        if (schema.text != nullptr) {
            narrow(candidates, schema, &EngineFoundColumn::schema);
        }
        narrow(candidates, table, &EngineFoundColumn::table);
        narrow(candidates, column, &EngineFoundColumn::column);
    }
    if (candidates.empty()) {
        return status_set(OSL_NO_ROW);
    }
    if (candidates.size() > 1) {
        std::string listed;
        for (size_t i = 0; i < candidates.size() && i < kListedCandidates; ++i) {
            listed += (i > 0 ? ", " : "") + shown_column(candidates[i]);
        }
        if (candidates.size() > kListedCandidates) {
            listed += ", ...";
        }
        return status_error(OslError::kAmbiguousName,
                            "Geometry column %s is ambiguous: %zu columns match it ignoring case "
                            "(%s); write the one meant with its names in double quotes.",
                            shown_wanted(schema, table, column).c_str(), candidates.size(),
                            listed.c_str());
    }
    const EngineFoundColumn& one = candidates[0];
    if (!copy_name(one.schema, found->schema) || !copy_name(one.table, found->table) ||
        !copy_name(one.column, found->column)) {
        return status_error(OslError::kBufferTooSmall,
                            "Geometry column %s has a name longer than %zu bytes.",
                            shown_column(one).c_str(), OSL_NAME_BYTES - 1);
    }
    trace_event("find", shown_column(one).c_str(), "");
    return status_set(OSL_OK);
}

int osl_lock_table(const char* schema, const char* table) {
    status_begin();
    if (!require_connection("Lock table")) {
        return osl_status();
    }
    if (table == nullptr) {
        return status_error(OslError::kBadArgument, "Lock table: a table name is needed.");
    }
    Connection& connection = session_connection();
    if (!connection.engine->lock_table(connection.database, schema != nullptr ? schema : "",
                                       table)) {
        return osl_status();
    }
    trace_event("lock", table, "");
    return status_set(OSL_OK);
}
