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

// Where a geometry blob keeps its SRID: a GeoPackage header ("GP", version,
// flags whose lowest bit says little-endian, then srs_id), EWKB (the byte
// order, a type with the SRID flag, then the SRID), SpatiaLite (a zero
// byte, the byte order, then the SRID; the same in a TinyPoint).
constexpr uint8_t kGpMagic[] = {'G', 'P'};
constexpr size_t kGpSridAt = 4;
constexpr uint8_t kGpLittleEndianFlag = 0x01;
constexpr uint32_t kEwkbSridFlag = 0x20000000;
constexpr size_t kEwkbSridAt = 1 + 4;
constexpr size_t kSpatiaLiteSridAt = 2;
constexpr uint8_t kWkbLittleEndian = 0x01;
constexpr uint8_t kSpatiaLiteLittleEndianBits = 0x01;  // 0x01, or 0x81 in a TinyPoint
constexpr uint8_t kTinyPointBit = 0x80;
constexpr size_t kSpatiaLiteMbrEndAt = 1 + 1 + 4 + 4 * 8;
constexpr uint8_t kSpatiaLiteMbrEnd = 0x7C;

bool is_spatialite_blob(const uint8_t* blob, size_t size) {
    if (size < kSpatiaLiteSridAt + 4 || blob[0] != 0 ||
        (blob[1] & ~kTinyPointBit) > kSpatiaLiteLittleEndianBits) {
        return false;
    }
    return (blob[1] & kTinyPointBit) != 0 ||
           (size > kSpatiaLiteMbrEndAt && blob[kSpatiaLiteMbrEndAt] == kSpatiaLiteMbrEnd);
}

// A 32-bit number in the blob's byte order, as the converter reads them.
uint32_t read_u32(const uint8_t* p, bool little_endian) {
    return gx_load_u32(p, !little_endian);
}

// The SRID of a geometry blob, 0 when it carries none.
int32_t blob_srid(const uint8_t* blob, size_t size, bool spatialite_blobs) {
    if (size >= kGpSridAt + 4 && blob[0] == kGpMagic[0] && blob[1] == kGpMagic[1]) {
        return static_cast<int32_t>(read_u32(blob + kGpSridAt, blob[3] & kGpLittleEndianFlag));
    }
    if (spatialite_blobs && is_spatialite_blob(blob, size)) {
        return static_cast<int32_t>(
            read_u32(blob + kSpatiaLiteSridAt, blob[1] & kSpatiaLiteLittleEndianBits));
    }
    if (size >= kEwkbSridAt + 4 && blob[0] <= kWkbLittleEndian &&
        (read_u32(blob + 1, blob[0] == kWkbLittleEndian) & kEwkbSridFlag) != 0) {
        return static_cast<int32_t>(read_u32(blob + kEwkbSridAt, blob[0] == kWkbLittleEndian));
    }
    return 0;
}

void gx_srid(sqlite3_context* context, int, sqlite3_value** arguments) {
    if (sqlite3_value_type(arguments[0]) != SQLITE_BLOB) {
        sqlite3_result_null(context);
        return;
    }
    const uint8_t* blob = static_cast<const uint8_t*>(sqlite3_value_blob(arguments[0]));
    size_t size = static_cast<size_t>(sqlite3_value_bytes(arguments[0]));
    bool spatialite_blobs = sqlite3_user_data(context) != nullptr;
    sqlite3_result_int64(context, blob_srid(blob, size, spatialite_blobs));
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
