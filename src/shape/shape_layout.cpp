// Shape layouts. The server hands over each geometry already in the
// shapefile's record-content layout; spoolmap writes those bytes unchanged and
// reads only the type, the counts and the bounds. Before it reads them, the
// counts are checked against the buffer's length, in 64-bit arithmetic so that
// no count, however large or negative, can wrap an offset back into range.

#include "shape/shape_layout.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/byte_order.h"
#include "report/messages.h"
#include "text/characters.h"

// The codes the program knows, with the names users give -t and the listing
// shows. Codes 9, 10, 19 and 20 are laid out like 11, 13, 15 and 18 without
// the M part; they have no name of their own.
struct KnownShapeType {
    int32_t code;
    ShapeKind kind;    // family, Z section, M section, M part optional
    const char* name;  // null for a code known by its number only
};

constexpr ShapeFamily kNull = ShapeFamily::kNull;
constexpr ShapeFamily kPoint = ShapeFamily::kPoint;
constexpr ShapeFamily kMultipoint = ShapeFamily::kMultipoint;
constexpr ShapeFamily kMultiPart = ShapeFamily::kMultiPart;

// clang-format off
static const KnownShapeType kKnownShapeTypes[] = {
    {0,  {kNull,       false, false, false}, "null"},
    {1,  {kPoint,      false, false, false}, "point"},
    {3,  {kMultiPart,  false, false, false}, "polyline"},
    {5,  {kMultiPart,  false, false, false}, "polygon"},
    {8,  {kMultipoint, false, false, false}, "multipoint"},
    {9,  {kPoint,      true,  false, false}, nullptr},
    {10, {kMultiPart,  true,  false, false}, nullptr},
    {11, {kPoint,      true,  true,  false}, "pointz"},
    {13, {kMultiPart,  true,  true,  true},  "polylinez"},
    {15, {kMultiPart,  true,  true,  true},  "polygonz"},
    {18, {kMultipoint, true,  true,  true},  "multipointz"},
    {19, {kMultiPart,  true,  false, false}, nullptr},
    {20, {kMultipoint, true,  false, false}, nullptr},
    {21, {kPoint,      false, true,  false}, "pointm"},
    {23, {kMultiPart,  false, true,  false}, "polylinem"},
    {25, {kMultiPart,  false, true,  false}, "polygonm"},
    {28, {kMultipoint, false, true,  false}, "multipointm"},
};
// clang-format on

bool shape_kind_of(int32_t code, ShapeKind& kind) {
    for (const KnownShapeType& known : kKnownShapeTypes) {
        if (known.code == code) {
            kind = known.kind;
            return true;
        }
    }
    return false;
}

const char* shape_type_name(int32_t code) {
    for (const KnownShapeType& known : kKnownShapeTypes) {
        if (known.code == code) {
            return known.name;
        }
    }
    return nullptr;
}

bool shape_type_by_name(const char* name, int32_t& code) {
    for (const KnownShapeType& known : kKnownShapeTypes) {
        if (known.code != kNullShapeType && known.name != nullptr &&
            ascii_equal_ignoring_case(known.name, name)) {
            code = known.code;
            return true;
        }
    }
    return false;
}

void shape_type_choices(char* buffer, size_t size) {
    size_t used = 0;
    buffer[0] = '\0';
    for (const KnownShapeType& known : kKnownShapeTypes) {
        if (known.code == kNullShapeType || used >= size) {
            continue;
        }
        int length = std::snprintf(buffer + used, size - used, "%s%d%s%s", used > 0 ? ", " : "",
                                   known.code, known.name != nullptr ? " " : "",
                                   known.name != nullptr ? known.name : "");
        used += length > 0 ? static_cast<size_t>(length) : 0;
    }
}

// The geometry types a declared column may have, as the database names them,
// and the shape type of each without Z or M. A Z adds 10 to the code, an M
// alone 20.
static const struct {
    const char* geometry_type;
    int32_t plain_code;
} kDeclaredFamilies[] = {
    {"POINT", 1},           {"MULTIPOINT", 8}, {"LINESTRING", 3},
    {"MULTILINESTRING", 3}, {"POLYGON", 5},    {"MULTIPOLYGON", 5},
};
constexpr int32_t kZCodeStep = 10;
constexpr int32_t kMCodeStep = 20;

