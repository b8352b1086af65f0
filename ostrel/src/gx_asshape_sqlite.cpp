// GX_AsShape as a SQLite function: a geometry blob in, the shape record
// content out as a BLOB (NULL for NULL). Failures are raised as
// "GXnnn|message", which the engine turns into the extension's condition.

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "gx_shape.h"

namespace {

// The function's user data, one per connection: the output buffer is reused
// by every call, so a warm call allocates nothing of its own.
struct AsShapeState {
    GxBuffer buffer;
    GxBlobFormats formats = GxBlobFormats::kStandard;
    GxTraceCall trace = nullptr;
    void* trace_context = nullptr;
};

}  // namespace

static void raise(sqlite3_context* context, const char* sql_state, const char* message) {
    char text[6 + kGxMessageBytes];
    std::snprintf(text, sizeof text, "%s|%s", sql_state, message);
    sqlite3_result_error(context, text, -1);
}

static void trace_call(const AsShapeState& state, const GxGeometryType& type, size_t bytes) {
    if (state.trace != nullptr) {
        char name[32];
        gx_geometry_type_name(type, name, sizeof name);
        state.trace(state.trace_context, name, bytes);
    }
}

static const char* value_type_name(int value_type) {
    switch (value_type) {
        case SQLITE_INTEGER:
            return "an INTEGER";
        case SQLITE_FLOAT:
            return "a REAL";
        default:
            return "a TEXT";
    }
}

static void as_shape(sqlite3_context* context, int, sqlite3_value** arguments) {
    AsShapeState& state = *static_cast<AsShapeState*>(sqlite3_user_data(context));
    int value_type = sqlite3_value_type(arguments[0]);
    if (value_type == SQLITE_NULL) {
        if (state.trace != nullptr) {
            state.trace(state.trace_context, "NULL", 0);
        }
        sqlite3_result_null(context);
        return;
    }
    GxGeometryType type;
    if (value_type != SQLITE_BLOB) {
        trace_call(state, type, 0);
        char message[kGxMessageBytes];
        std::snprintf(message, sizeof message, "GX_AsShape takes a geometry BLOB, not %s value.",
                      value_type_name(value_type));
        raise(context, kGxNotABlob, message);
        return;
    }
    const uint8_t* blob = static_cast<const uint8_t*>(sqlite3_value_blob(arguments[0]));
    size_t size = static_cast<size_t>(sqlite3_value_bytes(arguments[0]));
    GxError error;
    if (!gx_geometry_to_shape(blob, size, state.formats, state.buffer, type, error)) {
        trace_call(state, type, 0);
        raise(context, error.sql_state, error.message);
        return;
    }
    size_t bytes = state.buffer.length;
    int limit = sqlite3_limit(sqlite3_context_db_handle(context), SQLITE_LIMIT_LENGTH, -1);
    if (bytes > static_cast<size_t>(limit)) {
        trace_call(state, type, 0);
        char message[kGxMessageBytes];
        std::snprintf(message, sizeof message,
                      "The shape of %zu bytes passes the database's value limit of %d bytes.",
                      bytes, limit);
        raise(context, kGxTooLarge, message);
        return;
    }
    trace_call(state, type, bytes);
    // Transient: one query can call the function more than once per row, and
    // every call reuses the buffer.
    sqlite3_result_blob64(context, state.buffer.data, bytes, SQLITE_TRANSIENT);
}

static void destroy_state(void* user_data) {
    AsShapeState* state = static_cast<AsShapeState*>(user_data);
    gx_buffer_free(state->buffer);
    state->~AsShapeState();
    sqlite3_free(state);
}

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
