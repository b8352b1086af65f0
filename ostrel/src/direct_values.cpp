// Values that statements take and give directly, without a descriptor: the
// inputs of an immediate statement, bound by their host type, and the outputs
// of a single-row execute, read as the SQL type their host type stands for.

#include <cstring>

#include "dates.h"
#include "decimal.h"
#include "values.h"

ColumnDescription description_for_host(int host_type, const char* column_name) {
    ColumnDescription d;
    d.name = column_name != nullptr ? column_name : "";
    switch (host_type) {
        case OSL_HOST_INT16:
            d.type = OSL_SQL_SMALLINT;
            break;
        case OSL_HOST_INT32:
            d.type = OSL_SQL_INTEGER;
            break;
        case OSL_HOST_DOUBLE:
            d.type = OSL_SQL_FLOAT;
            break;
        case OSL_HOST_DECIMAL:
            d.type = OSL_SQL_DECIMAL;
            d.precision = kDecimalMaxDigits;
            d.scale = kFloatingScale;
            break;
        case OSL_HOST_DATE:
            d.type = OSL_SQL_DATE;
            break;
        case OSL_HOST_TEXT:
        case OSL_HOST_CSTRING:
            d.type = OSL_SQL_VARCHAR;
            break;
        case OSL_HOST_VAR:
        case OSL_HOST_VAR_LOCATED:
            d.type = OSL_SQL_VAR_BINARY;
            break;
        default:
            d.type = OSL_SQL_UNMAPPED;
            break;
    }
    return d;
}

bool bind_value(sqlite3_stmt* stmt, int index, const OslHostValue& host) {
    switch (host.host_type) {
        case OSL_HOST_TEXT:
        case OSL_HOST_CSTRING: {
            const char* text = static_cast<const char*>(host.address);
            size_t length = host.size > 0 ? strnlen(text, host.size) : std::strlen(text);
            return sqlite3_bind_text(stmt, index, text, static_cast<int>(length),
                                     SQLITE_TRANSIENT) == SQLITE_OK;
        }
        case OSL_HOST_INT16:
            return sqlite3_bind_int(stmt, index, *static_cast<const int16_t*>(host.address)) ==
                   SQLITE_OK;
        case OSL_HOST_INT32:
            return sqlite3_bind_int(stmt, index, *static_cast<const int32_t*>(host.address)) ==
                   SQLITE_OK;
        case OSL_HOST_DOUBLE:
            return sqlite3_bind_double(stmt, index, *static_cast<const double*>(host.address)) ==
                   SQLITE_OK;
        case OSL_HOST_DECIMAL: {
            char text[kDecimalTextBytes];
            decimal_to_text(*static_cast<const OslDecimal*>(host.address), text);
            return sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT) == SQLITE_OK;
        }
        case OSL_HOST_DATE: {
            char text[11];
            date_to_text(*static_cast<const OslDate*>(host.address), text);
            return sqlite3_bind_text(stmt, index, text, -1, SQLITE_TRANSIENT) == SQLITE_OK;
        }
        case OSL_HOST_VAR:
        case OSL_HOST_VAR_LOCATED: {
            const OslVar* var = static_cast<const OslVar*>(host.address);
            return sqlite3_bind_blob(stmt, index, var->data, var->length, SQLITE_TRANSIENT) ==
                   SQLITE_OK;
        }
        default:
            return false;
    }
}
