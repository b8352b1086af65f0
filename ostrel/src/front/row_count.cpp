// Row counts: what the database knows of a table's rows without reading
// them, for a caller that shows how far it has got or lists what there is.
// The engine answers from what its database keeps; nothing is counted here.

#include "core/status.h"
#include "front/connection.h"

int osl_table_row_count(const char* table, int64_t* rows, int* kind) {
    status_begin();
    *rows = 0;
    *kind = OSL_ROWS_UNKNOWN;
    if (!require_connection("Row count")) {
        return osl_status();
    }
    Connection& connection = session_connection();
    RowCount count =
        connection.engine->row_count(connection.database, table != nullptr ? table : "");
    switch (count.kind) {
        case RowCountKind::kUnknown:
            break;
        case RowCountKind::kExact:
            *kind = OSL_ROWS_EXACT;
            *rows = count.rows;
            break;
        case RowCountKind::kEstimate:
            *kind = OSL_ROWS_ESTIMATE;
            *rows = count.rows;
            break;
    }
    return status_set(OSL_OK);
}
