// The embedded engine's state: one connection to a SQLite file and the SQL
// objects made on it, named by the caller's text ids. The library is an
// embedded-SQL runtime, so this state is implicit, as the API's status is:
// one session per process, reached through engine_session().

#ifndef OSTREL_ENGINE_H
#define OSTREL_ENGINE_H

#include <sqlite3.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ostrel/ostrel.h"

// What a described column is: the SQL type code and its sizes, as the
// descriptor's items report them.
struct ColumnDescription {
    int type = OSL_SQL_UNMAPPED;
    int length = 0;
    int precision = 0;
    int scale = 0;
    int nullable = 1;
    std::string name;
};

struct Statement {
    std::string id;
    std::string text;  // as the caller gave it, for the trace and messages
    sqlite3_stmt* stmt = nullptr;
    bool described = false;
    std::vector<ColumnDescription> columns;  // filled by the first describe
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
    bool exhausted = false;  // SQLite would start over if stepped again
    int64_t rows = 0;
};

enum class DatabaseKind { kPlain, kGeoPackage, kSpatiaLite, kNative };

struct Trace {
    FILE* file = nullptr;
    int level = 0;
    std::string file_name;
};

struct Session {
    sqlite3* db = nullptr;
    std::string target;
    std::string path;
    DatabaseKind kind = DatabaseKind::kPlain;
    std::vector<std::unique_ptr<Statement>> statements;
    std::vector<std::unique_ptr<Descriptor>> descriptors;
    std::vector<std::unique_ptr<Cursor>> cursors;
    // Last-hit caches of the lookups by id, so the per-row calls find their
    // objects with one comparison.
    Statement* last_statement = nullptr;
    Descriptor* last_descriptor = nullptr;
    Cursor* last_cursor = nullptr;
    // (table, column) of every registered geometry column, lower case.
    std::vector<std::pair<std::string, std::string>> geometry_columns;
    bool geometry_columns_loaded = false;
    Trace trace;
};

// The one session; engine_session() is how the files reach it.
extern Session engine_state;
inline Session& engine_session() {
    return engine_state;
}

// Whether a connection is open; when not, leaves the "not connected"
// condition and returns false.
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

// Drops every SQL object of the session (at disconnect).
void drop_session_objects();

// The catalog views and the registered geometry columns (catalog.cpp).
bool make_catalog(Session& session);
bool is_geometry_column(Session& session, const char* table, const char* column);

// Statement tracing (trace.cpp): one time-stamped line per event at level 1
// and up; what is the event's text (newlines and tabs shown as blanks).
void trace_event(const char* event, const char* id, const char* what);
void register_trace_function(sqlite3* db);
void trace_fetch(const char* cursor_id, int64_t row);
void trace_gx_call(void* context, const char* geometry_type, size_t result_bytes);
void trace_close();

// Statements (statements.cpp): text with EXECUTE FUNCTION made SELECT,
// prepared as exactly one statement. Leaves a condition naming what_for.
sqlite3_stmt* prepare_one(const char* text, const char* what_for);

// Describing (describe.cpp): the statement's columns, once.
bool describe_statement(Statement& statement);

#endif
