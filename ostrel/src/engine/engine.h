// The engine interface: what the engine-blind front of the library (connection,
// statements, descriptors, cursor) asks of a database engine. An engine opens
// a database, prepares statements on it, describes their columns, binds their
// parameters and steps them, handing out each row as an array of cells that
// stay valid until the next step. The front converts cells to the caller's
// host types with one code for every engine (values/), so a value converts
// the same way whatever engine it came from.
//
// An engine is a table of functions (EngineOps); the front calls one of them
// per row (step) and none per cell. Engines leave their failures as
// diagnostics conditions through core/status.h.

#ifndef OSTREL_ENGINE_ENGINE_H
#define OSTREL_ENGINE_ENGINE_H

#include <cstdint>
#include <string>
#include <vector>

#include "ostrel/ostrel.h"

// ---------------------------------------------------------------------------
// Cells: one value of the current row, as the engine holds it.

enum class CellKind : uint8_t { kNull, kInteger, kReal, kText, kBlob };

// Text and blob bytes belong to the engine and stay valid until its statement
// is stepped, reset or finalized. Text is UTF-8 and need not end in a NUL:
// length counts its bytes.
struct Cell {
    CellKind kind = CellKind::kNull;
    uint32_t length = 0;  // bytes of a text or blob
    union {
        int64_t integer = 0;
        double real;
        const char* text;
        const uint8_t* blob;
    };
};

inline Cell cell_integer(int64_t value) {
    Cell cell;
    cell.kind = CellKind::kInteger;
    cell.integer = value;
    return cell;
}

inline Cell cell_real(double value) {
    Cell cell;
    cell.kind = CellKind::kReal;
    cell.real = value;
    return cell;
}

inline Cell cell_text(const char* text, uint32_t length) {
    Cell cell;
    cell.kind = CellKind::kText;
    cell.text = text;
    cell.length = length;
    return cell;
}

inline Cell cell_blob(const void* blob, uint32_t length) {
    Cell cell;
    cell.kind = CellKind::kBlob;
    cell.blob = static_cast<const uint8_t*>(blob);
    cell.length = length;
    return cell;
}

// ---------------------------------------------------------------------------
// Column descriptions.

// What a described column is: the SQL type code and its sizes, as the
// descriptor's items report them (values/declared_types.h fills them).
struct ColumnDescription {
    int type = OSL_SQL_UNMAPPED;
    int length = 0;
    int precision = 0;
    int scale = 0;
    int nullable = 1;
    std::string name;
};

// ---------------------------------------------------------------------------
// Opening a database.

// The user and password of a connection (opaque in the API).
struct OslConnectAuth {
    std::string user;
    std::string password;
};

// Where the front resolved a connection target to.
struct EngineTarget {
    // The database file (embedded engine), or the database name (server).
    const char* database;
    const char* server;        // the server's address; empty for a file
    const char* server_shown;  // the address as messages show it: no password
    // The passwords written in the address, which no message may repeat
    // (a server's or libpq's words included).
    const std::vector<std::string>* passwords;
    const OslConnectAuth* auth;  // null when none was given
};

// An open database and a prepared statement, each of one engine's own type;
// the front only hands them back to the engine that made them.
struct EngineDatabase;
struct EngineStatement;

// What is known of a statement once it is prepared, before it runs.
struct EnginePrepared {
    EngineStatement* statement = nullptr;
    int column_count = 0;
    int parameter_count = 0;
    std::vector<std::string> column_names;  // as the statement names them
    // Columns (from 0) whose cells the engine hands out as geometry blobs
    // (WKB, EWKB or GeoPackage binary) for the front to convert to shape
    // record content on fetch, as GX_AsShape would: an engine that cannot
    // run GX_AsShape itself asks the server for the geometry's bytes instead.
    std::vector<int> shape_columns;
};

enum class StepResult { kRow, kDone, kError };

// A geometry column as the database stores its names; schema empty where
// the database has none to tell.
struct EngineFoundColumn {
    std::string schema;
    std::string table;
    std::string column;
};

// ---------------------------------------------------------------------------
// Row counts: what a database knows of a table's rows without reading them.

enum class RowCountKind { kUnknown, kExact, kEstimate };

struct RowCount {
    RowCountKind kind = RowCountKind::kUnknown;
    int64_t rows = 0;
};

// ---------------------------------------------------------------------------
// The engine.

struct EngineOps {
    // Opens the database read-only, checks that it is one (a file that is
    // not, a server that refuses) and makes the catalog views the caller's
    // SQL names. This is where a session-wide read snapshot would begin.
    // Null with conditions left on failure; nothing stays open then.
    EngineDatabase* (*open)(const EngineTarget& target);
    void (*close)(EngineDatabase* database);

    // Prepares text (one statement, in the engine's dialect; the front has
    // made EXECUTE FUNCTION a SELECT). what names the statement in messages
    // ("Statement 'srsel'"). False with conditions left on failure.
    bool (*prepare)(EngineDatabase* database, const char* text, const char* what,
                    EnginePrepared* prepared);
    void (*finalize)(EngineStatement* statement);

    // Describes the statement's columns into columns (one per column, in
    // select order). May run the statement up to its first row and reset it.
    bool (*describe)(EngineStatement* statement, std::vector<ColumnDescription>* columns);

    // Binds value (copied) as parameter index (from 1); a null cell, and a
    // text or blob without bytes to point at, bind SQL NULL. False when the
    // engine refuses it.
    bool (*bind)(EngineStatement* statement, int index, const Cell& value);

    // Steps to the next row: kRow with *row pointing at column_count cells
    // (valid until the next step, reset or finalize), kDone at the end, or
    // kError, after which report_error says what failed. After a reset the
    // next step runs the statement from its first row; an engine that
    // streams rows from elsewhere starts the stream there. A cursor's steps
    // may run in a reader thread of the front (front/row_reader.h), one at
    // a time and never beside another call of the engine: step leaves no
    // conditions and touches nothing of the session.
    StepResult (*step)(EngineStatement* statement, const Cell** row);
    void (*reset)(EngineStatement* statement);

    // Leaves the conditions of the last failed step, what naming the
    // operation ("Fetch from cursor 'c' ... failed at row 3"); returns the
    // status.
    int (*report_error)(EngineStatement* statement, const char* what);

    // The rows of table (a catalog name, any letter case) where the
    // database keeps their number or an estimate of it; kUnknown otherwise,
    // also when the table is not there. Reads no row of it, leaves no
    // conditions, and leaves the session as it found it.
    RowCount (*row_count)(EngineDatabase* database, const char* table);
    // ---- The table a caller reads: found by the names a user wrote, and
    // locked for the rest of the session.

    // Whether the database's names keep their case, so that a quoted name
    // is compared as written; false where every name compares ignoring case.
    bool names_keep_case;
    // The geometry columns whose table, column and (when schema is not null)
    // schema names equal the given ones ignoring ASCII case; without a
    // schema, only among the tables an unqualified name finds. Candidates
    // for the front to choose from (front/tables.cpp). False with conditions
    // left (a schema the database cannot have included).
    bool (*geometry_columns_named)(EngineDatabase* database, const char* schema, const char* table,
                                   const char* column, std::vector<EngineFoundColumn>* found);
    // Keeps anyone from emptying or rewriting the table (schema empty: the
    // database's default) until the session ends, and starts the session's
    // snapshot after that, so every row of the table is read from one state
    // of it. Waits a bounded time for a change already under way. False with
    // conditions left.
    bool (*lock_table)(EngineDatabase* database, const char* schema, const char* table);
};

#endif
