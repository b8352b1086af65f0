// The session's SQL objects by id: lookups, release, and what is left of a
// failed step.

#include "front/sql_objects.h"

#include "front/connection.h"

SqlObjects sql_objects_state;

Statement* find_statement(const char* id) {
    SqlObjects& objects = sql_objects();
    if (objects.last_statement != nullptr && same_id(objects.last_statement->id, id)) {
        return objects.last_statement;
    }
    for (auto& statement : objects.statements) {
        if (same_id(statement->id, id)) {
            objects.last_statement = statement.get();
            return statement.get();
        }
    }
    return nullptr;
}

Descriptor* find_descriptor_in_list(const char* id) {
    SqlObjects& objects = sql_objects();
    for (auto& descriptor : objects.descriptors) {
        if (same_id(descriptor->id, id)) {
            objects.last_descriptor = descriptor.get();
            return descriptor.get();
        }
    }
    return nullptr;
}

Cursor* find_cursor_in_list(const char* id) {
    SqlObjects& objects = sql_objects();
    for (auto& cursor : objects.cursors) {
        if (same_id(cursor->id, id)) {
            objects.last_cursor = cursor.get();
            return cursor.get();
        }
    }
    return nullptr;
}

void release_statement(Statement& statement) {
    stepper_release(statement.stepper);
    statement.row = nullptr;
}

void reset_statement(Statement& statement) {
    stepper_reset(statement.stepper);
    statement.row = nullptr;
}

void drop_session_objects() {
    take_back_connection();
    SqlObjects& objects = sql_objects();
    for (auto& statement : objects.statements) {
        release_statement(*statement);
    }
    objects.statements.clear();
    objects.descriptors.clear();
    objects.cursors.clear();
    objects.last_statement = nullptr;
    objects.last_descriptor = nullptr;
    objects.last_cursor = nullptr;
}

int report_step_error(Statement& statement, const char* what) {
    int status = stepper_report_error(statement.stepper, what);
    statement.row = nullptr;
    return status;
}
