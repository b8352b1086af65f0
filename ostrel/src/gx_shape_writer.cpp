// Writes shape record content from the point runs the walker hands over:
// counts them in the measure pass, then decodes each run straight into its
// place in the output (X/Y pairs, Z values, M values), computing the ranges,
// the ring's orientation and its closure on the way. Rings come out as
// shapefiles want them: outer rings clockwise, holes counter-clockwise,
// closed.
//
// Degenerate rings (zero area in X/Y, which takes in every ring of fewer than
// four points once closed) have no orientation and enclose nothing; they are
// left out, and so are the holes of a polygon whose exterior is left out.
// Dropping them keeps the unload going and the file valid for strict readers,
// and loses no area.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <limits>

#include "gx_shape_build.h"

// Shape type codes.
constexpr uint32_t kShapeNull = 0;
constexpr uint32_t kShapePoint = 1;
constexpr uint32_t kShapePolyLine = 3;
constexpr uint32_t kShapePolygon = 5;
constexpr uint32_t kShapeMultiPoint = 8;
constexpr uint32_t kShapePointZ = 11;
constexpr uint32_t kShapePolyLineZ = 13;
constexpr uint32_t kShapePolygonZ = 15;
constexpr uint32_t kShapeMultiPointZ = 18;
constexpr uint32_t kShapePointM = 21;
constexpr uint32_t kShapePolyLineM = 23;
constexpr uint32_t kShapePolygonM = 25;
constexpr uint32_t kShapeMultiPointM = 28;

// Record content layout.
constexpr size_t kTypeBytes = 4;
constexpr size_t kBoxBytes = 4 * kGxDoubleBytes;
constexpr size_t kCountFieldBytes = 4;
constexpr size_t kBoxAt = kTypeBytes;
constexpr size_t kMultiPointCountAt = kBoxAt + kBoxBytes;                      // 36
constexpr size_t kMultiPointPointsAt = kMultiPointCountAt + kCountFieldBytes;  // 40
constexpr size_t kPartCountAt = kBoxAt + kBoxBytes;                            // 36
constexpr size_t kPartPointCountAt = kPartCountAt + kCountFieldBytes;          // 40
constexpr size_t kPartIndexesAt = kPartPointCountAt + kCountFieldBytes;        // 44
constexpr size_t kPartIndexBytes = 4;
constexpr size_t kXYBytes = 2 * kGxDoubleBytes;
constexpr size_t kRangeBytes = 2 * kGxDoubleBytes;
constexpr size_t kPointXAt = kTypeBytes;
constexpr size_t kPointZOrMAt = kPointXAt + kXYBytes;  // Z (11) or M (21)

// A measure below -1e38 means "no data" to shapefile readers.
constexpr double kNoDataMeasure = -1e39;

GxBounds gx_empty_bounds() {
    const double inf = std::numeric_limits<double>::infinity();
    return GxBounds{inf, inf, -inf, -inf, inf, -inf, inf, -inf};
}

static void widen(double value, double& low, double& high) {
    low = value < low ? value : low;
    high = value > high ? value : high;
}

static void merge_bounds(GxBounds& into, const GxBounds& run) {
    widen(run.xmin, into.xmin, into.xmax);
    widen(run.xmax, into.xmin, into.xmax);
    widen(run.ymin, into.ymin, into.ymax);
    widen(run.ymax, into.ymin, into.ymax);
    widen(run.zmin, into.zmin, into.zmax);
    widen(run.zmax, into.zmin, into.zmax);
    widen(run.mmin, into.mmin, into.mmax);
    widen(run.mmax, into.mmin, into.mmax);
}

static uint32_t shape_type_code(uint32_t kind, bool has_z, bool has_m) {
    switch (kind) {
        case kGxPoint:
            return has_z ? kShapePointZ : has_m ? kShapePointM : kShapePoint;
        case kGxMultiPoint:
            return has_z ? kShapeMultiPointZ : has_m ? kShapeMultiPointM : kShapeMultiPoint;
        case kGxLineString:
        case kGxMultiLineString:
            return has_z ? kShapePolyLineZ : has_m ? kShapePolyLineM : kShapePolyLine;
        default:
            return has_z ? kShapePolygonZ : has_m ? kShapePolygonM : kShapePolygon;
    }
}

