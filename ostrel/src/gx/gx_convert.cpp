// The geometry converter's entry: finds the geometry in its blob, measures it,
// grows the caller's buffer once, and writes the shape record content (see
// gx_shape_build.h for the two passes).

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>

#include "gx/gx_shape.h"
#include "gx/gx_shape_build.h"

bool gx_fail(GxError& error, const char* sql_state, const char* format, ...) {
    error.sql_state = sql_state;
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(error.message, sizeof error.message, format, arguments);
    va_end(arguments);
    return false;
}

const char* gx_kind_name(uint32_t kind) {
    static const char* const kNames[] = {"unknown",
                                         "Point",
                                         "LineString",
                                         "Polygon",
                                         "MultiPoint",
                                         "MultiLineString",
                                         "MultiPolygon",
                                         "GeometryCollection",
                                         "CircularString",
                                         "CompoundCurve",
                                         "CurvePolygon",
                                         "MultiCurve",
                                         "MultiSurface",
                                         "Curve",
                                         "Surface",
                                         "PolyhedralSurface",
                                         "TIN",
                                         "Triangle"};
    return kind <= kGxLastKnownKind ? kNames[kind] : kNames[kGxKindUnknown];
}

void gx_geometry_type_name(const GxGeometryType& type, char* text, size_t text_size) {
    const char* dimensions = type.has_z ? (type.has_m ? " ZM" : " Z") : (type.has_m ? " M" : "");
    if (type.kind == kGxKindUnknown) {
        dimensions = "";
    }
    // Every conversion is named for the trace call, whether the trace writes
    // it or not: the pieces are copied, not printed.
    if (text_size == 0) {
        return;
    }
    size_t used = 0;
    for (const char* piece : {gx_kind_name(type.kind), dimensions}) {
        for (; *piece != '\0' && used + 1 < text_size; ++piece) {
            text[used++] = *piece;
        }
    }
    text[used] = '\0';
}

void gx_buffer_free(GxBuffer& buffer) {
    std::free(buffer.data);
    buffer = GxBuffer{};
}

static bool reserve(GxBuffer& buffer, size_t bytes, GxError& error) {
    if (bytes <= buffer.capacity) {
        return true;
    }
    void* grown = std::realloc(buffer.data, bytes);
    if (grown == nullptr) {
        return gx_fail(error, kGxOutOfMemory, "Out of memory for a shape of %zu bytes.", bytes);
    }
    buffer.data = static_cast<uint8_t*>(grown);
    buffer.capacity = bytes;
    return true;
}

static GxShapeFamily family_of(uint32_t kind) {
    switch (kind) {
        case kGxPoint:
            return GxShapeFamily::kPoint;
        case kGxMultiPoint:
            return GxShapeFamily::kMultiPoint;
        default:
            return GxShapeFamily::kMultiPart;
    }
}

static bool write_null_shape(GxBuffer& out, GxError& error) {
    if (!reserve(out, kNullShapeBytes, error)) {
        return false;
    }
    gx_store_u32(out.data, 0);
    out.length = kNullShapeBytes;
    return true;
}

bool gx_geometry_to_shape(const uint8_t* in, size_t size, GxBlobFormats formats, GxBuffer& out,
                          GxGeometryType& type, GxError& error) {
    out.length = 0;
    type = GxGeometryType{};
    error.sql_state = nullptr;
    error.message[0] = '\0';

    GxGeometrySource source;
    if (!gx_locate_geometry(in, size, formats, source, error)) {
        return false;
    }
    if (source.empty) {
        return write_null_shape(out, error);
    }

    GxShapeBuild build;
    build.error = &error;
    build.type = &type;
    if (!gx_walk_geometry(source, build)) {
        return false;
    }
    const uint64_t points = build.points;
    const uint64_t parts = build.parts;
    if (points == 0) {
        return write_null_shape(out, error);
    }
    build.family = family_of(type.kind);
    size_t bytes = gx_shape_bytes(build.family, type, points, parts);
    if (bytes > kGxMaxShapeBytes) {
        return gx_fail(error, kGxTooLarge, "The %s of %llu points is too large for a shape record.",
                       gx_kind_name(type.kind), static_cast<unsigned long long>(points));
    }
    if (!reserve(out, bytes, error)) {
        return false;
    }
    build.pass = GxPass::kWrite;
    build.out = out.data;
    gx_lay_out_shape(build, points, parts);
    if (build.runs_overflowed) {
        if (!gx_walk_geometry(source, build)) {
            return false;
        }
    } else {
        for (uint32_t run = 0; run < build.recorded_runs; ++run) {
            if (!gx_take_run(build, build.runs[run])) {
                return false;
            }
        }
    }
    out.length = gx_finish_shape(build, points, parts);
    return true;
}
