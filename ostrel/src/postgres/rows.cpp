// Rows from the server, streamed and never held whole. A query without
// parameters runs as COPY (query) TO STDOUT (FORMAT binary), the fastest way
// libpq offers: each step reads the next row of the binary stream, straight
// from the message libpq received, into cells that point into it. A
// statement with parameters (COPY takes none) runs prepared in single-row
// mode, with binary results. Either way the end is kDone, and a server error
// in the middle (the connection ended, a value that fails) is the error of
// the step that met it.
//
// libpq runs one command at a time: a statement that starts while another's
// rows are in flight cuts them off (the server is asked to cancel and what
// it sent meanwhile is dropped), and their next step says so.

#include "postgres/rows.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/trace.h"
#include "postgres/binary_values.h"
#include "postgres/connection.h"
#include "postgres/errors.h"
#include "postgres/postgres_internal.h"

namespace {

// Binary COPY: an 11-byte signature, 32-bit flags and header-extension
// length, then per row a 16-bit field count (-1 ends the data) and per
// field a 32-bit length (-1 for NULL) and the value's bytes, big-endian.
constexpr char kCopySignature[] = "PGCOPY\n\377\r\n";
constexpr int kCopySignatureBytes = 11;
constexpr int kCopyHeaderBytes = kCopySignatureBytes + 4 + 4;
constexpr int kFieldCountBytes = 2;
constexpr int kFieldLengthBytes = 4;
constexpr int kEndOfData = -1;
constexpr int kNullLength = -1;

// The state of a server that sent what the protocol does not allow.
constexpr const char* kProtocolViolation = "08P01";

void fail(PgStatement& statement, const std::string& message,
          const char* sqlstate = kProtocolViolation) {
    statement.failure = ServerError{OslError::kEngineError, sqlstate, message};
}

void release_row_data(PgStatement& statement) {
    if (statement.message != nullptr) {
        PQfreemem(statement.message);
        statement.message = nullptr;
    }
    statement.message_length = 0;
    statement.message_at = 0;
    if (statement.row != nullptr) {
        PQclear(statement.row);
        statement.row = nullptr;
    }
}

// Reads the results left of the command on the connection; the first
// failure among them goes to *error. False when there was one.
bool drain_results(PgDatabase& database, ServerError* error) {
    bool ok = true;
    while (PGresult* result = PQgetResult(database.connection.conn)) {
        ExecStatusType status = PQresultStatus(result);
        if (ok && (status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE)) {
            *error = server_error(result, database.connection.conn);
            ok = false;
        }
        PQclear(result);
    }
    return ok;
}

// The end of the statement's rows: the command's last results read, the
// connection free. Returns kDone, or kError with the failure kept.
StepResult finish_stream(PgStatement& statement, bool read_failed) {
    PgDatabase& database = *statement.database;
    ServerError error;
    bool ok = drain_results(database, &error) && !read_failed;
    if (ok && statement.stream == RowStream::kCopy && !statement.trailer_read) {
        ok = false;
        error = ServerError{OslError::kEngineError, kProtocolViolation,
                            "the server's rows ended without their end-of-data mark"};
    }
    if (!ok && error.message.empty()) {
        error = server_error(nullptr, database.connection.conn);
    }
    statement.stream = RowStream::kDone;
    end_rows_in_flight(database.connection);
    if (!ok) {
        statement.failure = error;
        recover_transaction(database.connection);
        return StepResult::kError;
    }
    return StepResult::kDone;
}

// Ends the statement's rows before their end: the server is asked to
// cancel, and what it sent meanwhile is read and dropped.
void stop_stream(PgStatement& statement) {
    PgDatabase& database = *statement.database;
    release_row_data(statement);
    if (PGcancel* cancel = PQgetCancel(database.connection.conn)) {
        char ignored[256];
        PQcancel(cancel, ignored, sizeof ignored);
        PQfreeCancel(cancel);
    }
    if (statement.stream == RowStream::kCopy) {
        char* data = nullptr;
        while (PQgetCopyData(database.connection.conn, &data, 0) > 0) {
            PQfreemem(data);
        }
    }
    ServerError ignored;
    drain_results(database, &ignored);
    recover_transaction(database.connection);
    statement.stream = RowStream::kDone;
    end_rows_in_flight(database.connection);
}

// Another command is about to run: the statement's rows end here, and its
// next step says so.
void cut_off_rows(void* holder) {
    PgStatement& statement = *static_cast<PgStatement*>(holder);
    stop_stream(statement);
    statement.cut_off = true;
}

bool start_stream(PgStatement& statement) {
    PgDatabase& database = *statement.database;
    claim_connection(database.connection, &statement);
    if (!statement.copy_text.empty() && statement.parameter_count == 0) {
        PGresult* result = PQexec(database.connection.conn, statement.copy_text.c_str());
        bool started = PQresultStatus(result) == PGRES_COPY_OUT;
        if (!started) {
            statement.failure = server_error(result, database.connection.conn);
        }
        PQclear(result);
        if (!started) {
            recover_transaction(database.connection);
            return false;
        }
        statement.stream = RowStream::kCopy;
        statement.header_read = false;
        statement.trailer_read = false;
    } else {
        int count = statement.parameter_count;
        std::vector<const char*> values(static_cast<size_t>(count), nullptr);
        std::vector<int> lengths(static_cast<size_t>(count), 0);
        for (size_t i = 0; i < values.size(); ++i) {
            if (statement.parameter_null[i] == 0) {
                values[i] = statement.parameters[i].c_str();
                lengths[i] = static_cast<int>(statement.parameters[i].size());
            }
        }
        constexpr int kBinaryResults = 1;
        if (PQsendQueryPrepared(database.connection.conn, statement.name.c_str(), count,
                                values.data(), lengths.data(), statement.parameter_formats.data(),
                                kBinaryResults) == 0) {
            statement.failure = server_error(nullptr, database.connection.conn);
            return false;
        }
        PQsetSingleRowMode(database.connection.conn);
        statement.stream = RowStream::kSingleRow;
    }
    start_rows_in_flight(database.connection, cut_off_rows, &statement);
    return true;
}

// Decodes field i of the row into its cell; false (with the failure kept)
// when its bytes are not a value of the column's type.
bool decode_field(PgStatement& statement, size_t i, const char* bytes, int length) {
    const PgColumn& column = statement.columns[i];
    if (decode_value(column.decoder, bytes, length, statement.database->money_scale,
                     statement.texts[i], &statement.cells[i])) {
        return true;
    }
    fail(statement,
         "the server sent a value of column '" + column.name + "' that is not one of its type");
    return false;
}

enum class Parsed { kRow, kMessageDone, kMalformed };

// Reads the next row of the COPY message at message_at into the cells.
Parsed parse_copy_row(PgStatement& statement) {
    const char* p = statement.message + statement.message_at;
    const char* end = statement.message + statement.message_length;
    if (!statement.header_read) {
        if (end - p < kCopyHeaderBytes ||
            std::memcmp(p, kCopySignature, kCopySignatureBytes) != 0) {
            fail(statement, "the server's rows do not begin as binary COPY data");
            return Parsed::kMalformed;
        }
        uint32_t extension = read_be32(p + kCopySignatureBytes + 4);
        if (static_cast<uint64_t>(end - p - kCopyHeaderBytes) < extension) {
            fail(statement, "the header of the server's rows runs past its message");
            return Parsed::kMalformed;
        }
        p += kCopyHeaderBytes + extension;
        statement.header_read = true;
    }
    if (p == end) {
        statement.message_at = statement.message_length;
        return Parsed::kMessageDone;
    }
    if (end - p < kFieldCountBytes) {
        fail(statement, "a row from the server runs past its message");
        return Parsed::kMalformed;
    }
    int fields = static_cast<int16_t>(read_be16(p));
    p += kFieldCountBytes;
    if (fields == kEndOfData) {
        statement.trailer_read = true;
        statement.message_at = statement.message_length;
        return Parsed::kMessageDone;
    }
    if (fields != static_cast<int>(statement.columns.size())) {
        fail(statement, "a row from the server has " + std::to_string(fields) + " values, not " +
                            std::to_string(statement.columns.size()));
        return Parsed::kMalformed;
    }
    for (size_t i = 0; i < statement.columns.size(); ++i) {
        if (end - p < kFieldLengthBytes) {
            fail(statement, "a row from the server runs past its message");
            return Parsed::kMalformed;
        }
        int length = static_cast<int32_t>(read_be32(p));
        p += kFieldLengthBytes;
        if (length == kNullLength) {
            statement.cells[i] = Cell{};
            continue;
        }
        if (length < 0 || end - p < length) {
            fail(statement, "a value from the server runs past its message");
            return Parsed::kMalformed;
        }
        if (!decode_field(statement, i, p, length)) {
            return Parsed::kMalformed;
        }
        p += length;
    }
    statement.message_at = static_cast<int>(p - statement.message);
    return Parsed::kRow;
}

StepResult next_copy_row(PgStatement& statement, const Cell** row) {
    PgDatabase& database = *statement.database;
    for (;;) {
        if (statement.message != nullptr && statement.message_at < statement.message_length) {
            switch (parse_copy_row(statement)) {
                case Parsed::kRow:
                    *row = statement.cells.data();
                    return StepResult::kRow;
                case Parsed::kMessageDone:
                    continue;
                case Parsed::kMalformed: {
                    ServerError failure = statement.failure;
                    stop_stream(statement);
                    statement.failure = failure;
                    return StepResult::kError;
                }
            }
        }
        release_row_data(statement);
        int length = PQgetCopyData(database.connection.conn, &statement.message, 0);
        if (length > 0) {
            statement.message_length = length;
            statement.message_at = 0;
            continue;
        }
        statement.message = nullptr;
        constexpr int kCopyEnded = -1;  // -2: the connection failed
        return finish_stream(statement, length != kCopyEnded);
    }
}

StepResult next_result_row(PgStatement& statement, const Cell** row) {
    PgDatabase& database = *statement.database;
    release_row_data(statement);
    PGresult* result = PQgetResult(database.connection.conn);
    if (PQresultStatus(result) == PGRES_SINGLE_TUPLE) {
        statement.row = result;
        for (size_t i = 0; i < statement.columns.size(); ++i) {
            int column = static_cast<int>(i);
            if (PQgetisnull(result, 0, column)) {
                statement.cells[i] = Cell{};
            } else if (!decode_field(statement, i, PQgetvalue(result, 0, column),
                                     PQgetlength(result, 0, column))) {
                ServerError failure = statement.failure;
                stop_stream(statement);
                statement.failure = failure;
                return StepResult::kError;
            }
        }
        *row = statement.cells.data();
        return StepResult::kRow;
    }
    // The end of the rows (or of a command without rows), or its failure.
    ExecStatusType status = PQresultStatus(result);
    bool failed = result == nullptr || status == PGRES_FATAL_ERROR || status == PGRES_BAD_RESPONSE;
    if (failed) {
        statement.failure = server_error(result, database.connection.conn);
    }
    PQclear(result);
    if (failed) {
        ServerError failure = statement.failure;
        finish_stream(statement, true);
        statement.failure = failure;
        return StepResult::kError;
    }
    return finish_stream(statement, false);
}

// GX_Trace answered by the library: one row, the answer.
StepResult step_trace(PgStatement& statement, const Cell** row) {
    if (statement.stream == RowStream::kDone) {
        return StepResult::kDone;
    }
    statement.trace_answer =
        trace_switch_on(statement.trace_file.c_str(), statement.trace_level.c_str());
    statement.cells[0] = cell_text(statement.trace_answer.data(),
                                   static_cast<uint32_t>(statement.trace_answer.size()));
    statement.stream = RowStream::kDone;
    *row = statement.cells.data();
    return StepResult::kRow;
}

bool in_flight(const PgStatement& statement) {
    return statement.stream == RowStream::kCopy || statement.stream == RowStream::kSingleRow;
}

}  // namespace

StepResult step_rows(EngineStatement* engine_statement, const Cell** row) {
    PgStatement& statement = as_pg(engine_statement);
    if (statement.is_trace) {
        return step_trace(statement, row);
    }
    if (statement.cut_off) {
        fail(statement,
             "its rows were cut off when another statement ran on the connection; read them to "
             "the end first",
             "24000");
        return StepResult::kError;
    }
    if (statement.stream == RowStream::kDone) {
        return StepResult::kDone;
    }
    if (statement.stream == RowStream::kIdle && !start_stream(statement)) {
        return StepResult::kError;
    }
    return statement.stream == RowStream::kCopy ? next_copy_row(statement, row)
                                                : next_result_row(statement, row);
}

void reset_rows(EngineStatement* engine_statement) {
    PgStatement& statement = as_pg(engine_statement);
    if (in_flight(statement)) {
        stop_stream(statement);
    }
    release_row_data(statement);
    statement.stream = RowStream::kIdle;
    statement.cut_off = false;
}