// ---------------------------------------------------------------------------
// Decoding one run into the output.

namespace {

// Where a run's points go and what they add up to.
struct RunCopy {
    uint8_t* xy = nullptr;
    uint8_t* z = nullptr;  // the output's Z values for this run (when it has Z)
    uint8_t* m = nullptr;  // the output's M values (when it has M)
    GxBounds bounds = gx_empty_bounds();
    double x0 = 0, y0 = 0;  // first point, origin of the area sum
    double last_dx = 0, last_dy = 0;
    double twice_area = 0;  // positive counter-clockwise
    double not_finite = 0;  // stays 0 while every X, Y, Z is finite
};

}  // namespace

template <bool kZ, bool kM>
static inline void put_point(RunCopy& copy, uint32_t index, double x, double y, double z,
                             double m) {
    // x * 0 is 0 for a finite x and NaN for NaN or an infinity: one sum
    // checks every coordinate without a branch.
    copy.not_finite += x * 0.0 + y * 0.0;
    widen(x, copy.bounds.xmin, copy.bounds.xmax);
    widen(y, copy.bounds.ymin, copy.bounds.ymax);
    gx_store_double(copy.xy + index * kXYBytes, x);
    gx_store_double(copy.xy + index * kXYBytes + kGxDoubleBytes, y);
    double dx = x - copy.x0;
    double dy = y - copy.y0;
    copy.twice_area += copy.last_dx * dy - dx * copy.last_dy;
    copy.last_dx = dx;
    copy.last_dy = dy;
    if (kZ) {
        copy.not_finite += z * 0.0;
        widen(z, copy.bounds.zmin, copy.bounds.zmax);
        gx_store_double(copy.z + index * kGxDoubleBytes, z);
    }
    if (kM) {
        if (!std::isfinite(m)) {
            m = kNoDataMeasure;
        }
        widen(m, copy.bounds.mmin, copy.bounds.mmax);
        gx_store_double(copy.m + index * kGxDoubleBytes, m);
    }
}

template <bool kZ, bool kM>
static void copy_full_points(const GxPointRun& run, RunCopy& copy) {
    const bool big_endian = run.layout.big_endian;
    const size_t stride = gx_full_point_bytes(run.layout);
    const uint8_t* at = run.first;
    copy.x0 = gx_load_double(at, big_endian);
    copy.y0 = gx_load_double(at + kGxDoubleBytes, big_endian);
    for (uint32_t index = 0; index < run.count; ++index, at += stride) {
        double x = gx_load_double(at, big_endian);
        double y = gx_load_double(at + kGxDoubleBytes, big_endian);
        double z = kZ ? gx_load_double(at + 2 * kGxDoubleBytes, big_endian) : 0.0;
        double m = kM ? gx_load_double(at + (2 + kZ) * kGxDoubleBytes, big_endian) : 0.0;
        put_point<kZ, kM>(copy, index, x, y, z, m);
    }
}

// SpatiaLite's compressed vertices: each float offset adds to the vertex
// before, as decoded (not as stored), the way SpatiaLite itself reads them.
template <bool kZ, bool kM>
static void copy_compressed_points(const GxPointRun& run, RunCopy& copy) {
    const bool big_endian = run.layout.big_endian;
    const uint8_t* at = run.first;
    double x = 0, y = 0, z = 0, m = 0;
    for (uint32_t index = 0; index < run.count; ++index) {
        if (index == 0 || index == run.count - 1) {
            x = gx_load_double(at, big_endian);
            y = gx_load_double(at + kGxDoubleBytes, big_endian);
            at += 2 * kGxDoubleBytes;
            if (kZ) {
                z = gx_load_double(at, big_endian);
                at += kGxDoubleBytes;
            }
        } else {
            x += gx_load_float(at, big_endian);
            y += gx_load_float(at + kGxFloatBytes, big_endian);
            at += 2 * kGxFloatBytes;
            if (kZ) {
                z += gx_load_float(at, big_endian);
                at += kGxFloatBytes;
            }
        }
        if (kM) {
            m = gx_load_double(at, big_endian);
            at += kGxDoubleBytes;
        }
        if (index == 0) {
            copy.x0 = x;
            copy.y0 = y;
        }
        put_point<kZ, kM>(copy, index, x, y, z, m);
    }
}

