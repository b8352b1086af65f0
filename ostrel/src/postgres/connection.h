// The one connection to the server and the session's read transaction on it:
// one snapshot for every statement, nothing written, and a savepoint to
// which every failed command rolls back, so that the snapshot stays for the
// next one. libpq runs one command at a time, so every command goes through
// here first (claim_connection): rows of another statement still in flight
// are cut off, and the statements retired meanwhile are deallocated.

#ifndef OSTREL_POSTGRES_CONNECTION_H
#define OSTREL_POSTGRES_CONNECTION_H

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "postgres/errors.h"

// Whose rows are in flight on the connection: cut_off(holder) ends them
// before another command is sent.
struct RowsInFlight {
    void (*cut_off)(void* holder) = nullptr;
    void* holder = nullptr;
};

struct PgConnection {
    PGconn* conn = nullptr;
    RowsInFlight streaming;
    // Statements finalized while another one's rows were in flight, to be
    // deallocated on the server before the next command.
    std::vector<std::string> retired_statements;
};

// Readies the connection for a command on behalf of holder (null for none):
// rows of any other holder still in flight are cut off.
void claim_connection(PgConnection& connection, const void* holder);

// Records that holder's rows are in flight, after its command was sent; and
// that they no longer are.
void start_rows_in_flight(PgConnection& connection, void (*cut_off)(void* holder), void* holder);
void end_rows_in_flight(PgConnection& connection);

// Deallocates the prepared statement name on the server before the next
// command, so that finalizing one statement never cuts off another's rows.
void retire_statement(PgConnection& connection, const std::string& name);

// Runs a command that returns no rows; false with the condition left (what
// naming the operation) and the transaction recovered.
bool run_command(PgConnection& connection, const char* sql, const char* what);

// After a failed command: rolls the transaction back to the session's
// savepoint, so the snapshot stays for the next one.
void recover_transaction(PgConnection& connection);

// Begins the read transaction without its savepoint, so that the caller's
// next query takes the snapshot; set_savepoint completes the beginning. Each
// false with the condition left.
bool begin_read_transaction(PgConnection& connection);
bool set_savepoint(PgConnection& connection);

// Ends the read transaction; false with the condition left.
bool end_read_transaction(PgConnection& connection, const char* what);

// After end_read_transaction: begins the read transaction with
// first_commands (each ending in "; ") before its savepoint, in one
// command; false with the server's failure in *error and no condition left,
// the transaction then aborted: resume_read_transaction begins it anew
// without them.
bool begin_read_transaction_with(PgConnection& connection, const std::string& first_commands,
                                 ServerError* error);
void resume_read_transaction(PgConnection& connection);

#endif
