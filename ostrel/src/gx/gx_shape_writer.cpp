// Writes shape record content from the point runs the walker hands over:
// counts them in the measure pass, then has each run decoded straight into
// its place in the output (gx_run_copy.cpp) and settles what becomes of it:
// empty members and rings left out, rings closed and turned as shapefiles
// want them (outer rings clockwise, holes counter-clockwise), parts indexed,
// ranges merged; finally the header values and the null shape.
//
// Every ring with points is written: a row's geometry is never dropped. A
// ring of zero or tiny area (a "bow-tie" whose lobes cancel, a ring of
// fewer than four points once closed, a sliver) has no orientation its area
// can be trusted for; it takes the one of its turn at its lowest, then
// leftmost vertex, which is a corner of its hull and so gives a simple ring's
// true orientation, and the same answer for the same ring whatever the
// rounding; a ring that has no turn there (all its points on one line) keeps
// the order it came in. An empty polygon is left out; holes after an empty
// exterior ring have nowhere to go, and the geometry is refused.

#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gx/gx_shape_build.h"

// Minimum with minimum, maximum with maximum: a run without measures has the
// empty M range (+inf, -inf), which then changes nothing.
static void merge_range(double run_low, double run_high, double& low, double& high) {
    low = run_low < low ? run_low : low;
    high = run_high > high ? run_high : high;
}

static void merge_bounds(GxBounds& into, const GxBounds& run) {
    merge_range(run.xmin, run.xmax, into.xmin, into.xmax);
    merge_range(run.ymin, run.ymax, into.ymin, into.ymax);
    merge_range(run.zmin, run.zmax, into.zmin, into.zmax);
    merge_range(run.mmin, run.mmax, into.mmin, into.mmax);
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

// Empty rings are left out in both passes; the measure pass refuses a hole
// with points after an empty exterior.
static bool ring_left_out(GxShapeBuild& build, const GxPointRun& run) {
    if (run.role == GxRunRole::kExteriorRing) {
        build.empty_exterior = run.count == 0;
    }
    return run.count == 0;
}

static bool holes_without_exterior(GxShapeBuild& build, const GxPointRun& run) {
    return gx_fail(*build.error, kGxHolesWithoutExterior,
                   "Polygon at byte %zu has an empty exterior ring and a hole of %u points; a "
                   "shapefile cannot place the hole.",
                   run.blob_offset, run.count);
}

static bool measure_run(GxShapeBuild& build, const GxPointRun& run) {
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
                if (build.empty_exterior) {
                    return holes_without_exterior(build, run);
                }
                build.parts += 1;
                build.points += run.count + (ring_is_closed(run) ? 0 : 1);
            }
            break;
    }
    return true;
}

// The orientation of a closed ring of count points (the last repeats the
// first): +1 counter-clockwise, -1 clockwise, 0 for none. Only for rings
// whose area does not tell (see the top of this file).
static int turn_at_lowest_vertex(const GxRunCopy& copy, uint32_t count) {
    auto x = [&](uint32_t i) { return gx_load_double(copy.xy + i * kXYBytes, false); };
    auto y = [&](uint32_t i) { return gx_load_double(copy.xy + i * kXYBytes + 8, false); };
    const uint32_t n = count - 1;  // the points without the closing repeat
    if (n < 3) {
        return 0;
    }
    uint32_t low = 0;
    for (uint32_t i = 1; i < n; ++i) {
        if (y(i) < y(low) || (y(i) == y(low) && x(i) < x(low))) {
            low = i;
        }
    }
    auto same = [&](uint32_t i) { return x(i) == x(low) && y(i) == y(low); };
    uint32_t prev = (low + n - 1) % n;
    while (prev != low && same(prev)) {
        prev = (prev + n - 1) % n;
    }
    uint32_t next = (low + 1) % n;
    while (next != low && same(next)) {
        next = (next + 1) % n;
    }
    double cross =
        (x(low) - x(prev)) * (y(next) - y(low)) - (y(low) - y(prev)) * (x(next) - x(low));
    return cross > 0 ? 1 : cross < 0 ? -1 : 0;
}

// Below this share of its box's area, a ring's area is taken as rounding.
constexpr double kTinyAreaShare = 0x1p-40;

static int ring_orientation(const GxRunCopy& copy, uint32_t count) {
    const GxBounds& box = copy.bounds;
    double box_area = (box.xmax - box.xmin) * (box.ymax - box.ymin);
    double twice_area = copy.twice_area;
    if (copy.area_scaled || !std::isfinite(box_area)) {
        // Beyond about 1e154 the box's area overflows as the ring's did: both
        // are compared at the scale of the ring's area.
        auto scaled = [](double value) { return std::ldexp(value, kGxAreaScale); };
        box_area = (scaled(box.xmax) - scaled(box.xmin)) * (scaled(box.ymax) - scaled(box.ymin));
        if (!copy.area_scaled) {
            twice_area = scaled(scaled(twice_area));
        }
    }
    if (std::fabs(twice_area) > kTinyAreaShare * 2 * box_area) {
        return twice_area > 0 ? 1 : -1;
    }
    return turn_at_lowest_vertex(copy, count);
}