static void copy_points(const GxPointRun& run, RunCopy& copy) {
    const bool z = run.layout.has_z;
    const bool m = run.layout.has_m;
    if (run.layout.compressed) {
        return z ? (m ? copy_compressed_points<true, true>(run, copy)
                      : copy_compressed_points<true, false>(run, copy))
                 : (m ? copy_compressed_points<false, true>(run, copy)
                      : copy_compressed_points<false, false>(run, copy));
    }
    return z ? (m ? copy_full_points<true, true>(run, copy)
                  : copy_full_points<true, false>(run, copy))
             : (m ? copy_full_points<false, true>(run, copy)
                  : copy_full_points<false, false>(run, copy));
}

// Names the first X, Y or Z of the run that is not finite.
static bool fail_not_finite(GxShapeBuild& build, const GxPointRun& run, const RunCopy& copy) {
    for (uint32_t index = 0; index < run.count; ++index) {
        const double values[3] = {
            gx_load_double(copy.xy + index * kXYBytes, false),
            gx_load_double(copy.xy + index * kXYBytes + kGxDoubleBytes, false),
            copy.z ? gx_load_double(copy.z + index * kGxDoubleBytes, false) : 0.0};
        for (int axis = 0; axis < 3; ++axis) {
            if (!std::isfinite(values[axis])) {
                return gx_fail(*build.error, kGxNotFinite,
                               "Coordinate not finite: %c of point %u of the %s at byte %zu is "
                               "%s; a shapefile cannot hold it.",
                               "XYZ"[axis], index + 1, gx_kind_name(build.type->kind),
                               run.blob_offset, std::isnan(values[axis]) ? "NaN" : "infinite");
            }
        }
    }
    return gx_fail(*build.error, kGxNotFinite, "Coordinate not finite in the %s at byte %zu.",
                   gx_kind_name(build.type->kind), run.blob_offset);
}

// Reverses count points in place: X/Y pairs, Z values, M values.
static void reverse_points(RunCopy& copy, uint32_t count) {
    for (uint32_t low = 0, high = count - 1; low < high; ++low, --high) {
        uint8_t swap[kXYBytes];
        std::memcpy(swap, copy.xy + low * kXYBytes, kXYBytes);
        std::memcpy(copy.xy + low * kXYBytes, copy.xy + high * kXYBytes, kXYBytes);
        std::memcpy(copy.xy + high * kXYBytes, swap, kXYBytes);
        for (uint8_t* values : {copy.z, copy.m}) {
            if (values) {
                std::memcpy(swap, values + low * kGxDoubleBytes, kGxDoubleBytes);
                std::memcpy(values + low * kGxDoubleBytes, values + high * kGxDoubleBytes,
                            kGxDoubleBytes);
                std::memcpy(values + high * kGxDoubleBytes, swap, kGxDoubleBytes);
            }
        }
    }
}

// Appends the ring's first point after its last when they differ in X/Y,
// by the same test as ring_is_closed, which counted the room for it.
static uint32_t close_ring(RunCopy& copy, uint32_t count) {
    const uint8_t* last = copy.xy + (count - 1) * kXYBytes;
    if (gx_load_double(copy.xy, false) == gx_load_double(last, false) &&
        gx_load_double(copy.xy + kGxDoubleBytes, false) ==
            gx_load_double(last + kGxDoubleBytes, false)) {
        return count;
    }
    std::memcpy(copy.xy + count * kXYBytes, copy.xy, kXYBytes);
    for (uint8_t* values : {copy.z, copy.m}) {
        if (values) {
            std::memcpy(values + count * kGxDoubleBytes, values, kGxDoubleBytes);
        }
    }
    return count + 1;
}

// ---------------------------------------------------------------------------
// Measure pass.

static bool point_is_empty(const GxPointRun& run) {
    const bool big_endian = run.layout.big_endian;
    return std::isnan(gx_load_double(run.first, big_endian)) &&
           std::isnan(gx_load_double(run.first + kGxDoubleBytes, big_endian)) &&
           (!run.layout.has_z || std::isnan(gx_load_double(run.first + kXYBytes, big_endian)));
}