int32_t declared_shape_type(const char* geometry_type, int coord_dimension) {
    if (geometry_type == nullptr || geometry_type[0] == '\0' ||
        ascii_equal_ignoring_case(geometry_type, "GEOMETRY")) {
        return kAnyShapeType;
    }
    for (const auto& family : kDeclaredFamilies) {
        size_t length = std::strlen(family.geometry_type);
        if (!ascii_prefix_ignoring_case(geometry_type, family.geometry_type)) {
            continue;
        }
        // What follows the family's name: nothing, or its dimensions as some
        // catalogues write them ("M", "Z", "ZM", " Z").
        const char* rest = geometry_type + length;
        while (*rest == ' ') {
            ++rest;
        }
        bool z = ascii_prefix_ignoring_case(rest, "Z");
        bool m = ascii_equal_ignoring_case(rest + (z ? 1 : 0), "M");
        if (!z && !m && *rest != '\0') {
            continue;
        }
        // Z with M takes the Z code, whose records carry the M values.
        if (z || coord_dimension >= 4 || (coord_dimension == 3 && !m)) {
            return family.plain_code + kZCodeStep;
        }
        return family.plain_code + (m ? kMCodeStep : 0);
    }
    return kNoShapeType;
}

int32_t shape_type_of(const ShapeBuffer& shape) {
    if (shape.length < kShapeTypeBytes) {
        return -1;
    }
    return load_le_int32(shape.bytes, kShapeTypeOffset);
}

// A point's one value of each axis serves as both its minimum and maximum.
static void measure_point(const ShapeKind& kind, ShapeLayout& layout, int64_t& end) {
    layout.num_parts = 1;
    layout.num_points = 1;
    layout.xmin = layout.xmax = kPointXOffset;
    layout.ymin = layout.ymax = kPointYOffset;
    end = kPointXYEnd;
    if (kind.has_z) {
        layout.zmin = layout.zmax = end;
        end += kDoubleBytes;
    }
    if (kind.has_m) {
        layout.mmin = layout.mmax = end;
        end += kDoubleBytes;
    }
}

// The Z and M sections that follow the X and Y of points_count points ending
// at xy_end: each a range, then one value per point. Sets the full length in
// end, and the length without the M part in end_without_m.
static void measure_sections(const ShapeKind& kind, int64_t xy_end, int64_t points_count,
                             ShapeLayout& layout, int64_t& end, int64_t& end_without_m) {
    end = xy_end;
    if (kind.has_z) {
        layout.zmin = end;
        layout.zmax = end + kDoubleBytes;
        end += kRangeBytes + kDoubleBytes * points_count;
    }
    end_without_m = end;
    if (kind.has_m) {
        layout.mmin = end;
        layout.mmax = end + kDoubleBytes;
        end += kRangeBytes + kDoubleBytes * points_count;
    }
}

static bool refuse(char* problem, size_t size, const char* format, ...) SPOOLMAP_PRINTF(3, 4);

static bool refuse(char* problem, size_t size, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(problem, size, format, arguments);
    va_end(arguments);
    return false;
}

// Reads a count at offset once the buffer is known to reach past it; refuses
// a negative one.
static bool read_count(const ShapeBuffer& shape, int64_t offset, const char* name, int32_t type,
                       int32_t& count, char* problem, size_t size) {
    count = load_le_int32(shape.bytes, offset);
    if (count < 0) {
        return refuse(problem, size, "A shape of type %d has a negative %s (%d).", type, name,
                      count);
    }
    return true;
}

