// The server's errors as the library's conditions: a failed result's SQL
// state and primary message (or the connection's, when no server answered),
// kept until the front asks for them.

#ifndef OSTREL_POSTGRES_ERRORS_H
#define OSTREL_POSTGRES_ERRORS_H

#include <libpq-fe.h>

#include <string>

#include "core/status.h"

// A failure of the server (or of the connection to it).
struct ServerError {
    OslError error = OslError::kEngineError;
    std::string sqlstate;
    std::string message;
};

// The failure a result carries (its SQL state and primary message), or the
// connection's when the result has none.
ServerError server_error(const PGresult* result, PGconn* conn);

// Leaves error as a condition, what naming the operation; returns the
// status.
int report_server_error(const ServerError& error, const char* what);

#endif