// Same test as close_ring's, on the input: first and last are full points in
// every layout, bitwise the same as once written.
static bool ring_is_closed(const GxPointRun& run) {
    if (run.count <= 1) {
        return true;
    }
    const uint8_t* last =
        run.first + gx_run_bytes(run.layout, run.count) - gx_full_point_bytes(run.layout);
    const bool big_endian = run.layout.big_endian;
    return gx_load_double(run.first, big_endian) == gx_load_double(last, big_endian) &&
           gx_load_double(run.first + kGxDoubleBytes, big_endian) ==
               gx_load_double(last + kGxDoubleBytes, big_endian);
}

void gx_begin_polygon(GxShapeBuild& build) {
    build.next_ring_is_exterior = true;
    build.skipping_polygon = false;
}

// Rings after an empty exterior, and empty rings, are left out in both passes.
static bool ring_left_out(GxShapeBuild& build, const GxPointRun& run, bool& exterior) {
    exterior = build.next_ring_is_exterior;
    build.next_ring_is_exterior = false;
    if (exterior) {
        build.skipping_polygon = run.count == 0;
    }
    return build.skipping_polygon || run.count == 0;
}

static void measure_run(GxShapeBuild& build, const GxPointRun& run) {
    bool exterior = false;
    switch (run.role) {
        case GxRunRole::kPoint:
            build.points += point_is_empty(run) ? 0 : 1;
            break;
        case GxRunRole::kLine:
            if (run.count > 0) {
                build.parts += 1;
                build.points += run.count;
            }
            break;
        case GxRunRole::kRing:
            if (!ring_left_out(build, run, exterior)) {
                build.parts += 1;
                build.points += run.count + (ring_is_closed(run) ? 0 : 1);
            }
            break;
    }
}

// ---------------------------------------------------------------------------
// Write pass.

static bool write_lone_point(GxShapeBuild& build, const GxPointRun& run) {
    RunCopy copy;
    uint8_t z_and_m[2 * kGxDoubleBytes];
    copy.xy = build.out + kPointXAt;
    copy.z = z_and_m;
    copy.m = z_and_m + kGxDoubleBytes;
    copy_points(run, copy);
    if (copy.not_finite != 0) {
        return fail_not_finite(build, run, copy);
    }
    uint8_t* after_xy = build.out + kPointZOrMAt;
    if (run.layout.has_z) {
        std::memcpy(after_xy, copy.z, kGxDoubleBytes);
        after_xy += kGxDoubleBytes;
    }
    if (run.layout.has_m) {
        std::memcpy(after_xy, copy.m, kGxDoubleBytes);
    } else if (run.layout.has_z) {
        gx_store_double(after_xy, 0.0);  // PointZ always carries its M
    }
    build.points = 1;
    return true;
}

bool gx_take_run(GxShapeBuild& build, const GxPointRun& run) {
    if (build.pass == GxPass::kMeasure) {
        measure_run(build, run);
        return true;
    }
    bool exterior = false;
    if (run.role == GxRunRole::kPoint) {
        if (point_is_empty(run)) {
            return true;
        }
        if (build.family == GxShapeFamily::kPoint) {
            return write_lone_point(build, run);
        }
    } else if (run.role == GxRunRole::kLine ? run.count == 0
                                            : ring_left_out(build, run, exterior)) {
        return true;
    }

    RunCopy copy;
    const uint64_t first = build.points;
    copy.xy = build.out + build.xy_at + first * kXYBytes;
    copy.z = run.layout.has_z ? build.out + build.z_at + first * kGxDoubleBytes : nullptr;
    copy.m = run.layout.has_m ? build.out + build.m_at + first * kGxDoubleBytes : nullptr;
    copy_points(run, copy);
    if (copy.not_finite != 0) {
        return fail_not_finite(build, run, copy);
    }
    uint32_t written = run.count;
    if (run.role == GxRunRole::kRing) {
        if (copy.twice_area == 0) {
            build.skipping_polygon |= exterior;
            return true;
        }
        written = close_ring(copy, run.count);
        // Shapefile rings turn the other way from the mathematical sense:
        // outer rings clockwise (negative area), holes counter-clockwise.
        if ((copy.twice_area > 0) == exterior) {
            reverse_points(copy, written);
        }
    }
    if (run.role != GxRunRole::kPoint) {
        gx_store_u32(build.out + build.parts_at + build.parts * kPartIndexBytes,
                     static_cast<uint32_t>(first));
        build.parts += 1;
    }
    build.points += written;
    merge_bounds(build.bounds, copy.bounds);
    return true;
}

