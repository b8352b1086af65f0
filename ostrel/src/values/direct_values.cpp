// Values that statements take and give directly, without a descriptor: the
// inputs of an immediate statement, bound by their host type, and the outputs
// of a single-row execute, read as the SQL type their host type stands for.

#include <cstring>

#include "values/dates.h"
#include "values/decimal.h"
#include "values/values.h"

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

bool cell_from_host(const OslHostValue& host, HostCell* out) {
    switch (host.host_type) {
        case OSL_HOST_TEXT:
        case OSL_HOST_CSTRING: {
            const char* text = static_cast<const char*>(host.address);
            size_t length = host.size > 0 ? strnlen(text, host.size) : std::strlen(text);
            out->cell = cell_text(text, static_cast<uint32_t>(length));
            return true;
        }
        case OSL_HOST_INT16:
            out->cell = cell_integer(*static_cast<const int16_t*>(host.address));
            return true;
        case OSL_HOST_INT32:
            out->cell = cell_integer(*static_cast<const int32_t*>(host.address));
            return true;
        case OSL_HOST_DOUBLE:
            out->cell = cell_real(*static_cast<const double*>(host.address));
            return true;
        case OSL_HOST_DECIMAL:
            decimal_to_text(*static_cast<const OslDecimal*>(host.address), out->text);
            out->cell = cell_text(out->text, static_cast<uint32_t>(std::strlen(out->text)));
            return true;
        case OSL_HOST_DATE:
            date_to_text(*static_cast<const OslDate*>(host.address), out->text);
            out->cell = cell_text(out->text, static_cast<uint32_t>(std::strlen(out->text)));
            return true;
        case OSL_HOST_VAR:
        case OSL_HOST_VAR_LOCATED: {
            const OslVar* var = static_cast<const OslVar*>(host.address);
            if (var->length < 0) {
                return false;
            }
            out->cell = cell_blob(var->data, static_cast<uint32_t>(var->length));
            return true;
        }
        default:
            return false;
    }
}
