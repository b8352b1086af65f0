// The embedded engine's table of functions: opening a SQLite file (see
// database_file.cpp) with its catalog and SQL functions, preparing exactly one
// statement per text, binding, and stepping rows out as cells.

#include <cstring>
#include <memory>
#include <string>

#include "core/dialect.h"
#include "core/status.h"
#include "core/trace.h"
#include "sqlite/catalog.h"
#include "sqlite/database_file.h"
#include "sqlite/describe.h"
#include "sqlite/errors.h"
#include "sqlite/functions.h"
#include "sqlite/sqlite_engine.h"
#include "sqlite/sqlite_internal.h"

namespace {

void close_database(EngineDatabase* engine_database) {
    SqliteDatabase* database = &as_sqlite(engine_database);
    close_database_file(*database);
    delete database;
}

// Fails the open: every connection is closed, nothing of it stays.
EngineDatabase* fail_open(std::unique_ptr<SqliteDatabase> database) {
    close_database_file(*database);
    return nullptr;
}

EngineDatabase* open_database(const EngineTarget& target) {
    auto database = std::make_unique<SqliteDatabase>();
    database->path = target.database;
    if (!open_database_file(*database)) {
        return fail_open(std::move(database));
    }
    sqlite3* db = database->db;
    if (!make_catalog(*database)) {
        return fail_open(std::move(database));
    }
    bool spatialite = database->kind == DatabaseKind::kSpatiaLite;
    int rc = gx_register_trace(db);
    if (rc == SQLITE_OK) {
        rc = gx_register_srid(db, spatialite);
    }
    if (rc == SQLITE_OK) {
        rc = gx_register_asshape(db, spatialite, trace_gx_call, nullptr);
    }
    if (rc != SQLITE_OK) {
        report_sqlite_error(rc, sqlite3_errmsg(db), "The spatial extension cannot be registered",
                            *database);
        return fail_open(std::move(database));
    }
    return as_engine(database.release());
}

bool prepare(EngineDatabase* engine_database, const char* text, const char* what,
             EnginePrepared* prepared) {
    SqliteDatabase& database = as_sqlite(engine_database);
    sqlite3_stmt* stmt = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v3(database.db, text, -1, SQLITE_PREPARE_PERSISTENT, &stmt, &tail);
    if (rc != SQLITE_OK) {
        std::string failed = std::string(what) + " cannot be prepared";
        report_sqlite_error(rc, sqlite3_errmsg(database.db), failed.c_str(), database);
        return false;
    }
    if (stmt == nullptr) {
        status_error(OslError::kEmptyStatement, "%s is empty.", what);
        return false;
    }
    // After the statement (and its semicolon) only blanks, semicolons and
    // comments may follow: anything SQLite would prepare is a second
    // statement, and so is anything it cannot read.
    sqlite3_stmt* second = nullptr;
    rc = sqlite3_prepare_v2(database.db, tail, -1, &second, nullptr);
    if (rc != SQLITE_OK || second != nullptr) {
        sqlite3_finalize(second);
        sqlite3_finalize(stmt);
        status_error(OslError::kSecondStatement,
                     "%s holds a second statement after the first: '%s'. Give one statement.", what,
                     shown_text(tail).c_str());
        return false;
    }
    SqliteStatement* statement = new SqliteStatement;
    statement->stmt = stmt;
    statement->database = &database;
    int columns = sqlite3_column_count(stmt);
    statement->cells.assign(static_cast<size_t>(columns), Cell{});
    prepared->statement = as_engine(statement);
    prepared->column_count = columns;
    prepared->parameter_count = sqlite3_bind_parameter_count(stmt);
    prepared->column_names.clear();
    for (int i = 0; i < columns; ++i) {
        const char* name = sqlite3_column_name(stmt, i);
        prepared->column_names.emplace_back(name != nullptr ? name : "");
    }
    return true;
}

void finalize(EngineStatement* engine_statement) {
    SqliteStatement* statement = &as_sqlite(engine_statement);
    sqlite3_finalize(statement->stmt);
    delete statement;
}

bool bind(EngineStatement* engine_statement, int index, const Cell& value) {
    sqlite3_stmt* stmt = as_sqlite(engine_statement).stmt;
    int rc = SQLITE_OK;
    switch (value.kind) {
        case CellKind::kNull:
            rc = sqlite3_bind_null(stmt, index);
            break;
        case CellKind::kInteger:
            rc = sqlite3_bind_int64(stmt, index, value.integer);
            break;
        case CellKind::kReal:
            rc = sqlite3_bind_double(stmt, index, value.real);
            break;
        case CellKind::kText:
            rc = sqlite3_bind_text(stmt, index, value.text, static_cast<int>(value.length),
                                   SQLITE_TRANSIENT);
            break;
        case CellKind::kBlob:
            rc = sqlite3_bind_blob(stmt, index, value.blob, static_cast<int>(value.length),
                                   SQLITE_TRANSIENT);
            break;
    }
    return rc == SQLITE_OK;
}

StepResult step(EngineStatement* engine_statement, const Cell** row) {
    SqliteStatement& statement = as_sqlite(engine_statement);
    sqlite3_stmt* stmt = statement.stmt;
    int rc = sqlite3_step(stmt);
    if (rc == SQLITE_ROW) {
        Cell* cells = statement.cells.data();
        int count = static_cast<int>(statement.cells.size());
        bool readable = true;
        for (int i = 0; i < count; ++i) {
            readable &= cell_of_value(sqlite3_column_value(stmt, i), &cells[i]);
        }
        if (readable) {
            *row = cells;
            return StepResult::kRow;
        }
        rc = SQLITE_NOMEM;
    }
    if (rc == SQLITE_DONE) {
        return StepResult::kDone;
    }
    statement.failed_code = rc;
    statement.failed_message =
        rc == SQLITE_NOMEM ? sqlite3_errstr(rc) : sqlite3_errmsg(statement.database->db);
    return StepResult::kError;
}

void reset(EngineStatement* engine_statement) {
    sqlite3_reset(as_sqlite(engine_statement).stmt);
}

int report_error(EngineStatement* engine_statement, const char* what) {
    SqliteStatement& statement = as_sqlite(engine_statement);
    return report_sqlite_error(statement.failed_code, statement.failed_message.c_str(), what,
                               *statement.database);
}

// In the order of EngineOps.
const EngineOps kSqliteEngine = {
    open_database,          // open
    close_database,         // close
    prepare,                // prepare
    finalize,               // finalize
    describe_columns,       // describe
    bind,                   // bind
    step,                   // step
    reset,                  // reset
    report_error,           // report_error
    row_count,              // row_count
    false,                  // names_keep_case
    file_geometry_columns,  // geometry_columns_named
    lock_file_table,        // lock_table
};

}  // namespace

const EngineOps& sqlite_engine() {
    return kSqliteEngine;
}
