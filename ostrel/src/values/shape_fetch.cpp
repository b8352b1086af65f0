// Shapes made on fetch, and GX_AsShape of one cell for every engine.

#include "values/shape_fetch.h"

#include <algorithm>
#include <cstdio>

ShapeFetch::~ShapeFetch() {
    for (GxBuffer& buffer : buffers) {
        gx_buffer_free(buffer);
    }
}

void shape_fetch_columns(ShapeFetch& fetch, const std::vector<int>& columns, int column_count) {
    for (GxBuffer& buffer : fetch.buffers) {
        gx_buffer_free(buffer);
    }
    fetch.columns = columns;
    fetch.buffers.assign(columns.size(), GxBuffer{});
    fetch.row.assign(columns.empty() ? 0 : static_cast<size_t>(column_count), Cell{});
    fetch.failed = false;
}

const Cell* shape_fetch_row(ShapeFetch& fetch, const Cell* row, int column_count,
                            GxTraceCall trace) {
    std::copy(row, row + column_count, fetch.row.begin());
    for (size_t i = 0; i < fetch.columns.size(); ++i) {
        Cell& cell = fetch.row[static_cast<size_t>(fetch.columns[i])];
        GxBuffer& buffer = fetch.buffers[i];
        switch (shape_from_cell(cell, GxBlobFormats::kStandard, kGxMaxShapeBytes, buffer,
                                fetch.error, trace, nullptr)) {
            case ShapeResult::kNull:
                break;
            case ShapeResult::kShape:
                cell = cell_blob(buffer.data, static_cast<uint32_t>(buffer.length));
                break;
            case ShapeResult::kFailed:
                fetch.failed = true;
                return nullptr;
        }
    }
    return fetch.row.data();
}

static const char* kind_name(CellKind kind) {
    switch (kind) {
        case CellKind::kInteger:
            return "an INTEGER";
        case CellKind::kReal:
            return "a REAL";
        default:
            return "a TEXT";
    }
}

static void trace_call(GxTraceCall trace, void* context, const GxGeometryType& type, size_t bytes) {
    if (trace != nullptr) {
        char name[32];
        gx_geometry_type_name(type, name, sizeof name);
        trace(context, name, bytes);
    }
}

ShapeResult shape_from_cell(const Cell& cell, GxBlobFormats formats, size_t max_bytes,
                            GxBuffer& out, GxError& error, GxTraceCall trace, void* trace_context) {
    if (cell.kind == CellKind::kNull) {
        if (trace != nullptr) {
            trace(trace_context, "NULL", 0);
        }
        return ShapeResult::kNull;
    }
    GxGeometryType type;
    if (cell.kind != CellKind::kBlob) {
        trace_call(trace, trace_context, type, 0);
        error.sql_state = kGxNotABlob;
        std::snprintf(error.message, sizeof error.message,
                      "GX_AsShape takes a geometry BLOB, not %s value.", kind_name(cell.kind));
        return ShapeResult::kFailed;
    }
    if (!gx_geometry_to_shape(cell.blob, cell.length, formats, out, type, error)) {
        trace_call(trace, trace_context, type, 0);
        return ShapeResult::kFailed;
    }
    if (out.length > max_bytes) {
        trace_call(trace, trace_context, type, 0);
        error.sql_state = kGxTooLarge;
        std::snprintf(error.message, sizeof error.message,
                      "The shape of %zu bytes passes the database's value limit of %zu bytes.",
                      out.length, max_bytes);
        return ShapeResult::kFailed;
    }
    trace_call(trace, trace_context, type, out.length);
    return ShapeResult::kShape;
}
