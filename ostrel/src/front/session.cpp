// The session and its registry of SQL objects by id: lookups, release, and
// the one step every fetch and execute goes through.

#include "front/session.h"

#include "front/status.h"

Session engine_state;

bool require_connection(const char* operation) {
    take_back_connection();
    if (engine_state.database == nullptr) {
        status_error(OslError::kNotConnected, "%s: there is no database connection.", operation);
        return false;
    }
    return true;
}

Statement* find_statement(const char* id) {
    Session& session = engine_session();
    if (session.last_statement != nullptr && same_id(session.last_statement->id, id)) {
        return session.last_statement;
    }
    for (auto& statement : session.statements) {
        if (same_id(statement->id, id)) {
            session.last_statement = statement.get();
            return statement.get();
        }
    }
    return nullptr;
}

Descriptor* find_descriptor_in_list(const char* id) {
    Session& session = engine_session();
    for (auto& descriptor : session.descriptors) {
        if (same_id(descriptor->id, id)) {
            session.last_descriptor = descriptor.get();
            return descriptor.get();
        }
    }
    return nullptr;
}

Cursor* find_cursor_in_list(const char* id) {
    Session& session = engine_session();
    for (auto& cursor : session.cursors) {
        if (same_id(cursor->id, id)) {
            session.last_cursor = cursor.get();
            return cursor.get();
        }
    }
    return nullptr;
}

void release_statement(Statement& statement) {
    if (statement.engine != nullptr) {
        engine_session().engine->finalize(statement.engine);
        statement.engine = nullptr;
    }
    statement.row = nullptr;
}

void reset_statement(Statement& statement) {
    engine_session().engine->reset(statement.engine);
    statement.row = nullptr;
}

void drop_session_objects() {
    take_back_connection();
    Session& session = engine_session();
    for (auto& statement : session.statements) {
        release_statement(*statement);
    }
    session.statements.clear();
    session.descriptors.clear();
    session.cursors.clear();
    session.last_statement = nullptr;
    session.last_descriptor = nullptr;
    session.last_cursor = nullptr;
}

int report_step_error(Statement& statement, const char* what) {
    Session& session = engine_session();
    int status = 0;
    if (statement.shapes.failed) {
        // The converter's own words first; the library's condition after
        // them says where it happened, as for the embedded GX_AsShape.
        statement.shapes.failed = false;
        status_extension_error(statement.shapes.error.sql_state, statement.shapes.error.message);
        status = status_error(OslError::kEngineError, "%s.", what);
    } else {
        status = session.engine->report_error(statement.engine, what);
    }
    reset_statement(statement);
    return status;
}
