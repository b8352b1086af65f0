// The library's session: one connection through one engine and the SQL
// objects made on it, named by the caller's text ids. The library is an
// embedded-SQL runtime, so this state is implicit, as the API's status is:
// one session per process, reached through engine_session(). Nothing here
// knows which engine is behind the connection.

#ifndef OSTREL_FRONT_SESSION_H
#define OSTREL_FRONT_SESSION_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "front/row_reader.h"
#include "front/shape_fetch.h"
#include "front/trace.h"
#include "ostrel/ostrel.h"

struct Statement {
    std::string id;
    std::string text;  // as the caller gave it, for the trace and messages
    EngineStatement* engine = nullptr;
    int column_count = 0;
    int parameter_count = 0;
    std::vector<std::string> column_names;  // as the statement names them
    bool described = false;
    std::vector<ColumnDescription> columns;  // filled by the first describe
    // The current row while a fetch or execute has one: the engine's cells,
    // or the copy in which the shape columns hold their shapes.
    const Cell* row = nullptr;
    ShapeFetch shapes;
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

struct Session {
    const EngineOps* engine = nullptr;  // while connected
    EngineDatabase* database = nullptr;
    std::string target;
    std::string path;  // the database file, or the server's address
    std::vector<std::unique_ptr<Statement>> statements;
    std::vector<std::unique_ptr<Descriptor>> descriptors;
    std::vector<std::unique_ptr<Cursor>> cursors;
    // Last-hit caches of the lookups by id, so the per-row calls find their
    // objects with one comparison.
    Statement* last_statement = nullptr;
    Descriptor* last_descriptor = nullptr;
    Cursor* last_cursor = nullptr;
    Trace trace;
    // The reader whose thread owns the connection while it reads ahead.
    RowReader* reading = nullptr;
};

// The one session; engine_session() is how the files reach it.
extern Session engine_state;
inline Session& engine_session() {
    return engine_state;
}

// Whether a connection is open; when not, leaves the "not connected"
// condition and returns false. Takes the connection back from a reader
// thread, as every operation that uses it starts here.
bool require_connection(const char* operation);

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
    Descriptor* last = engine_state.last_descriptor;
    return last != nullptr && same_id(last->id, id) ? last : find_descriptor_in_list(id);
}

inline Cursor* find_cursor(const char* id) {
    Cursor* last = engine_state.last_cursor;
    return last != nullptr && same_id(last->id, id) ? last : find_cursor_in_list(id);
}

// Finalizes statement's engine statement (if any) and forgets its row.
void release_statement(Statement& statement);

// Readies statement to run from its first row; its current row is gone.
void reset_statement(Statement& statement);

// Drops every SQL object of the session (at disconnect).
void drop_session_objects();

// Steps statement to its next row with engine: kRow with *row pointing at it
// (its shape columns converted), kDone, or kError, after which
// report_step_error leaves the conditions. One indirect call into the engine
// per row. Leaves statement.row alone, so a reader thread can step for the
// caller's.
inline StepResult step_engine(const EngineOps& engine, Statement& statement, const Cell** row) {
    StepResult result = engine.step(statement.engine, row);
    if (result == StepResult::kRow && !statement.shapes.columns.empty()) {
        *row = shape_fetch_row(statement.shapes, *row, statement.column_count);
        result = *row != nullptr ? StepResult::kRow : StepResult::kError;
    }
    return result;
}

// Steps statement to its next row, as step_engine, with statement.row set.
inline StepResult step_statement(Statement& statement) {
    const Cell* row = nullptr;
    StepResult result = step_engine(*engine_state.engine, statement, &row);
    statement.row = result == StepResult::kRow ? row : nullptr;
    return result;
}

// The conditions of the failed step (the engine's, or the converter's for a
// shape column), what naming the operation; resets the statement. Returns
// the status.
int report_step_error(Statement& statement, const char* what);

#endif
