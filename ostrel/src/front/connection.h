// The session's connection: the engine behind it and its open database, and
// which thread may use it. The library is an embedded-SQL runtime, so this
// state is implicit, as the API's status is: one connection per process,
// reached through session_connection(). A reader thread may borrow the
// connection while it reads a cursor's rows ahead (front/row_reader.h);
// every other use of it takes it back first.

#ifndef OSTREL_FRONT_CONNECTION_H
#define OSTREL_FRONT_CONNECTION_H

#include <string>

#include "engine/engine.h"

// Who has borrowed the connection: give_back(holder) stops the borrower
// after its current row. Empty while the caller's thread has it.
struct ConnectionLoan {
    void (*give_back)(void* holder) = nullptr;
    void* holder = nullptr;
};

struct Connection {
    const EngineOps* engine = nullptr;  // while connected
    EngineDatabase* database = nullptr;
    std::string target;  // as messages show it: no password
    std::string path;    // the database file, or the server's address
    ConnectionLoan loan;
};

extern Connection connection_state;
inline Connection& session_connection() {
    return connection_state;
}

// Whether a connection is open; when not, leaves the "not connected"
// condition and returns false. Takes the connection back from a borrower,
// as every operation that uses it starts here.
bool require_connection(const char* operation);

// Records that holder has borrowed the connection: called once holder's
// thread runs, after take_back_connection. end_loan, called by the holder
// when its thread has ended, returns it.
void lend_connection(void (*give_back)(void* holder), void* holder);
void end_loan(const void* holder);

// Takes the connection back from its borrower, if it has one.
void take_back_connection();

#endif
