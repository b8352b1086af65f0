// Inside the server engine: its database and statement, and what its files
// share (the session's transaction, the statement texts, describing, the
// binary values, the row streams, the error mapping).

#ifndef OSTREL_POSTGRES_POSTGRES_INTERNAL_H
#define OSTREL_POSTGRES_POSTGRES_INTERNAL_H

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "front/status.h"
#include "postgres/sql_lexer.h"

// Built-in type OIDs, fixed in every PostgreSQL (pg_type.dat). PostGIS's
// types get OIDs of each database's own, read at connect.
constexpr Oid kBoolOid = 16;
constexpr Oid kByteaOid = 17;
constexpr Oid kNameOid = 19;
constexpr Oid kInt8Oid = 20;
constexpr Oid kInt2Oid = 21;
constexpr Oid kInt4Oid = 23;
constexpr Oid kTextOid = 25;
constexpr Oid kOidOid = 26;
constexpr Oid kFloat4Oid = 700;
constexpr Oid kFloat8Oid = 701;
constexpr Oid kUnknownOid = 705;
constexpr Oid kMoneyOid = 790;
constexpr Oid kBpcharOid = 1042;
constexpr Oid kVarcharOid = 1043;
constexpr Oid kDateOid = 1082;
constexpr Oid kNumericOid = 1700;

struct PgStatement;

// The session's read transaction: one snapshot for every statement, nothing
// written.
constexpr const char* kBeginReading = "BEGIN ISOLATION LEVEL REPEATABLE READ, READ ONLY; ";
// The savepoint every failed command rolls the session back to.
constexpr const char* kSetSavepoint = "SAVEPOINT ostrel_session";
constexpr const char* kBackToSavepoint = "ROLLBACK TO SAVEPOINT ostrel_session";

// What connect learns of PostGIS in the database.
struct Postgis {
    Oid geometry = 0;
    Oid geography = 0;
    std::string schema;  // where PostGIS lives, as a quoted identifier
};

// One relation of the library's catalog: its name and its definition as an
// item of a WITH list.
struct CatalogRelation {
    std::string name;
    std::string definition;
};

struct PgDatabase {
    PGconn* conn = nullptr;
    std::string name;    // the database
    std::string server;  // as messages show it: never a password
    Postgis postgis;
    int money_scale = 2;           // a money value counts units of 10^-money_scale
    bool standard_strings = true;  // '...' keeps its backslashes
    std::string role;              // current_user: whose privileges count
    std::string lock_timeout;      // the session's, as SHOW gives it; "0" for none
    std::vector<CatalogRelation> catalog;
    // The statement whose rows are in flight on the connection: libpq runs
    // one command at a time, so anything else sent cuts them off first.
    PgStatement* streaming = nullptr;
    uint64_t statements_made = 0;  // numbers the server-side statement names
    // Statements finalized while another one's rows were in flight, to be
    // deallocated on the server before the next command.
    std::vector<std::string> retired_statements;
};

// How one column's binary value becomes a cell.
enum class Decoder : uint8_t {
    kBoolean,
    kInt16,
    kInt32,
    kInt64,
    kOid,
    kFloat32,
    kFloat64,
    kNumeric,
    kDate,
    kMoney,
    kText,
    kPaddedText,  // char(n): the blanks that pad it are not part of the value
    kBytes,
    kCastToText,  // no binary decoder: the statement asks for its text form
};

// One column of a prepared statement as the server describes it.
struct PgColumn {
    std::string name;  // as the caller's statement names it
    Oid type = 0;
    int typmod = -1;
    Oid table = 0;  // the table a plain column comes from, else 0
    int table_column = 0;
    bool shape = false;  // a GX_AsShape item: WKB for the front to convert
    Decoder decoder = Decoder::kBytes;
};

// A failure of the server (or of the connection to it), kept until the
// front asks for it.
struct ServerError {
    OslError error = OslError::kEngineError;
    std::string sqlstate;
    std::string message;
};

enum class RowStream : uint8_t { kIdle, kCopy, kSingleRow, kDone };

struct PgStatement {
    PgDatabase* database = nullptr;
    std::string name;       // the prepared statement on the server
    std::string copy_text;  // the query as a binary COPY; empty when not a query
    std::vector<PgColumn> columns;
    int parameter_count = 0;
    std::vector<std::string> parameters;  // bound values, as libpq sends them
    std::vector<int> parameter_formats;   // 0 text, 1 binary
    std::vector<char> parameter_null;

    // The rows in flight.
    RowStream stream = RowStream::kIdle;
    char* message = nullptr;  // the COPY data message being read (libpq's)
    int message_length = 0;
    int message_at = 0;
    bool header_read = false;
    bool trailer_read = false;
    PGresult* row = nullptr;  // the single-row result being read
    bool cut_off = false;     // another command ended the rows early
    std::vector<Cell> cells;
    std::vector<std::string> texts;  // per column: a text made from a binary value

