// Shapes made on fetch: an engine that cannot run GX_AsShape itself hands
// out the geometry's bytes, and the front converts them with the same
// converter before the row reaches the caller, so the shape bytes are the
// same whichever engine read them. The SQLite engine's GX_AsShape function
// converts through shape_from_cell too.

#ifndef OSTREL_VALUES_SHAPE_FETCH_H
#define OSTREL_VALUES_SHAPE_FETCH_H

#include <cstddef>
#include <vector>

#include "engine/engine.h"
#include "gx/gx_shape.h"

// The shape columns of one statement and what their conversion reuses from
// row to row: no allocation per row once the buffers are warm.
struct ShapeFetch {
    std::vector<int> columns;       // from 0
    std::vector<GxBuffer> buffers;  // one per column
    std::vector<Cell> row;          // the engine's row with the shapes in place
    bool failed = false;            // the last conversion failed: error says why
    GxError error;

    ShapeFetch() = default;
    ShapeFetch(const ShapeFetch&) = delete;
    ShapeFetch& operator=(const ShapeFetch&) = delete;
    ~ShapeFetch();
};

// Readies fetch for a statement of column_count columns whose columns (from
// 0, each below column_count) are converted on fetch.
void shape_fetch_columns(ShapeFetch& fetch, const std::vector<int>& columns, int column_count);

// The row with its shape columns converted (a null cell stays null), in
// fetch's own copy; null when a geometry does not convert (fetch.failed and
// fetch.error then say why). Every conversion is reported to trace (when not
// null; its context is null).
const Cell* shape_fetch_row(ShapeFetch& fetch, const Cell* row, int column_count,
                            GxTraceCall trace);

enum class ShapeResult { kNull, kShape, kFailed };

// GX_AsShape of one value: a null cell gives kNull; a geometry blob gives
// kShape with the shape record content in out; anything else, a geometry
// that does not convert, or a shape of more than max_bytes gives kFailed with
// error filled. Each call is reported to trace (when not null) with the
// geometry type and the result's size (0 for NULL and failures).
ShapeResult shape_from_cell(const Cell& cell, GxBlobFormats formats, size_t max_bytes,
                            GxBuffer& out, GxError& error, GxTraceCall trace, void* trace_context);

#endif
