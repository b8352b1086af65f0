// The spatial extension's SQL functions on a SQLite connection. GX_AsShape:
// a geometry blob in, the shape record content out as a BLOB (NULL for
// NULL), converted through the same code as every engine's shapes; failures
// are raised as "GXnnn|message", which the error mapping turns into the
// extension's condition. GX_Trace: the session's trace, answered by the
// library.

#include "sqlite/functions.h"

#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

#include "core/trace.h"
#include "gx/gx_shape_build.h"
#include "sqlite/sqlite_internal.h"
#include "values/shape_fetch.h"

namespace {

// GX_AsShape's user data, one per connection: the output buffer is reused
// by every call, so a warm call allocates nothing of its own.
struct AsShapeState {
    GxBuffer buffer;
    GxBlobFormats formats = GxBlobFormats::kStandard;
    GxTraceCall trace = nullptr;
    void* trace_context = nullptr;
};

void as_shape(sqlite3_context* context, int, sqlite3_value** arguments) {
    AsShapeState& state = *static_cast<AsShapeState*>(sqlite3_user_data(context));
    Cell geometry;
    if (!cell_of_value(arguments[0], &geometry)) {
        sqlite3_result_error_nomem(context);
        return;
    }
    int limit = sqlite3_limit(sqlite3_context_db_handle(context), SQLITE_LIMIT_LENGTH, -1);
    GxError error;
    switch (shape_from_cell(geometry, state.formats, static_cast<size_t>(limit), state.buffer,
                            error, state.trace, state.trace_context)) {
        case ShapeResult::kNull:
            sqlite3_result_null(context);
            return;
        case ShapeResult::kFailed: {
            char text[6 + kGxMessageBytes];
            std::snprintf(text, sizeof text, "%s|%s", error.sql_state, error.message);
            sqlite3_result_error(context, text, -1);
            return;
        }
        case ShapeResult::kShape:
            // Transient: one query can call the function more than once per
            // row, and every call reuses the buffer.
            sqlite3_result_blob64(context, state.buffer.data, state.buffer.length,
                                  SQLITE_TRANSIENT);
            return;
    }
}

void destroy_state(void* user_data) {
    AsShapeState* state = static_cast<AsShapeState*>(user_data);
    gx_buffer_free(state->buffer);
    state->~AsShapeState();
    sqlite3_free(state);
}

void gx_srid(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) != SQLITE_BLOB) {
        sqlite3_result_null(context);
        return;
    }
    const uint8_t* blob = static_cast<const uint8_t*>(sqlite3_value_blob(arguments[0]));
    size_t size = static_cast<size_t>(sqlite3_value_bytes(arguments[0]));
    GxBlobFormats formats = sqlite3_user_data(context) != nullptr ? GxBlobFormats::kWithSpatiaLite
                                                                  : GxBlobFormats::kStandard;
    sqlite3_result_int64(context, gx_blob_srid(blob, size, formats));
}

// GX_Trace(file, level): switches tracing on and answers "OK ..."; any other
// answer means tracing did not change.
void gx_trace(sqlite3_context* context, int, sqlite3_value** arguments) {
    const unsigned char* level = sqlite3_value_text(arguments[1]);
    const unsigned char* file = sqlite3_value_text(arguments[0]);
    std::string answer =
        trace_switch_on(reinterpret_cast<const char*>(file), reinterpret_cast<const char*>(level));
    sqlite3_result_text(context, answer.c_str(), -1, SQLITE_TRANSIENT);
}

}  // namespace

int gx_register_asshape(sqlite3* db, bool spatialite_blobs, GxTraceCall trace,
                        void* trace_context) {
    void* memory = sqlite3_malloc(sizeof(AsShapeState));
    if (memory == nullptr) {
        return SQLITE_NOMEM;
    }
    AsShapeState* state = new (memory) AsShapeState;
    state->formats = spatialite_blobs ? GxBlobFormats::kWithSpatiaLite : GxBlobFormats::kStandard;
    state->trace = trace;
    state->trace_context = trace_context;
    // On failure SQLite calls destroy_state itself.
    return sqlite3_create_function_v2(db, "GX_AsShape", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                      state, as_shape, nullptr, nullptr, destroy_state);
}

int gx_register_srid(sqlite3* db, bool spatialite_blobs) {
    // The user data only tells the blob formats apart; it is never read.
    static int spatialite_marker;
    return sqlite3_create_function(db, "GX_Srid", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                   spatialite_blobs ? &spatialite_marker : nullptr, gx_srid,
                                   nullptr, nullptr);
}

// GX_Trace writes files, so it may only be called by the statements the
// caller sends, never from a view or trigger inside a database file.
int gx_register_trace(sqlite3* db) {
    return sqlite3_create_function(db, "GX_Trace", 2, SQLITE_UTF8 | SQLITE_DIRECTONLY, nullptr,
                                   gx_trace, nullptr, nullptr);
}
