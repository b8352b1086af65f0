// Inside the server engine: its database and statement, as every file of
// the engine sees them. What each file does with them is declared in the
// file's own header; the connection and its transaction are connection.h's.

#ifndef OSTREL_POSTGRES_POSTGRES_INTERNAL_H
#define OSTREL_POSTGRES_POSTGRES_INTERNAL_H

#include <libpq-fe.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "postgres/binary_values.h"
#include "postgres/connection.h"
#include "postgres/errors.h"

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
    PgConnection connection;
    std::string name;    // the database
    std::string server;  // as messages show it: never a password
    Postgis postgis;
    int money_scale = 2;           // a money value counts units of 10^-money_scale
    bool standard_strings = true;  // '...' keeps its backslashes
    std::string role;              // current_user: whose privileges count
    std::string lock_timeout;      // the session's, as SHOW gives it; "0" for none
    std::vector<CatalogRelation> catalog;
    uint64_t statements_made = 0;  // numbers the server-side statement names
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

#endif
