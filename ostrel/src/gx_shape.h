// The spatial extension's geometry converter: geometry bytes as users keep
// them in a database in, shapefile record content out. Shared by every engine.

#ifndef OSTREL_GX_SHAPE_H
#define OSTREL_GX_SHAPE_H

#include <cstddef>
#include <cstdint>

struct sqlite3;

// Errors of the extension's functions carry this code and an SQL state of the
// extension's own; an SQL function raises them as "GXnnn|message", which the
// engine turns into a condition (-937, "GXnnn", message).
constexpr int kGxErrorCode = -937;

// Output buffer, reused from call to call: it grows, never shrinks, so a warm
// buffer costs no allocation.
struct GxBuffer {
    uint8_t* data = nullptr;
    size_t length = 0;
    size_t capacity = 0;
};
void gx_buffer_free(GxBuffer& buffer);

// Called once per GX_AsShape call while the engine traces at level 2 or more.
using GxTraceCall = void (*)(void* context, const char* geometry_type, size_t result_bytes);

// Registers GX_AsShape on a SQLite connection. spatialite_blobs: the database
// is a SpatiaLite one, so its own blob format is read too.
int gx_register_asshape(sqlite3* db, bool spatialite_blobs, GxTraceCall trace,
                        void* trace_context);

#endif
