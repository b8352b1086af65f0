// The server engine's table of functions: preparing statements on the
// server (one per text, rewritten as the server takes it, described once),
// binding their parameters, and handing out their rows, which rows.cpp
// streams.

#include <memory>
#include <string>

#include "postgres/connect.h"
#include "postgres/connection.h"
#include "postgres/describe.h"
#include "postgres/errors.h"
#include "postgres/postgres_engine.h"
#include "postgres/postgres_internal.h"
#include "postgres/row_count.h"
#include "postgres/rows.h"
#include "postgres/statement_text.h"
#include "postgres/tables.h"
#include "values/decimal.h"

namespace {

constexpr int kTextFormat = 0;
constexpr int kBinaryFormat = 1;

// The columns of a described prepared statement; the GX_AsShape items are
// known by their placeholder names and named as the caller wrote them.
void read_columns(PgStatement& statement, const PGresult* described,
                  const std::vector<ShapeItem>& shapes) {
    const Postgis& postgis = statement.database->postgis;
    statement.parameter_count = PQnparams(described);
    int count = PQnfields(described);
    statement.columns.assign(static_cast<size_t>(count), PgColumn{});
    for (int i = 0; i < count; ++i) {
        PgColumn& column = statement.columns[static_cast<size_t>(i)];
        column.name = PQfname(described, i);
        column.type = PQftype(described, i);
        column.typmod = PQfmod(described, i);
        column.table = PQftable(described, i);
        column.table_column = PQftablecol(described, i);
        for (const ShapeItem& shape : shapes) {
            if (column.name == shape.placeholder) {
                column.shape = true;
                column.name = shape.shown_name;
            }
        }
        column.decoder = column.shape ? Decoder::kBytes : decoder_for(column.type, postgis);
    }
}

// Prepares text under statement's name; false with the condition left.
bool prepare_named(PgStatement& statement, const std::string& text, const std::string& failed) {
    PgDatabase& database = *statement.database;
    PGresult* result =
        PQprepare(database.connection.conn, statement.name.c_str(), text.c_str(), 0, nullptr);
    bool ok = PQresultStatus(result) == PGRES_COMMAND_OK;
    if (!ok) {
        report_server_error(server_error(result, database.connection.conn), failed.c_str());
    }
    PQclear(result);
    return ok;
}

// Prepares and describes the statement on the server. A column of a type
// without a binary decoder makes the statement ask for it as text: the same
// name is prepared again for the query with the casts.
bool prepare_on_server(PgStatement& statement, const ServerText& server, const char* what) {
    PgDatabase& database = *statement.database;
    claim_connection(database.connection, nullptr);
    statement.name = "ostrel_" + std::to_string(++database.statements_made);
    std::string failed = std::string(what) + " cannot be prepared";
    bool ok = prepare_named(statement, server.text, failed);
    if (ok) {
        PGresult* described = PQdescribePrepared(database.connection.conn, statement.name.c_str());
        ok = PQresultStatus(described) == PGRES_COMMAND_OK;
        if (ok) {
            read_columns(statement, described, server.shapes);
        } else {
            report_server_error(server_error(described, database.connection.conn), failed.c_str());
        }
        PQclear(described);
    }
    std::string query = server.text;
    bool cast = false;
    for (const PgColumn& column : statement.columns) {
        cast |= column.decoder == Decoder::kCastToText;
    }
    if (ok && cast) {
        query = text_cast_query(server.text, statement.columns);
        std::string deallocate = "DEALLOCATE \"" + statement.name + "\"";
        ok = run_command(database.connection, deallocate.c_str(), failed.c_str()) &&
             prepare_named(statement, query, failed);
    }
    if (!ok) {
        recover_transaction(database.connection);
        statement.name.clear();
        return false;
    }
    if (!statement.columns.empty()) {
        statement.copy_text = "COPY (" + query + ") TO STDOUT (FORMAT binary)";
    }
    return true;
}

bool prepare(EngineDatabase* engine_database, const char* text, const char* what,
             EnginePrepared* prepared) {
    PgDatabase& database = as_pg(engine_database);
    ServerText server;
    if (!server_text(text, what, database, &server)) {
        return false;
    }
    auto statement = std::make_unique<PgStatement>();
    statement->database = &database;
    if (server.is_trace) {
        statement->is_trace = true;
        statement->trace_file = server.trace_file;
        statement->trace_level = server.trace_level;
        PgColumn answer;
        answer.name = server.trace_name;
        answer.type = kTextOid;
        answer.decoder = Decoder::kText;
        statement->columns.push_back(answer);
    } else if (!prepare_on_server(*statement, server, what)) {
        return false;
    }
    size_t columns = statement->columns.size();
    size_t parameters = static_cast<size_t>(statement->parameter_count);
    statement->cells.assign(columns, Cell{});
    statement->texts.assign(columns, std::string());
    statement->parameters.assign(parameters, std::string());
    statement->parameter_formats.assign(parameters, kTextFormat);
    statement->parameter_null.assign(parameters, 1);

    prepared->column_count = static_cast<int>(columns);
    prepared->parameter_count = statement->parameter_count;
    prepared->column_names.clear();
    prepared->shape_columns.clear();
    for (size_t i = 0; i < columns; ++i) {
        prepared->column_names.push_back(statement->columns[i].name);
        if (statement->columns[i].shape) {
            prepared->shape_columns.push_back(static_cast<int>(i));
        }
    }
    prepared->statement = as_engine(statement.release());
    return true;
}

void finalize(EngineStatement* engine_statement) {
    PgStatement* statement = &as_pg(engine_statement);
    reset_rows(engine_statement);
    if (!statement->name.empty()) {
        // Deallocated before the next command, so finalizing one statement
        // never cuts off the rows of another.
        retire_statement(statement->database->connection, statement->name);
    }
    delete statement;
}

bool bind(EngineStatement* engine_statement, int index, const Cell& value) {
    PgStatement& statement = as_pg(engine_statement);
    if (index < 1 || index > statement.parameter_count) {
        return false;
    }
    size_t i = static_cast<size_t>(index - 1);
    std::string& text = statement.parameters[i];
    statement.parameter_formats[i] = kTextFormat;
    statement.parameter_null[i] = 0;
    switch (value.kind) {
        case CellKind::kNull:
            statement.parameter_null[i] = 1;
            break;
        case CellKind::kInteger:
            text = std::to_string(value.integer);
            break;
        case CellKind::kReal: {
            char number[32];
            text.assign(number, shortest_double_text(value.real, number));
            break;
        }
        case CellKind::kText:
        case CellKind::kBlob:
            // Bytes to point at or SQL NULL, as the interface has it.
            if (value.text == nullptr) {
                statement.parameter_null[i] = 1;
                break;
            }
            text.assign(value.text, value.length);
            if (value.kind == CellKind::kBlob) {
                statement.parameter_formats[i] = kBinaryFormat;
            }
            break;
    }
    return true;
}

int report_error(EngineStatement* engine_statement, const char* what) {
    return report_server_error(as_pg(engine_statement).failure, what);
}

// In the order of EngineOps.
const EngineOps kPostgresEngine = {
    open_server_database,     // open
    close_server_database,    // close
    prepare,                  // prepare
    finalize,                 // finalize
    describe_server_columns,  // describe
    bind,                     // bind
    step_rows,                // step
    reset_rows,               // reset
    report_error,             // report_error
    server_row_count,         // row_count
    true,                     // names_keep_case
    server_geometry_columns,  // geometry_columns_named
    lock_server_table,        // lock_table
};

}  // namespace

const EngineOps& postgres_engine() {
    return kPostgresEngine;
}