// ---------------------------------------------------------------------------
// Write pass.

static bool write_lone_point(GxShapeBuild& build, const GxPointRun& run) {
    GxRunCopy copy;
    uint8_t z_and_m[2 * kGxDoubleBytes];
    copy.xy = build.out + kPointXOffset;
    copy.z = z_and_m;
    copy.m = z_and_m + kGxDoubleBytes;
    gx_copy_run(run, copy);
    if (!copy.all_finite) {
        return fail_not_finite(build, run, copy);
    }
    uint8_t* after_xy = build.out + kPointXYEnd;
    if (run.layout.has_z) {
        std::memcpy(after_xy, copy.z, kGxDoubleBytes);
        after_xy += kGxDoubleBytes;
    }
    if (run.layout.has_m) {
        std::memcpy(after_xy, copy.m, kGxDoubleBytes);
    } else if (run.layout.has_z) {
        // PointZ always carries an M; a point without one says "no data",
        // so that readers see Z without measures.
        gx_store_double(after_xy, kNoDataMeasure);
    }
    build.points = 1;
    return true;
}

bool gx_take_run(GxShapeBuild& build, const GxPointRun& run) {
    if (build.pass == GxPass::kMeasure) {
        return measure_run(build, run);
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
        written = gx_close_ring(copy, run.count);
        // Shapefile rings turn the other way from the mathematical sense:
        // outer rings clockwise (negative area), holes counter-clockwise.
        const int orientation = ring_orientation(copy, written);
        if (orientation != 0 && (orientation > 0) == exterior) {
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
        return kShapeTypeBytes;
    }
    if (family == GxShapeFamily::kPoint) {
        return kPointXYEnd + (type.has_z ? kGxDoubleBytes : 0) +
               (type.has_z || type.has_m ? kGxDoubleBytes : 0);
    }
    uint64_t bytes = family == GxShapeFamily::kMultiPoint ? kMultipointPointsOffset
                                                          : kPartsOffset + parts * kPartIndexBytes;
    bytes += points * kXYBytes;
    bytes += type.has_z ? kRangeBytes + points * kGxDoubleBytes : 0;
    bytes += type.has_m ? kRangeBytes + points * kGxDoubleBytes : 0;
    return bytes > kGxMaxShapeBytes ? kGxMaxShapeBytes + 1 : static_cast<size_t>(bytes);
}

// Section offsets for points and parts (the measured counts, or fewer).
static void place_sections(GxShapeBuild& build, uint64_t points, uint64_t parts) {
    build.parts_at = kPartsOffset;
    build.xy_at = build.family == GxShapeFamily::kMultiPoint
                      ? kMultipointPointsOffset
                      : kPartsOffset + parts * kPartIndexBytes;
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
    // The write pass leaves out only what the measure pass did not count.
    assert(build.points == measured_points && build.parts == measured_parts);
    (void)measured_points;
    (void)measured_parts;
    uint8_t* out = build.out;
    const GxGeometryType& type = *build.type;
    if (build.points == 0) {
        gx_store_u32(out, kShapeNull);
        return kShapeTypeBytes;
    }
    gx_store_u32(out, shape_type_code(type.kind, type.has_z, type.has_m));
    if (build.family == GxShapeFamily::kPoint) {
        return gx_shape_bytes(build.family, type, 1, 0);
    }
    const GxBounds& bounds = build.bounds;
    gx_store_double(out + kBoxXminOffset, bounds.xmin);
    gx_store_double(out + kBoxXminOffset + 8, bounds.ymin);
    gx_store_double(out + kBoxXminOffset + 16, bounds.xmax);
    gx_store_double(out + kBoxXminOffset + 24, bounds.ymax);
    if (build.family == GxShapeFamily::kMultiPoint) {
        gx_store_u32(out + kMultipointCountOffset, static_cast<uint32_t>(build.points));
    } else {
        gx_store_u32(out + kNumPartsOffset, static_cast<uint32_t>(build.parts));
        gx_store_u32(out + kNumPointsOffset, static_cast<uint32_t>(build.points));
    }
    if (type.has_z) {
        gx_store_double(out + build.z_at - kRangeBytes, bounds.zmin);
        gx_store_double(out + build.z_at - kGxDoubleBytes, bounds.zmax);
    }
    if (type.has_m) {
        // Every measure no data: the range says so too.
        const bool measured = bounds.mmin <= bounds.mmax;
        gx_store_double(out + build.m_at - kRangeBytes, measured ? bounds.mmin : kNoDataMeasure);
        gx_store_double(out + build.m_at - kGxDoubleBytes, measured ? bounds.mmax : kNoDataMeasure);
    }
    return gx_shape_bytes(build.family, type, build.points, build.parts);
}
