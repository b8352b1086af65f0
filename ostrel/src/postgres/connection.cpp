// The connection to the server and its read transaction (see connection.h).

#include "postgres/connection.h"

namespace {

// The session's read transaction: one snapshot for every statement, nothing
// written.
constexpr const char* kBeginReading = "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY; ";
// The savepoint every failed command rolls the session back to.
constexpr const char* kSetSavepoint = "SAVEPOINT ostrel_session";
constexpr const char* kBackToSavepoint = "ROLLBACK TO SAVEPOINT ostrel_session";
constexpr const char* kEndReading = "ROLLBACK";
constexpr const char* kCannotBegin = "The read transaction cannot begin";

}  // namespace

void claim_connection(PgConnection& connection, const void* holder) {
    RowsInFlight streaming = connection.streaming;
    if (streaming.holder != nullptr && streaming.holder != holder) {
        streaming.cut_off(streaming.holder);
        connection.streaming = RowsInFlight{};
    }
    if (!connection.retired_statements.empty() && connection.streaming.holder == nullptr) {
        std::string deallocate;
        for (const std::string& name : connection.retired_statements) {
            deallocate += "DEALLOCATE \"" + name + "\";";
        }
        connection.retired_statements.clear();
        PQclear(PQexec(connection.conn, deallocate.c_str()));
        recover_transaction(connection);
    }
}

void start_rows_in_flight(PgConnection& connection, void (*cut_off)(void* holder), void* holder) {
    connection.streaming = RowsInFlight{cut_off, holder};
}

void end_rows_in_flight(PgConnection& connection) {
    connection.streaming = RowsInFlight{};
}

void retire_statement(PgConnection& connection, const std::string& name) {
    connection.retired_statements.push_back(name);
}

bool run_command(PgConnection& connection, const char* sql, const char* what) {
    claim_connection(connection, nullptr);
    PGresult* result = PQexec(connection.conn, sql);
    ExecStatusType status = PQresultStatus(result);
    bool ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (!ok) {
        report_server_error(server_error(result, connection.conn), what);
    }
    PQclear(result);
    if (!ok) {
        recover_transaction(connection);
    }
    return ok;
}

void recover_transaction(PgConnection& connection) {
    if (PQstatus(connection.conn) == CONNECTION_OK &&
        PQtransactionStatus(connection.conn) == PQTRANS_INERROR) {
        PQclear(PQexec(connection.conn, kBackToSavepoint));
    }
}

bool begin_read_transaction(PgConnection& connection) {
    return run_command(connection, kBeginReading, kCannotBegin);
}

bool set_savepoint(PgConnection& connection) {
    return run_command(connection, kSetSavepoint, kCannotBegin);
}

bool end_read_transaction(PgConnection& connection, const char* what) {
    return run_command(connection, kEndReading, what);
}

bool begin_read_transaction_with(PgConnection& connection, const std::string& first_commands,
                                 ServerError* error) {
    std::string script = kBeginReading + first_commands + kSetSavepoint;
    PGresult* result = PQexec(connection.conn, script.c_str());
    bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok) {
        *error = server_error(result, connection.conn);
    }
    PQclear(result);
    return ok;
}

void resume_read_transaction(PgConnection& connection) {
    PQclear(PQexec(connection.conn, kEndReading));
    std::string script = std::string(kBeginReading) + kSetSavepoint;
    run_command(connection, script.c_str(), kCannotBegin);
}
