// The session's SQL objects by id: lookups, release, and what is left of a
// failed step.

#include "front/sql_objects.h"

#include "front/connection.h"

SqlObjects sql_objects_state;

namespace {

// The object of id in list, remembered as the last one found.
template <typename Object>
Object* find_in(std::vector<std::unique_ptr<Object>>& list, Object*& last, const char* id) {
    for (auto& object : list) {
        if (same_id(object->id, id)) {
            last = object.get();
            return object.get();
        }
    }
    return nullptr;
}

}  // namespace

Statement* find_statement(const char* id) {
    SqlObjects& objects = sql_objects();
    if (objects.last_statement != nullptr && same_id(objects.last_statement->id, id)) {
        return objects.last_statement;
    }
    return find_in(objects.statements, objects.last_statement, id);
}

Descriptor* find_descriptor_in_list(const char* id) {
    SqlObjects& objects = sql_objects();
    return find_in(objects.descriptors, objects.last_descriptor, id);
}

Cursor* find_cursor_in_list(const char* id) {
    SqlObjects& objects = sql_objects();
    return find_in(objects.cursors, objects.last_cursor, id);
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
