// Writes shape record content from the point runs the walker hands over:
// counts them in the measure pass, then has each run decoded straight into
// its place in the output (gx_run_copy.cpp) and settles what becomes of it:
// empty members and rings left out, rings closed and turned as shapefiles
// want them (outer rings clockwise, holes counter-clockwise), parts indexed,
// ranges merged; finally the header values and the null shape.
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

#include "gx/gx_shape_build.h"

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

// Names the first X, Y or Z of the run that is not finite.
static bool fail_not_finite(GxShapeBuild& build, const GxPointRun& run, const GxRunCopy& copy) {
    uint32_t index = 0;
    bool is_nan = false;
    int axis = gx_first_not_finite(copy, run.count, &index, &is_nan);
    return gx_fail(*build.error, kGxNotFinite,
                   "Coordinate not finite: %c of point %u of the %s at byte %zu is %s; a "
                   "shapefile cannot hold it.",
                   "XYZ"[axis < 0 ? 0 : axis], index + 1, gx_kind_name(build.type->kind),
                   run.blob_offset, is_nan ? "NaN" : "infinite");
}

// ---------------------------------------------------------------------------
// Measure pass.

static bool point_is_empty(const GxPointRun& run) {
    const bool big_endian = run.layout.big_endian;
    return std::isnan(gx_load_double(run.first, big_endian)) &&
           std::isnan(gx_load_double(run.first + kGxDoubleBytes, big_endian)) &&
           (!run.layout.has_z || std::isnan(gx_load_double(run.first + kXYBytes, big_endian)));
}

// Same test as gx_close_ring's, on the input: first and last are full points in
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

// Empty rings, and every ring of a polygon whose exterior is empty, are left
// out in both passes.
static bool ring_left_out(GxShapeBuild& build, const GxPointRun& run) {
    if (run.role == GxRunRole::kExteriorRing) {
        build.skipping_polygon = run.count == 0;
    }
    return build.skipping_polygon || run.count == 0;
}

static void measure_run(GxShapeBuild& build, const GxPointRun& run) {
    if (build.recorded_runs < GxShapeBuild::kRecordedRuns) {
        // Field by field: the run was just written that way, and a wider
        // copy would wait for those stores to drain.
        GxPointRun& record = build.runs[build.recorded_runs++];
        record.first = run.first;
        record.count = run.count;
        record.layout = run.layout;
        record.role = run.role;
        record.blob_offset = run.blob_offset;
    } else {
        build.runs_overflowed = true;
    }
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
        case GxRunRole::kExteriorRing:
        case GxRunRole::kInteriorRing:
            if (!ring_left_out(build, run)) {
                build.parts += 1;
                build.points += run.count + (ring_is_closed(run) ? 0 : 1);
            }
            break;
    }
}

// ---------------------------------------------------------------------------
// Write pass.

static bool write_lone_point(GxShapeBuild& build, const GxPointRun& run) {
    GxRunCopy copy;
    uint8_t z_and_m[2 * kGxDoubleBytes];
    copy.xy = build.out + kPointXAt;
    copy.z = z_and_m;
    copy.m = z_and_m + kGxDoubleBytes;
    gx_copy_run(run, copy);
    if (!copy.all_finite) {
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
    const bool ring = run.role == GxRunRole::kExteriorRing || run.role == GxRunRole::kInteriorRing;
    if (run.role == GxRunRole::kPoint) {
        if (point_is_empty(run)) {
            return true;
        }
        if (build.family == GxShapeFamily::kPoint) {
            return write_lone_point(build, run);
        }
    } else if (ring ? ring_left_out(build, run) : run.count == 0) {
        return true;
    }

    GxRunCopy copy;
    const uint64_t first = build.points;
    copy.xy = build.out + build.xy_at + first * kXYBytes;
    copy.z = run.layout.has_z ? build.out + build.z_at + first * kGxDoubleBytes : nullptr;
    copy.m = run.layout.has_m ? build.out + build.m_at + first * kGxDoubleBytes : nullptr;
    gx_copy_run(run, copy);
    if (!copy.all_finite) {
        return fail_not_finite(build, run, copy);
    }
    uint32_t written = run.count;
    if (ring) {
        const bool exterior = run.role == GxRunRole::kExteriorRing;
        if (copy.twice_area == 0) {
            build.skipping_polygon = exterior;
            return true;
        }
        written = gx_close_ring(copy, run.count);
        // Shapefile rings turn the other way from the mathematical sense:
        // outer rings clockwise (negative area), holes counter-clockwise.
        if ((copy.twice_area > 0) == exterior) {
            gx_reverse_points(copy, written);
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
        const size_t measured_xy_at = build.xy_at;
        const size_t measured_z_at = build.z_at;
        const size_t measured_m_at = build.m_at;
        place_sections(build, build.points, build.parts);
        std::memmove(out + build.xy_at, out + measured_xy_at, build.points * kXYBytes);
        if (type.has_z) {
            std::memmove(out + build.z_at, out + measured_z_at, build.points * kGxDoubleBytes);
        }
        if (type.has_m) {
            std::memmove(out + build.m_at, out + measured_m_at, build.points * kGxDoubleBytes);
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
