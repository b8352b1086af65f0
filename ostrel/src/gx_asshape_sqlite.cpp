// GX_AsShape as a SQLite function (placeholder until the converter lands).

#include <sqlite3.h>

#include "gx_shape.h"

void gx_buffer_free(GxBuffer& buffer) {
    sqlite3_free(buffer.data);
    buffer = GxBuffer{};
}

static void gx_asshape_unavailable(sqlite3_context* context, int, sqlite3_value**) {
    sqlite3_result_error(context, "GX000|GX_AsShape is not available yet", -1);
}

int gx_register_asshape(sqlite3* db, bool, GxTraceCall, void*) {
    return sqlite3_create_function(db, "GX_AsShape", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                                   gx_asshape_unavailable, nullptr, nullptr);
}
