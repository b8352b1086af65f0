// Describing a statement's columns from the server's type OIDs and type
// modifiers. Each server type is named as the declared type it stands for
// (int4 is INT4, numeric(8,2) is NUMERIC(8,2), text is TEXT) and described
// through the one declared-type table of the library, so a column reads
// the same whichever engine found it. PostGIS's geometry and geography are
// the geometry type; a GX_AsShape item is the shape's var-length binary.
//
// The binary decoder of each column is chosen here too: every type the
// mapping knows, PostGIS's types (EWKB) and bytea have one; any other type
// is asked for as text.

#include "postgres/describe.h"

#include <cstdio>
#include <string>

#include "postgres/connection.h"
#include "postgres/postgres_internal.h"
#include "values/declared_types.h"

namespace {

// A type modifier is the declared size plus the four bytes of a varlena
// header; numeric packs precision << 16 | scale (an 11-bit signed scale).
constexpr int kVarHeaderBytes = 4;
constexpr int kNumericScaleBits = 11;
constexpr int kNumericScaleMask = (1 << kNumericScaleBits) - 1;
constexpr int kNumericPrecisionShift = 16;
constexpr int kNumericPrecisionMask = 0xffff;
constexpr int kMoneyDigits = 19;

// The declared type a column of this server type and modifier stands for;
// empty for a type outside the mapping. money_scale is the session's digits
// of money.
std::string declared_type(Oid type, int typmod, int money_scale) {
    int size = typmod - kVarHeaderBytes;
    switch (type) {
        case kInt2Oid:
            return "SMALLINT";
        case kInt4Oid:
            return "INT4";
        case kInt8Oid:
            return "BIGINT";
        case kFloat4Oid:
            return "SMALLFLOAT";
        case kFloat8Oid:
            return "DOUBLE PRECISION";
        case kNumericOid: {
            if (typmod < kVarHeaderBytes) {
                return "NUMERIC";
            }
            int scale = size & kNumericScaleMask;
            scale =
                scale >= (1 << (kNumericScaleBits - 1)) ? scale - (1 << kNumericScaleBits) : scale;
            int precision = (size >> kNumericPrecisionShift) & kNumericPrecisionMask;
            return "NUMERIC(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
        }
        // The server's money is a 64-bit count (19 digits) of the smallest
        // unit of lc_monetary's currency: cents in most locales, a thousandth
        // in some, whole units in others. The field takes every digit.
        case kMoneyOid:
            return "MONEY(" + std::to_string(kMoneyDigits) + "," + std::to_string(money_scale) +
                   ")";
        case kDateOid:
            return "DATE";
        case kBoolOid:
            return "BOOLEAN";
        case kBpcharOid:
            return typmod >= kVarHeaderBytes ? "CHAR(" + std::to_string(size) + ")" : "TEXT";
        case kVarcharOid:
            return typmod >= kVarHeaderBytes ? "VARCHAR(" + std::to_string(size) + ")" : "TEXT";
        case kTextOid:
            return "TEXT";
        default:
            return "";
    }
}

void describe_column(const PgColumn& column, const PgDatabase& database, ColumnDescription* d) {
    const Postgis& postgis = database.postgis;
    d->name = column.name;
    if (column.shape) {
        describe_type(d, OSL_SQL_VAR_BINARY);
    } else if (column.type == postgis.geometry ||
               (postgis.geography != 0 && column.type == postgis.geography)) {
        describe_type(d, OSL_SQL_GEOMETRY);
    } else if (column.type == kByteaOid) {
        // A table's binary column is outside the mapping, as a BLOB is; a
        // binary expression is what it returns.
        describe_type(d, column.table != 0 ? OSL_SQL_UNMAPPED : OSL_SQL_VAR_BINARY);
    } else {
        std::string declared = declared_type(column.type, column.typmod, database.money_scale);
        if (declared.empty()) {
            describe_type(d, OSL_SQL_UNMAPPED);
        } else {
            map_declared_type(declared.c_str(), d);
        }
    }
}

// Marks the columns declared NOT NULL in their tables.
void read_not_null(PgStatement& statement, std::vector<ColumnDescription>& columns) {
    std::string tables;
    for (const PgColumn& column : statement.columns) {
        if (column.table != 0) {
            tables += (tables.empty() ? "{" : ",") + std::to_string(column.table);
        }
    }
    if (tables.empty()) {
        return;
    }
    tables += "}";
    PgDatabase& database = *statement.database;
    claim_connection(database.connection, nullptr);
    const char* parameters[] = {tables.c_str()};
    PGresult* result = PQexecParams(database.connection.conn,
                                    "SELECT attrelid, attnum FROM pg_catalog.pg_attribute "
                                    "WHERE attnotnull AND attrelid = ANY ($1::pg_catalog.oid[])",
                                    1, nullptr, parameters, nullptr, nullptr, 0);
    if (PQresultStatus(result) == PGRES_TUPLES_OK) {
        for (int row = 0; row < PQntuples(result); ++row) {
            Oid table = static_cast<Oid>(std::strtoul(PQgetvalue(result, row, 0), nullptr, 10));
            int number = std::atoi(PQgetvalue(result, row, 1));
            for (size_t i = 0; i < columns.size(); ++i) {
                const PgColumn& column = statement.columns[i];
                if (column.table == table && column.table_column == number) {
                    columns[i].nullable = 0;
                }
            }
        }
    }
    PQclear(result);
    recover_transaction(database.connection);
}

}  // namespace

Decoder decoder_for(Oid type, const Postgis& postgis) {
    switch (type) {
        case kBoolOid:
            return Decoder::kBoolean;
        case kInt2Oid:
            return Decoder::kInt16;
        case kInt4Oid:
            return Decoder::kInt32;
        case kInt8Oid:
            return Decoder::kInt64;
        case kOidOid:
            return Decoder::kOid;
        case kFloat4Oid:
            return Decoder::kFloat32;
        case kFloat8Oid:
            return Decoder::kFloat64;
        case kNumericOid:
            return Decoder::kNumeric;
        case kDateOid:
            return Decoder::kDate;
        case kMoneyOid:
            return Decoder::kMoney;
        case kTextOid:
        case kVarcharOid:
        case kNameOid:
        case kUnknownOid:
            return Decoder::kText;
        case kBpcharOid:
            return Decoder::kPaddedText;
        case kByteaOid:
            return Decoder::kBytes;
        default:
            // PostGIS sends both of its types as EWKB.
            bool spatial =
                type == postgis.geometry || (postgis.geography != 0 && type == postgis.geography);
            return spatial ? Decoder::kBytes : Decoder::kCastToText;
    }
}

bool describe_server_columns(EngineStatement* engine_statement,
                             std::vector<ColumnDescription>* columns) {
    PgStatement& statement = as_pg(engine_statement);
    columns->assign(statement.columns.size(), ColumnDescription{});
    if (statement.is_trace) {
        describe_type(&(*columns)[0], OSL_SQL_VARCHAR, kDefaultTextLength);
        (*columns)[0].name = statement.columns[0].name;
        return true;
    }
    for (size_t i = 0; i < columns->size(); ++i) {
        describe_column(statement.columns[i], *statement.database, &(*columns)[i]);
    }
    read_not_null(statement, *columns);
    return true;
}