    // GX_Trace(file, level), which the library answers itself.
    bool is_trace = false;
    std::string trace_file;
    std::string trace_level;
    std::string trace_answer;

    ServerError failure;
};

// Big-endian integers of the server's binary formats.
inline uint16_t read_be16(const char* p) {
    const unsigned char* u = reinterpret_cast<const unsigned char*>(p);
    return static_cast<uint16_t>(u[0] << 8 | u[1]);
}
inline uint32_t read_be32(const char* p) {
    return static_cast<uint32_t>(read_be16(p)) << 16 | read_be16(p + 2);
}
inline uint64_t read_be64(const char* p) {
    return static_cast<uint64_t>(read_be32(p)) << 32 | read_be32(p + 4);
}

// The front hands back the pointers the engine gave it.
inline EngineDatabase* as_engine(PgDatabase* database) {
    return reinterpret_cast<EngineDatabase*>(database);
}
inline PgDatabase& as_pg(EngineDatabase* database) {
    return *reinterpret_cast<PgDatabase*>(database);
}
inline EngineStatement* as_engine(PgStatement* statement) {
    return reinterpret_cast<EngineStatement*>(statement);
}
inline PgStatement& as_pg(EngineStatement* statement) {
    return *reinterpret_cast<PgStatement*>(statement);
}

// Opening and closing (connect.cpp).
EngineDatabase* open_server_database(const EngineTarget& target);
void close_server_database(EngineDatabase* database);

// The session's facts, transaction and catalog (catalog.cpp). False with the
// condition left.
bool read_server_facts(PgDatabase& database);
// Begins the read transaction and its savepoint; its snapshot is taken by
// the first query after.
bool begin_read_transaction(PgDatabase& database);
// text (with its tokens) with the definitions of the catalog relations it
// names in a WITH of its own.
std::string with_catalog(const PgDatabase& database, const std::string& text,
                         const std::vector<Token>& tokens);

// The table a caller reads (tables.cpp).
bool server_geometry_columns(EngineDatabase* database, const char* schema, const char* table,
                             const char* column, std::vector<EngineFoundColumn>* found);
bool lock_server_table(EngineDatabase* database, const char* schema, const char* table);

// Errors (errors.cpp). The failure a result carries (its SQL state and
// primary message), or the connection's when the result has none.
ServerError server_error(const PGresult* result, PGconn* conn);
// Leaves error as a condition, what naming the operation; returns the
// status.
int report_server_error(const ServerError& error, const char* what);
// Runs a command that returns no rows; false with the condition left (what
// naming the operation).
bool run_command(PgDatabase& database, const char* sql, const char* what);
// After a failed command: rolls the transaction back to the session's
// savepoint, so the snapshot and the catalog views stay for the next one.
void recover_transaction(PgDatabase& database);

// The planner's estimate of a table's rows (row_count.cpp).
RowCount server_row_count(EngineDatabase* database, const char* table);

// The statement texts (statement_text.cpp).
struct ShapeItem {
    std::string placeholder;  // the column name the server gives it
    std::string shown_name;   // the name the caller's statement gives it
};
struct ServerText {
    std::string text;  // one statement, as the server takes it
    std::vector<ShapeItem> shapes;
    bool is_trace = false;  // GX_Trace(file, level): trace_file and trace_level
    std::string trace_file;
    std::string trace_level;
    std::string trace_name;
};
// The caller's statement (in the caller's dialect, EXECUTE FUNCTION already
// made SELECT) as the server runs it: one statement, "?" markers numbered,
// each GX_AsShape select item asking for the geometry's WKB under a
// placeholder name, GX_Srid as ST_SRID, the catalog relations it names
// defined. False with the condition left, what naming the statement.
bool server_text(const char* text, const char* what, const PgDatabase& database, ServerText* out);
// The query with every kCastToText column cast to text.
std::string text_cast_query(const std::string& query, const std::vector<PgColumn>& columns);

// Describing (describe.cpp).
Decoder decoder_for(Oid type, const Postgis& postgis);
bool describe_server_columns(EngineStatement* statement, std::vector<ColumnDescription>* columns);

// One binary value as a cell (binary_values.cpp); text holds whatever text
// the cell points to. False when the bytes are not a value of the type.
bool decode_value(Decoder decoder, const char* bytes, int length, int money_scale,
                  std::string& text, Cell* cell);

// The row streams (rows.cpp).
StepResult step_rows(EngineStatement* statement, const Cell** row);
void reset_rows(EngineStatement* statement);
// Readies the connection for a command on behalf of statement (null for
// none): rows of any other statement still in flight are cut off.
void claim_connection(PgDatabase& database, PgStatement* statement);

#endif