bool measure_shape(const ShapeBuffer& shape, ShapeLayout& layout, char* problem, size_t size) {
    layout = ShapeLayout{};
    layout.xmin = layout.ymin = layout.xmax = layout.ymax = -1;
    layout.zmin = layout.zmax = layout.mmin = layout.mmax = -1;
    if (shape.bytes == nullptr || shape.length < kShapeTypeBytes) {
        return refuse(problem, size, "The shape buffer holds %d byte(s), too few for a shape type.",
                      shape.length);
    }
    int32_t type = shape_type_of(shape);
    layout.type = type;
    if (!shape_kind_of(type, layout.kind)) {
        return refuse(problem, size, "Unknown shape type(%d).", type);
    }
    const ShapeKind& kind = layout.kind;
    int64_t end = kNullShapeBytes;
    int64_t end_without_m = -1;
    switch (kind.family) {
        case ShapeFamily::kNull:
            break;
        case ShapeFamily::kPoint:
            measure_point(kind, layout, end);
            break;
        case ShapeFamily::kMultipoint: {
            if (shape.length < kMultipointPointsOffset) {
                return refuse(problem, size,
                              "A shape of type %d needs %d bytes before its points; the buffer "
                              "holds %d.",
                              type, static_cast<int>(kMultipointPointsOffset), shape.length);
            }
            int32_t points = 0;
            if (!read_count(shape, kMultipointCountOffset, "NumPoints", type, points, problem,
                            size)) {
                return false;
            }
            layout.num_points = points;
            layout.num_parts = points;
            layout.xmin = kBoxXminOffset;
            layout.ymin = kBoxYminOffset;
            layout.xmax = kBoxXmaxOffset;
            layout.ymax = kBoxYmaxOffset;
            measure_sections(kind, kMultipointPointsOffset + kXYBytes * points, points, layout, end,
                             end_without_m);
            break;
        }
        case ShapeFamily::kMultiPart: {
            if (shape.length < kPartsOffset) {
                return refuse(problem, size,
                              "A shape of type %d needs %d bytes before its parts; the buffer "
                              "holds %d.",
                              type, static_cast<int>(kPartsOffset), shape.length);
            }
            int32_t parts = 0;
            int32_t points = 0;
            if (!read_count(shape, kNumPartsOffset, "NumParts", type, parts, problem, size) ||
                !read_count(shape, kNumPointsOffset, "NumPoints", type, points, problem, size)) {
                return false;
            }
            layout.num_parts = parts;
            layout.num_points = points;
            layout.xmin = kBoxXminOffset;
            layout.ymin = kBoxYminOffset;
            layout.xmax = kBoxXmaxOffset;
            layout.ymax = kBoxYmaxOffset;
            int64_t points_offset = kPartsOffset + kPartIndexBytes * parts;
            measure_sections(kind, points_offset + kXYBytes * points, points, layout, end,
                             end_without_m);
            break;
        }
    }
    if (shape.length == end) {
        return true;
    }
    if (kind.m_optional && shape.length == end_without_m) {
        layout.mmin = layout.mmax = -1;
        return true;
    }
    if (kind.m_optional) {
        return refuse(problem, size,
                      "A shape of type %d with %d part(s) and %d point(s) needs %lld bytes, or "
                      "%lld without its M part; the buffer holds %d.",
                      type, layout.num_parts, layout.num_points, static_cast<long long>(end),
                      static_cast<long long>(end_without_m), shape.length);
    }
    if (kind.family == ShapeFamily::kNull || kind.family == ShapeFamily::kPoint) {
        return refuse(problem, size, "A shape of type %d needs %lld bytes; the buffer holds %d.",
                      type, static_cast<long long>(end), shape.length);
    }
    return refuse(problem, size,
                  "A shape of type %d with %d part(s) and %d point(s) needs %lld bytes; the "
                  "buffer holds %d.",
                  type, layout.num_parts, layout.num_points, static_cast<long long>(end),
                  shape.length);
}

bool validate_shape(const ShapeBuffer& shape, ShapeLayout& layout, char* problem, size_t size) {
    if (!measure_shape(shape, layout, problem, size)) {
        return false;
    }
    if (layout.kind.family != ShapeFamily::kMultiPart) {
        return true;
    }
    if (layout.num_parts == 0 && layout.num_points > 0) {
        return refuse(problem, size, "A shape of type %d has %d point(s) in no part.", layout.type,
                      layout.num_points);
    }
    int32_t previous = 0;
    for (int32_t part = 0; part < layout.num_parts; ++part) {
        int32_t start = load_le_int32(shape.bytes, kPartsOffset + kPartIndexBytes * part);
        bool in_order = part == 0 ? start == 0 : start >= previous;
        if (!in_order || start >= layout.num_points) {
            return refuse(problem, size,
                          "A shape of type %d has part %d of %d starting at point %d; parts "
                          "start at point 0, in order, below NumPoints (%d).",
                          layout.type, part + 1, layout.num_parts, start, layout.num_points);
        }
        previous = start;
    }
    return true;
}

static double bound_at(const ShapeBuffer& shape, int64_t offset) {
    return offset < 0 ? 0.0 : load_le_double(shape.bytes, static_cast<size_t>(offset));
}

Extent shape_bounds(const ShapeBuffer& shape, const ShapeLayout& layout) {
    Extent bounds;
    bounds.xmin = bound_at(shape, layout.xmin);
    bounds.ymin = bound_at(shape, layout.ymin);
    bounds.xmax = bound_at(shape, layout.xmax);
    bounds.ymax = bound_at(shape, layout.ymax);
    bounds.zmin = bound_at(shape, layout.zmin);
    bounds.zmax = bound_at(shape, layout.zmax);
    // A Z shape that leaves its optional M part out has no measures, which
    // is not the same as measures of 0.
    bool measures_left_out = layout.kind.has_m && layout.mmin < 0;
    bounds.mmin = measures_left_out ? kNoDataMeasure : bound_at(shape, layout.mmin);
    bounds.mmax = measures_left_out ? kNoDataMeasure : bound_at(shape, layout.mmax);
    return bounds;
}
