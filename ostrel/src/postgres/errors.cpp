// The server's errors as the library's conditions: the kinds a user can act
// on (syntax, unknown table or column, a write in the read-only session) by
// the library's own codes, every other one as an engine error; each with the
// server's SQL state and primary message.

#include "postgres/errors.h"

#include <cstring>
#include <string>

namespace {

// The state of a connection that broke (connection_failure).
constexpr const char* kConnectionFailure = "08006";

struct StateKind {
    const char* sqlstate;
    OslError error;
};

constexpr StateKind kStateKinds[] = {
    {"42601", OslError::kSyntax},         // syntax_error
    {"42P01", OslError::kUnknownTable},   // undefined_table
    {"42703", OslError::kUnknownColumn},  // undefined_column
    {"25006", OslError::kReadOnly},       // read_only_sql_transaction
    {"42501", OslError::kNoPrivilege},    // insufficient_privilege
    {"55P03", OslError::kTableLocked},    // lock_not_available
};

OslError kind_of(const std::string& sqlstate) {
    for (const StateKind& kind : kStateKinds) {
        if (sqlstate == kind.sqlstate) {
            return kind.error;
        }
    }
    return OslError::kEngineError;
}

// libpq's own message (for failures no server reported): the first line,
// without the severity a server's message starts with.
std::string first_line(const char* message) {
    std::string line = message != nullptr ? message : "";
    line = line.substr(0, line.find('\n'));
    for (const char* severity : {"ERROR:  ", "FATAL:  "}) {
        if (line.compare(0, std::strlen(severity), severity) == 0) {
            line.erase(0, std::strlen(severity));
        }
    }
    return line;
}

}  // namespace

ServerError server_error(const PGresult* result, PGconn* conn) {
    ServerError error;
    const char* sqlstate =
        result != nullptr ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
    const char* primary =
        result != nullptr ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    error.message = primary != nullptr ? primary : first_line(PQerrorMessage(conn));
    while (!error.message.empty() && (error.message.back() == '.' || error.message.back() == ' ')) {
        error.message.pop_back();
    }
    if (sqlstate != nullptr) {
        error.sqlstate = sqlstate;
    } else if (PQstatus(conn) == CONNECTION_BAD) {
        error.sqlstate = kConnectionFailure;
    }
    error.error = kind_of(error.sqlstate);
    return error;
}

int report_server_error(const ServerError& error, const char* what) {
    return status_server_error(error.error, error.sqlstate.c_str(), "%s: %s.", what,
                               error.message.c_str());
}
