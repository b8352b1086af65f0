// The session's connection and its loans to a reader thread.

#include "front/connection.h"

#include <cassert>

#include "core/status.h"

Connection connection_state;

bool require_connection(const char* operation) {
    take_back_connection();
    if (connection_state.database == nullptr) {
        status_error(OslError::kNotConnected, "%s: there is no database connection.", operation);
        return false;
    }
    return true;
}

void lend_connection(void (*give_back)(void* holder), void* holder) {
    assert(connection_state.loan.holder == nullptr);
    connection_state.loan = ConnectionLoan{give_back, holder};
}

void end_loan(const void* holder) {
    if (connection_state.loan.holder == holder) {
        connection_state.loan = ConnectionLoan{};
    }
}

void take_back_connection() {
    ConnectionLoan loan = connection_state.loan;
    if (loan.holder != nullptr) {
        loan.give_back(loan.holder);
        end_loan(loan.holder);
    }
}
