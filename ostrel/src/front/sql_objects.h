// The session's SQL objects, named by the caller's text ids: prepared
// statements, descriptors and cursors, made on the one connection
// (front/connection.h) and reached through sql_objects(). Nothing here knows
// which engine is behind the connection.

#ifndef OSTREL_FRONT_SQL_OBJECTS_H
#define OSTREL_FRONT_SQL_OBJECTS_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/trace.h"
#include "engine/engine.h"
#include "front/row_reader.h"
#include "front/row_stepper.h"
#include "ostrel/ostrel.h"

struct Statement {
    std::string id;
    std::string text;             // as the caller gave it, for the trace and messages
    RowStepper stepper;           // the engine's statement and what its rows need
    bool switches_trace = false;  // it calls GX_Trace: its rows are never read ahead
    int parameter_count = 0;
    std::vector<std::string> column_names;  // as the statement names them
    bool described = false;
    std::vector<ColumnDescription> columns;  // filled by the first describe
    // The current row while a fetch or execute has one: the engine's cells,
    // the copy in which the shape columns hold their shapes, or a row read
    // ahead.
    const Cell* row = nullptr;
};

struct DescriptorItem {
    ColumnDescription column;
    int var_by_library = 0;
};

struct Descriptor {
    std::string id;
    int max_items = 0;
    int count = 0;
    std::vector<DescriptorItem> items;
    // The statement whose current row the items' DATA reads; set by a fetch
    // that delivered a row, cleared by one that did not.
    Statement* row_source = nullptr;
    std::string source_statement_id;
};

struct Cursor {
    std::string id;
    std::string statement_id;
    Statement* statement = nullptr;  // while open
    bool open = false;
    bool exhausted = false;  // an engine may start over if stepped again
    int64_t rows = 0;
    RowReaderPointer reader;  // while the rows are read ahead
};

struct SqlObjects {
    std::vector<std::unique_ptr<Statement>> statements;
    std::vector<std::unique_ptr<Descriptor>> descriptors;
    std::vector<std::unique_ptr<Cursor>> cursors;
    // Last-hit caches of the lookups by id, so the per-row calls find their
    // objects with one comparison.
    Statement* last_statement = nullptr;
    Descriptor* last_descriptor = nullptr;
    Cursor* last_cursor = nullptr;
};

extern SqlObjects sql_objects_state;
inline SqlObjects& sql_objects() {
    return sql_objects_state;
}

// Ids are short; comparing them inline keeps a library call off the per-row
// path.
inline bool same_id(const std::string& known, const char* id) {
    // id is read only up to its first difference from known, so a shorter
    // id is never read past its terminator.
    size_t length = known.size();
    const char* k = known.data();
    for (size_t i = 0; i < length; ++i) {
        if (id[i] != k[i]) {
            return false;
        }
    }
    return id[length] == '\0';
}

// Lookups by id; null when there is none (no condition is left). The
// descriptor and the cursor are looked up on every row: their last hit is
// checked inline before the list is searched.
Statement* find_statement(const char* id);
Descriptor* find_descriptor_in_list(const char* id);
Cursor* find_cursor_in_list(const char* id);

inline Descriptor* find_descriptor(const char* id) {
    Descriptor* last = sql_objects_state.last_descriptor;
    return last != nullptr && same_id(last->id, id) ? last : find_descriptor_in_list(id);
}

inline Cursor* find_cursor(const char* id) {
    Cursor* last = sql_objects_state.last_cursor;
    return last != nullptr && same_id(last->id, id) ? last : find_cursor_in_list(id);
}

// Finalizes statement's engine statement (if any) and forgets its row.
void release_statement(Statement& statement);

// Readies statement to run from its first row; its current row is gone.
void reset_statement(Statement& statement);

// Drops every SQL object of the session (at disconnect).
void drop_session_objects();

// Steps statement to its next row in the caller's thread, as stepper_step
// (its shape conversions traced), with statement.row set.
inline StepResult step_statement(Statement& statement) {
    const Cell* row = nullptr;
    StepResult result = stepper_step(statement.stepper, &row, trace_gx_call);
    statement.row = result == StepResult::kRow ? row : nullptr;
    return result;
}

// The conditions of the failed step, what naming the operation; resets the
// statement. Returns the status.
int report_step_error(Statement& statement, const char* what);

#endif
