// The coordinate system of the rows (see data_srid.h).

#include "srs/data_srid.h"

#include <cstdio>
#include <cstring>

#include "db/descriptor_items.h"
#include "db/sql_error.h"
#include "report/messages.h"

static const char kSridTextQuery[] = "SELECT srtext FROM spatial_references WHERE srid = ?";
static const char* const kUnknown = "UNKNOWN";

// Room for a table name as messages show it.

bool srid_from_rows(const SpatialReference& reference) {
    return reference.srid == 0;
}

void check_row_srid(RowsSrid& rows, const char* descriptor, int32_t record_number,
                    const SpatialColumn& geometry) {
    int16_t indicator = 0;
    int32_t srid = 0;
    OslItemRequest requests[] = {
        {OSL_ITEM_INDICATOR, {OSL_HOST_INT16, &indicator, sizeof indicator}},
        {OSL_ITEM_DATA, {OSL_HOST_INT32, &srid, sizeof srid}}};
    if (osl_get_descriptor_items(descriptor, rows.item, requests, 2) < 0) {
        check_sql();
    }
    if (indicator == kNullIndicator) {
        return;
    }
    if (!rows.seen) {
        rows.seen = true;
        rows.srid = srid;
    } else if (srid != rows.srid) {
        char table[kShownTableBytes];
        fatal_error(
            "Record %d of column %s.%s has SRID %d, but the rows before it have SRID %d: a file "
            "set holds one coordinate system. Select the rows of one SRID with -w.",
            record_number, shown_table_name(geometry, table, sizeof table), geometry.column_name,
            srid, rows.srid);
    }
}

void take_rows_spatial_reference(const RowsSrid& rows, const SpatialColumn& geometry,
                                 SpatialReference& reference) {
    if (!rows.seen || rows.srid == 0) {
        return;
    }
    int32_t srid = rows.srid;
    OslHostValue input = {OSL_HOST_INT32, &srid, sizeof srid};
    OslHostValue output = {OSL_HOST_CSTRING, reference.text, sizeof reference.text};
    int status = osl_execute_immediate(kSridTextQuery, &input, 1, &output, 1);
    if (status < 0) {
        check_sql();
    }
    reference.srid = srid;
    if (status == OSL_NO_ROW) {
        char table[kShownTableBytes];
        std::snprintf(reference.text, sizeof reference.text, "%s", kUnknown);
        note_and_log(
            "Warning: The rows of column %s.%s have SRID %d, which has no coordinate-system "
            "text in the database; the file set has no .prj.",
            shown_table_name(geometry, table, sizeof table), geometry.column_name, srid);
    }
    if (std::strlen(reference.text) + 4 >= sizeof reference.text) {
        fatal_error("The coordinate-system text of SRID %d is longer than %zu bytes.", srid,
                    sizeof reference.text - 4);
    }
}
