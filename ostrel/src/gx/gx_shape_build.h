// Inside the geometry converter: how the encoding readers hand point runs to
// the shape writer.
//
// The converter makes two passes over its input. Both walk the geometry's
// structure (headers, counts) the same way and hand each run of points (a
// point, a line, a ring) to the shape build. The measure pass only counts what
// will be written, so the output can be laid out and grown once; the write
// pass decodes the coordinates straight into their place in the output. The
// walker checks every count against the bytes that remain before a run is
// handed over, so the build reads runs without further checks.

#ifndef OSTREL_GX_SHAPE_BUILD_H
#define OSTREL_GX_SHAPE_BUILD_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "common/byte_order.h"
#include "common/shape_format.h"
#include "gx/gx_shape.h"

// ---------------------------------------------------------------------------
// Byte order: the input's is its own, the output's always little-endian.

inline uint32_t gx_load_u32(const uint8_t* at, bool big_endian) {
    return byte_order::load<uint32_t>(at, big_endian);
}
inline double gx_load_double(const uint8_t* at, bool big_endian) {
    return byte_order::load<double>(at, big_endian);
}
inline void gx_store_u32(uint8_t* at, uint32_t value) {
    byte_order::store(at, value, false);
}
inline void gx_store_double(uint8_t* at, double value) {
    byte_order::store(at, value, false);
}

// ---------------------------------------------------------------------------
// Point runs.

// How a run's points are stored: full points are doubles (2 to 4 of them);
// SpatiaLite's compressed lines and rings store their first and last vertex
// full and every vertex between as float offsets from the one before (X, Y
// and Z as floats, M as a double).
struct GxPointLayout {
    bool has_z = false;
    bool has_m = false;
    bool big_endian = false;
    bool compressed = false;
};

constexpr size_t kGxDoubleBytes = 8;
constexpr size_t kGxFloatBytes = 4;

inline size_t gx_full_point_bytes(const GxPointLayout& layout) {
    return kGxDoubleBytes * (2 + layout.has_z + layout.has_m);
}
inline size_t gx_packed_point_bytes(const GxPointLayout& layout) {
    return kGxFloatBytes * (2 + layout.has_z) + kGxDoubleBytes * layout.has_m;
}
// Bytes of a run of count points, in 64 bits so that no count overflows it.
inline uint64_t gx_run_bytes(const GxPointLayout& layout, uint64_t count) {
    if (layout.compressed && count >= 2) {
        return 2 * gx_full_point_bytes(layout) + (count - 2) * gx_packed_point_bytes(layout);
    }
    return count * gx_full_point_bytes(layout);
}

enum class GxRunRole { kPoint, kLine, kExteriorRing, kInteriorRing };

// Filled in full by the walker (no default values: the build keeps an array
// of them that is not worth clearing on every call).
struct GxPointRun {
    const uint8_t* first;  // first byte of the first point
    uint32_t count;
    GxPointLayout layout;
    GxRunRole role;
    size_t blob_offset;  // of the run's geometry, for messages
};

// ---------------------------------------------------------------------------
// The shape build.

enum class GxPass { kMeasure, kWrite };
enum class GxShapeFamily { kPoint, kMultiPoint, kMultiPart };

// Ranges of the values written. Minima start at +inf and maxima at -inf, so
// the first value sets both.
struct GxBounds {
    double xmin, ymin, xmax, ymax, zmin, zmax, mmin, mmax;
};
inline GxBounds gx_empty_bounds() {
    constexpr double kInf = std::numeric_limits<double>::infinity();
    return GxBounds{kInf, kInf, -kInf, -kInf, kInf, -kInf, kInf, -kInf};
}

// One run decoded into the output (gx_run_copy.cpp).
// The power of two that coordinates beyond about 1e154 are scaled by for a
// ring's area, so that no product overflows.
constexpr int kGxAreaScale = -600;

struct GxRunCopy {
    uint8_t* xy = nullptr;  // where the run's first X goes
    uint8_t* z = nullptr;   // its first Z, when the output has Z
    uint8_t* m = nullptr;   // its first M, when the output has M
    // Filled by gx_copy_run:
    GxBounds bounds;
    double twice_area = 0;     // signed, positive counter-clockwise
    bool area_scaled = false;  // twice_area is of coordinates scaled by kGxAreaScale
    bool all_finite = true;
};

