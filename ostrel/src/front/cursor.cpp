// The cursor: declared for a prepared query, opened, fetched row by row into
// a descriptor, closed and freed. A fetch points the descriptor at the next
// row: one the reader thread has read ahead (row_reader.h), or, without one,
// the engine's own after one step. Nothing is allocated per row.

#include <cstring>
#include <string>

#include "core/status.h"
#include "core/trace.h"
#include "front/connection.h"
#include "front/row_reader.h"
#include "front/sql_objects.h"

namespace {

Cursor* lookup(const char* id, const char* operation) {
    Cursor* cursor = find_cursor(id);
    if (cursor == nullptr) {
        status_error(OslError::kUnknownCursor, "%s: cursor '%s' is not declared.", operation, id);
    }
    return cursor;
}

void release_rows(SqlObjects& objects, Cursor& cursor) {
    cursor.reader.reset();
    if (cursor.statement != nullptr) {
        reset_statement(*cursor.statement);
        for (auto& descriptor : objects.descriptors) {
            if (descriptor->row_source == cursor.statement) {
                descriptor->row_source = nullptr;
            }
        }
    }
    cursor.open = false;
    cursor.statement = nullptr;
}

// The cursor's next row: from its reader when its rows are read ahead (the
// first fetch after the open starts one when that is wanted), else stepped
// here, once no other cursor's reader holds the connection. A statement
// that switches the trace is stepped here: the trace is the caller's
// thread's alone.
StepResult next_row(Cursor& cursor, Statement& statement) {
    if (cursor.reader == nullptr && cursor.rows == 0 && !statement.switches_trace &&
        read_ahead_wanted()) {
        cursor.reader.reset(reader_start(statement.stepper));
    }
    if (cursor.reader != nullptr) {
        const Cell* row = nullptr;
        StepResult result = reader_next(*cursor.reader, &row);
        statement.row = result == StepResult::kRow ? row : nullptr;
        return result;
    }
    take_back_connection();
    return step_statement(statement);
}

}  // namespace

int osl_declare_cursor(const char* cursor_id, const char* statement_id) {
    status_begin();
    if (!require_connection("Declare cursor")) {
        return osl_status();
    }
    if (find_cursor(cursor_id) != nullptr) {
        return status_error(OslError::kCursorExists,
                            "Cursor '%s' cannot be declared: it already is.", cursor_id);
    }
    Statement* statement = find_statement(statement_id);
    if (statement == nullptr) {
        return status_error(OslError::kUnknownStatement,
                            "Cursor '%s' cannot be declared: statement '%s' is not prepared.",
                            cursor_id, statement_id);
    }
    if (statement->stepper.column_count == 0) {
        return status_error(OslError::kNotAQuery,
                            "Cursor '%s' cannot be declared: statement '%s' returns no rows.",
                            cursor_id, statement_id);
    }
    SqlObjects& objects = sql_objects();
    objects.cursors.push_back(std::make_unique<Cursor>());
    Cursor& cursor = *objects.cursors.back();
    cursor.id = cursor_id;
    cursor.statement_id = statement_id;
    return status_set(OSL_OK);
}

int osl_open_cursor(const char* cursor_id) {
    status_begin();
    if (!require_connection("Open cursor")) {
        return osl_status();
    }
    Cursor* cursor = lookup(cursor_id, "Open cursor");
    if (cursor == nullptr) {
        return osl_status();
    }
    Statement* statement = find_statement(cursor->statement_id.c_str());
    if (statement == nullptr) {
        return status_error(OslError::kUnknownStatement,
                            "Cursor '%s' cannot be opened: statement '%s' is not prepared.",
                            cursor_id, cursor->statement_id.c_str());
    }
    release_rows(sql_objects(), *cursor);
    trace_event("open", cursor_id, statement->text.c_str());
    cursor->statement = statement;
    cursor->open = true;
    cursor->exhausted = false;
    cursor->rows = 0;
    return status_set(OSL_OK);
}

int osl_fetch(const char* cursor_id, const char* descriptor_id) {
    status_begin();
    Cursor* cursor = lookup(cursor_id, "Fetch");
    if (cursor == nullptr) {
        return osl_status();
    }
    if (!cursor->open) {
        return status_error(OslError::kCursorNotOpen, "Fetch: cursor '%s' is not open.", cursor_id);
    }
    Descriptor* descriptor = find_descriptor(descriptor_id);
    if (descriptor == nullptr) {
        return status_error(OslError::kUnknownDescriptor,
                            "Fetch from cursor '%s': descriptor '%s' is not allocated.", cursor_id,
                            descriptor_id);
    }
    if (cursor->exhausted) {
        descriptor->row_source = nullptr;
        return status_set(OSL_NO_ROW);
    }
    Statement& statement = *cursor->statement;
    if (descriptor->count > statement.stepper.column_count) {
        return status_error(OslError::kDescriptorTooSmall,
                            "Fetch from cursor '%s': descriptor '%s' has %d items, the statement "
                            "%d columns.",
                            cursor_id, descriptor_id, descriptor->count,
                            statement.stepper.column_count);
    }
    StepResult result = next_row(*cursor, statement);
    if (result == StepResult::kRow) {
        ++cursor->rows;
        descriptor->row_source = &statement;
        trace_fetch(cursor_id, cursor->rows);
        return status_set(OSL_OK);
    }
    descriptor->row_source = nullptr;
    cursor->reader.reset();
    if (result == StepResult::kDone) {
        cursor->exhausted = true;
        return status_set(OSL_NO_ROW);
    }
    std::string what = "Fetch from cursor '" + cursor->id + "' (statement '" +
                       cursor->statement_id + "') failed at row " +
                       std::to_string(cursor->rows + 1);
    report_step_error(statement, what.c_str());
    cursor->open = false;
    cursor->statement = nullptr;
    return osl_status();
}

int osl_close_cursor(const char* cursor_id) {
    status_begin();
    Cursor* cursor = lookup(cursor_id, "Close cursor");
    if (cursor == nullptr) {
        return osl_status();
    }
    if (!cursor->open) {
        return status_error(OslError::kCursorNotOpen, "Close: cursor '%s' is not open.", cursor_id);
    }
    std::string rows = "after " + std::to_string(cursor->rows) + " rows";
    trace_event("close", cursor_id, rows.c_str());
    release_rows(sql_objects(), *cursor);
    return status_set(OSL_OK);
}

int osl_free_cursor(const char* cursor_id) {
    status_begin();
    Cursor* cursor = lookup(cursor_id, "Free cursor");
    if (cursor == nullptr) {
        return osl_status();
    }
    SqlObjects& objects = sql_objects();
    release_rows(objects, *cursor);
    objects.last_cursor = nullptr;
    for (size_t i = 0; i < objects.cursors.size(); ++i) {
        if (objects.cursors[i].get() == cursor) {
            objects.cursors.erase(objects.cursors.begin() + static_cast<long>(i));
            break;
        }
    }
    return status_set(OSL_OK);
}