// ---------------------------------------------------------------------------
// Layout.

size_t gx_shape_bytes(GxShapeFamily family, const GxGeometryType& type, uint64_t points,
                      uint64_t parts) {
    if (points == 0) {
        return kTypeBytes;
    }
    if (family == GxShapeFamily::kPoint) {
        return kPointZOrMAt + (type.has_z ? kGxDoubleBytes : 0) +
               (type.has_z || type.has_m ? kGxDoubleBytes : 0);
    }
    uint64_t bytes = family == GxShapeFamily::kMultiPoint
                         ? kMultiPointPointsAt
                         : kPartIndexesAt + parts * kPartIndexBytes;
    bytes += points * kXYBytes;
    bytes += type.has_z ? kRangeBytes + points * kGxDoubleBytes : 0;
    bytes += type.has_m ? kRangeBytes + points * kGxDoubleBytes : 0;
    return bytes > kGxMaxShapeBytes ? kGxMaxShapeBytes + 1 : static_cast<size_t>(bytes);
}

// Section offsets for points and parts (the measured counts, or fewer).
static void place_sections(GxShapeBuild& build, uint64_t points, uint64_t parts) {
    build.parts_at = kPartIndexesAt;
    build.xy_at = build.family == GxShapeFamily::kMultiPoint
                      ? kMultiPointPointsAt
                      : kPartIndexesAt + parts * kPartIndexBytes;
    size_t after = build.xy_at + points * kXYBytes;
    if (build.type->has_z) {
        build.z_at = after + kRangeBytes;
        after = build.z_at + points * kGxDoubleBytes;
    }
    build.m_at = after + kRangeBytes;
}

void gx_lay_out_shape(GxShapeBuild& build, uint64_t points, uint64_t parts) {
    place_sections(build, points, parts);
    build.points = 0;
    build.parts = 0;
    build.bounds = gx_empty_bounds();
}

size_t gx_finish_shape(GxShapeBuild& build, uint64_t measured_points, uint64_t measured_parts) {
    uint8_t* out = build.out;
    const GxGeometryType& type = *build.type;
    if (build.points == 0) {
        gx_store_u32(out, kShapeNull);
        return kTypeBytes;
    }
    gx_store_u32(out, shape_type_code(type.kind, type.has_z, type.has_m));
    if (build.family == GxShapeFamily::kPoint) {
        return gx_shape_bytes(build.family, type, 1, 0);
    }
    if (build.points < measured_points || build.parts < measured_parts) {
        // Degenerate rings were left out: move the sections up to close the
        // gaps, in order, each to no later than where it was.
        GxShapeBuild measured = build;
        place_sections(build, build.points, build.parts);
        std::memmove(out + build.xy_at, out + measured.xy_at, build.points * kXYBytes);
        if (type.has_z) {
            std::memmove(out + build.z_at, out + measured.z_at, build.points * kGxDoubleBytes);
        }
        if (type.has_m) {
            std::memmove(out + build.m_at, out + measured.m_at, build.points * kGxDoubleBytes);
        }
    }
    const GxBounds& bounds = build.bounds;
    gx_store_double(out + kBoxAt, bounds.xmin);
    gx_store_double(out + kBoxAt + 8, bounds.ymin);
    gx_store_double(out + kBoxAt + 16, bounds.xmax);
    gx_store_double(out + kBoxAt + 24, bounds.ymax);
    if (build.family == GxShapeFamily::kMultiPoint) {
        gx_store_u32(out + kMultiPointCountAt, static_cast<uint32_t>(build.points));
    } else {
        gx_store_u32(out + kPartCountAt, static_cast<uint32_t>(build.parts));
        gx_store_u32(out + kPartPointCountAt, static_cast<uint32_t>(build.points));
    }
    if (type.has_z) {
        gx_store_double(out + build.z_at - kRangeBytes, bounds.zmin);
        gx_store_double(out + build.z_at - kGxDoubleBytes, bounds.zmax);
    }
    if (type.has_m) {
        gx_store_double(out + build.m_at - kRangeBytes, bounds.mmin);
        gx_store_double(out + build.m_at - kGxDoubleBytes, bounds.mmax);
    }
    return gx_shape_bytes(build.family, type, build.points, build.parts);
}