// A measure below -1e38 means "no data" to shapefile readers: a NaN or
// infinite measure is written as kNoDataMeasure, and so is the M of a
// PointZ without measures and the M range of a shape that has none.

// Decodes the run's points to copy.xy, copy.z, copy.m (measures that are no
// data become kNoDataMeasure and stay out of the M range) and fills in its
// sums.
void gx_copy_run(const GxPointRun& run, GxRunCopy& copy);
// The axis (0 X, 1 Y, 2 Z) of the first coordinate of the copied run that is
// NaN or infinite, with its point index and kind; -1 when there is none.
int gx_first_not_finite(const GxRunCopy& copy, uint32_t count, uint32_t* index, bool* is_nan);
// Reverses the count copied points in place.
void gx_reverse_points(GxRunCopy& copy, uint32_t count);
// Appends the first point after the last when they differ in X or Y (room
// for it was counted by the measure pass); returns the new count.
uint32_t gx_close_ring(GxRunCopy& copy, uint32_t count);

struct GxShapeBuild {
    GxPass pass = GxPass::kMeasure;
    GxError* error = nullptr;
    GxGeometryType* type = nullptr;  // the top-level geometry, as far as read

    // Counted by the measure pass; counted again while written.
    uint64_t points = 0;
    uint64_t parts = 0;
    // The polygon being read has an empty exterior ring: it is left out, and
    // a hole after it refuses the geometry.
    bool empty_exterior = false;

    // The measure pass records the runs it is handed, so that the write pass
    // can replay them instead of walking the input again; a geometry of more
    // runs is walked twice.
    static constexpr uint32_t kRecordedRuns = 16;
    GxPointRun runs[kRecordedRuns];
    uint32_t recorded_runs = 0;
    bool runs_overflowed = false;

    // Write pass: the output laid out for the measured counts.
    GxShapeFamily family = GxShapeFamily::kPoint;
    uint8_t* out = nullptr;
    size_t xy_at = 0;     // first point's X
    size_t z_at = 0;      // first Z (its range 16 bytes before it)
    size_t m_at = 0;      // first M (its range 16 bytes before it)
    size_t parts_at = 0;  // first part index
    GxBounds bounds = gx_empty_bounds();
};

// Takes one run of points: counts it (measure pass) or writes it (write
// pass). False with build.error filled when a coordinate cannot be written.
bool gx_take_run(GxShapeBuild& build, const GxPointRun& run);

// Walks the geometry in [at, end) and hands its runs to the build. The
// geometry must fill the range exactly. blob is the start of the whole input,
// for offsets in messages. False with build.error filled for malformed input.
enum class GxDialect { kWkb, kSpatiaLite, kTinyPoint };
struct GxGeometrySource {
    const uint8_t* blob = nullptr;
    const uint8_t* at = nullptr;
    const uint8_t* end = nullptr;
    GxDialect dialect = GxDialect::kWkb;
    bool big_endian = false;  // SpatiaLite: the whole blob's byte order
    bool empty = false;       // a GeoPackage blob flagged empty with no geometry after it
};
bool gx_walk_geometry(const GxGeometrySource& source, GxShapeBuild& build);

// Finds the geometry inside the blob's wrapping (GeoPackage header, SpatiaLite
// header and end mark) or takes the blob as WKB. False with error filled for
// a bad header.
bool gx_locate_geometry(const uint8_t* in, size_t size, GxBlobFormats formats,
                        GxGeometrySource& source, GxError& error);

// Lays out the output once the measure pass has counted it, and writes the
// header values after the write pass. See gx_shape_writer.cpp.
size_t gx_shape_bytes(GxShapeFamily family, const GxGeometryType& type, uint64_t points,
                      uint64_t parts);
void gx_lay_out_shape(GxShapeBuild& build, uint64_t points, uint64_t parts);
size_t gx_finish_shape(GxShapeBuild& build, uint64_t measured_points, uint64_t measured_parts);

// Fills error and returns false.
bool gx_fail(GxError& error, const char* sql_state, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// "Point", "MultiPolygon", "CircularString", "unknown".
const char* gx_kind_name(uint32_t kind);

#endif
