// Shape layouts and accessors: the Z and M positions of the published
// examples, every family's values, and refusal of anything that does not fit
// its length (cut short at every length, counts huge or negative, part
// indexes out of range) without a read outside the buffer; the sanitizer run
// of this suite catches any such read.

#include "shape/shape_layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "process_end_capture.h"
#include "shape/main_header.h"
#include "shape_test_bytes.h"

namespace {

struct Vertex {
    double x, y, z, m;
};

// A valid shape with what the accessors must find in it.
struct TestShape {
    std::string name;
    Bytes bytes;
    int32_t parts = 0;
    int32_t points = 0;
    Extent bounds;
    size_t without_m = 0;  // also valid cut to this length (optional M part), or 0
};

// validate_shape for tests that want only the verdict and the problem.
bool check_shape(const ShapeBuffer& shape, char* problem) {
    ShapeLayout layout;
    return validate_shape(shape, layout, problem, kShapeProblemBytes);
}

ShapeBuffer buffer_of(const Bytes& bytes) {
    return ShapeBuffer{bytes.data(), static_cast<int32_t>(bytes.size())};
}

// The counts and bounds of a shape that validate_shape passes.
struct Measured {
    ShapeLayout layout;
    Extent bounds;
};
Measured measured(const ShapeBuffer& shape) {
    Measured m = {};
    char problem[kShapeProblemBytes];
    EXPECT_TRUE(validate_shape(shape, m.layout, problem, sizeof problem)) << problem;
    m.bounds = shape_bounds(shape, m.layout);
    return m;
}

void put_box(Bytes& bytes, const Extent& e) {
    put_le_double(bytes, e.xmin);
    put_le_double(bytes, e.ymin);
    put_le_double(bytes, e.xmax);
    put_le_double(bytes, e.ymax);
}

Extent bounds_of(const std::vector<Vertex>& vertices, bool z, bool m) {
    Extent e;
    auto range = [&](double Vertex::*axis, double& low, double& high) {
        if (vertices.empty()) {
            return;
        }
        low = high = vertices[0].*axis;
        for (const Vertex& v : vertices) {
            low = std::min(low, v.*axis);
            high = std::max(high, v.*axis);
        }
    };
    range(&Vertex::x, e.xmin, e.xmax);
    range(&Vertex::y, e.ymin, e.ymax);
    if (z) {
        range(&Vertex::z, e.zmin, e.zmax);
    }
    if (m) {
        range(&Vertex::m, e.mmin, e.mmax);
    }
    return e;
}

// The Z and M sections after the X and Y of the points: a range, then one
// value per point.
void put_sections(TestShape& shape, const std::vector<Vertex>& vertices, bool z, bool m,
                  bool m_part) {
    if (z) {
        put_le_double(shape.bytes, shape.bounds.zmin);
        put_le_double(shape.bytes, shape.bounds.zmax);
        for (const Vertex& v : vertices) {
            put_le_double(shape.bytes, v.z);
        }
    }
    if (m && m_part) {
        if (z) {
            shape.without_m = shape.bytes.size();
        }
        put_le_double(shape.bytes, shape.bounds.mmin);
        put_le_double(shape.bytes, shape.bounds.mmax);
        for (const Vertex& v : vertices) {
            put_le_double(shape.bytes, v.m);
        }
    }
    if (m && !m_part) {
        shape.bounds.mmin = shape.bounds.mmax = kNoDataMeasure;  // no measures at all
    }
}

TestShape point_shape(int32_t type, bool z, bool m, Vertex v) {
    TestShape shape;
    shape.name = "point " + std::to_string(type);
    put_le32(shape.bytes, type);
    put_le_double(shape.bytes, v.x);
    put_le_double(shape.bytes, v.y);
    if (z) {
        put_le_double(shape.bytes, v.z);
    }
    if (m) {
        put_le_double(shape.bytes, v.m);
    }
    shape.parts = shape.points = 1;
    shape.bounds = bounds_of({v}, z, m);
    return shape;
}

TestShape multipoint_shape(int32_t type, bool z, bool m, const std::vector<Vertex>& vertices,
                           bool m_part = true) {
    TestShape shape;
    shape.name = "multipoint " + std::to_string(type) + (m_part ? "" : " without M");
    shape.bounds = bounds_of(vertices, z, m);
    shape.parts = shape.points = static_cast<int32_t>(vertices.size());
    put_le32(shape.bytes, type);
    put_box(shape.bytes, shape.bounds);
    put_le32(shape.bytes, shape.points);
    for (const Vertex& v : vertices) {
        put_le_double(shape.bytes, v.x);
        put_le_double(shape.bytes, v.y);
    }
    put_sections(shape, vertices, z, m, m_part);
    return shape;
}

TestShape multipart_shape(int32_t type, bool z, bool m,
                          const std::vector<std::vector<Vertex>>& parts, bool m_part = true) {
    TestShape shape;
    shape.name = "multi-part " + std::to_string(type) + (m_part ? "" : " without M");
    std::vector<Vertex> vertices;
    for (const auto& part : parts) {
        vertices.insert(vertices.end(), part.begin(), part.end());
    }
    shape.bounds = bounds_of(vertices, z, m);
    shape.parts = static_cast<int32_t>(parts.size());
    shape.points = static_cast<int32_t>(vertices.size());
    put_le32(shape.bytes, type);
    put_box(shape.bytes, shape.bounds);
    put_le32(shape.bytes, shape.parts);
    put_le32(shape.bytes, shape.points);
    int32_t start = 0;
    for (const auto& part : parts) {
        put_le32(shape.bytes, start);
        start += static_cast<int32_t>(part.size());
    }
    for (const Vertex& v : vertices) {
        put_le_double(shape.bytes, v.x);
        put_le_double(shape.bytes, v.y);
    }
    put_sections(shape, vertices, z, m, m_part);
    return shape;
}

std::vector<TestShape> every_valid_shape() {
    const Vertex a{1.5, -2.0, 10.0, 100.0};
    const Vertex b{-7.25, 3.0, -20.0, 50.0};
    const Vertex c{4.0, 8.5, 30.0, -5.0};
    const std::vector<std::vector<Vertex>> line{{a, b, c}};
    const std::vector<std::vector<Vertex>> two_rings{{a, b, c, a}, {b, c, b}};
    return {
        point_shape(1, false, false, a),
        point_shape(9, true, false, b),
        point_shape(11, true, true, c),
        point_shape(21, false, true, a),
        multipoint_shape(8, false, false, {a, b, c}),
        multipoint_shape(8, false, false, {}),
        multipoint_shape(18, true, true, {a, b}),
        multipoint_shape(18, true, true, {a, b}, false),
        multipoint_shape(20, true, false, {c, a, b}),
        multipoint_shape(28, false, true, {b, c}),
        multipart_shape(3, false, false, line),
        multipart_shape(3, false, false, {}),
        multipart_shape(5, false, false, two_rings),
        multipart_shape(10, true, false, line),
        multipart_shape(13, true, true, line),
        multipart_shape(13, true, true, {{a, b}, {c}}, false),
        multipart_shape(15, true, true, two_rings),
        multipart_shape(15, true, true, two_rings, false),
        multipart_shape(19, true, false, two_rings),
        multipart_shape(23, false, true, line),
        multipart_shape(25, false, true, two_rings),
    };
}

TEST(ShapeLayout, KnowsExactlyTheSixteenCodesAndTheNullShape) {
    const std::vector<int32_t> known = {0,  1,  3,  5,  8,  9,  10, 11, 13,
                                        15, 18, 19, 20, 21, 23, 25, 28};
    std::vector<int32_t> candidates = {INT32_MIN, INT32_MAX, 31, 256, 0x01000000};
    for (int32_t code = -3; code <= 40; ++code) {
        candidates.push_back(code);
    }
    for (int32_t code : candidates) {
        ShapeKind kind;
        bool is_known = std::find(known.begin(), known.end(), code) != known.end();
        EXPECT_EQ(shape_kind_of(code, kind), is_known) << code;
    }
}

// A name for every code that has one, found again in any letter case; the
// null shape is named but cannot be asked for.
TEST(ShapeLayout, ShapeTypeNames) {
    const std::pair<int32_t, const char*> named[] = {
        {1, "point"},   {3, "polyline"},   {5, "polygon"},   {8, "multipoint"},
        {11, "pointz"}, {13, "polylinez"}, {15, "polygonz"}, {18, "multipointz"},
        {21, "pointm"}, {23, "polylinem"}, {25, "polygonm"}, {28, "multipointm"}};
    for (const auto& [code, name] : named) {
        EXPECT_STREQ(shape_type_name(code), name);
        std::string shouted = name;
        for (char& c : shouted) {
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
        int32_t found = -1;
        EXPECT_TRUE(shape_type_by_name(shouted.c_str(), found)) << shouted;
        EXPECT_EQ(found, code);
    }
    for (int32_t code : {9, 10, 19, 20, 2, -1}) {
        EXPECT_EQ(shape_type_name(code), nullptr) << code;
    }
    int32_t untouched = 7;
    for (const char* text : {"null", "", "points", "point z", "polygonzm", "5"}) {
        EXPECT_FALSE(shape_type_by_name(text, untouched)) << text;
    }
    EXPECT_EQ(untouched, 7);
}

// A declared column as PostGIS (and the catalogue of every engine) gives it.
TEST(ShapeLayout, DeclaredShapeTypeOfACatalogueColumn) {
    const struct {
        const char* type;
        int dimension;
        int32_t code;
    } cases[] = {
        {"POINT", 2, 1},
        {"POINT", 3, 11},
        {"POINTM", 3, 21},
        {"POINT", 4, 11},
        {"MultiPoint", 2, 8},
        {"MULTIPOINTM", 3, 28},
        {"LINESTRING", 2, 3},
        {"MULTILINESTRING", 3, 13},
        {"POLYGON", 2, 5},
        {"MULTIPOLYGONM", 3, 25},
        {"POLYGONZ", 3, 15},
        {"POINT ZM", 4, 11},
        {"GEOMETRY", 2, kAnyShapeType},
        {"geometry", 4, kAnyShapeType},
        {nullptr, 2, kAnyShapeType},
        {"GEOMETRYCOLLECTION", 2, kNoShapeType},
        {"CURVEPOLYGON", 2, kNoShapeType},
        {"POINTS", 2, kNoShapeType},
        {"", 3, kAnyShapeType},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(declared_shape_type(c.type, c.dimension), c.code)
            << (c.type != nullptr ? c.type : "null") << " " << c.dimension;
    }
}

// The examples' offsets written out: code 13 with one part and two points,
// code 28 with three points. Every other byte is a marker that no accessor
// may return.
TEST(ShapeLayout, ZAndMPositionsOfThePublishedExamples) {
    Bytes polyline(144, 0xEE);
    auto put_at = [](Bytes& bytes, size_t offset, const Bytes& value) {
        std::copy(value.begin(), value.end(), bytes.begin() + offset);
    };
    auto le32 = [](int32_t v) {
        Bytes b;
        put_le32(b, v);
        return b;
    };
    auto f64 = [](double v) {
        Bytes b;
        put_le_double(b, v);
        return b;
    };
    put_at(polyline, 0, le32(13));
    put_at(polyline, 4, f64(1.0));
    put_at(polyline, 12, f64(2.0));
    put_at(polyline, 20, f64(3.0));
    put_at(polyline, 28, f64(4.0));
    put_at(polyline, 36, le32(1));
    put_at(polyline, 40, le32(2));
    put_at(polyline, 44, le32(0));
    put_at(polyline, 80, f64(-5.5));
    put_at(polyline, 88, f64(6.5));
    put_at(polyline, 112, f64(-7.5));
    put_at(polyline, 120, f64(8.5));
    Measured line = measured(buffer_of(polyline));
    EXPECT_EQ(line.layout.type, 13);
    EXPECT_EQ(line.layout.num_parts, 1);
    EXPECT_EQ(line.layout.num_points, 2);
    Extent expected = {1.0, 3.0, 2.0, 4.0, -5.5, 6.5, -7.5, 8.5};
    EXPECT_EQ(std::memcmp(&line.bounds, &expected, sizeof expected), 0);

    // The same shape with its optional M part left out: 112 bytes, no
    // measures.
    Bytes no_m(polyline.begin(), polyline.begin() + 112);
    Measured line_no_m = measured(buffer_of(no_m));
    EXPECT_EQ(line_no_m.bounds.zmin, -5.5);
    EXPECT_EQ(line_no_m.bounds.zmax, 6.5);
    EXPECT_EQ(line_no_m.bounds.mmin, kNoDataMeasure);
    EXPECT_EQ(line_no_m.bounds.mmax, kNoDataMeasure);

    Bytes multipoint(40 + 3 * 16 + 16 + 3 * 8, 0xEE);
    put_at(multipoint, 0, le32(28));
    put_at(multipoint, 36, le32(3));
    put_at(multipoint, 88, f64(-1.25));
    put_at(multipoint, 96, f64(9.75));
    Measured points = measured(buffer_of(multipoint));
    EXPECT_EQ(points.layout.num_points, 3);
    EXPECT_EQ(points.bounds.mmin, -1.25);
    EXPECT_EQ(points.bounds.mmax, 9.75);
    EXPECT_EQ(points.bounds.zmin, 0.0);
    EXPECT_EQ(points.bounds.zmax, 0.0);
}

TEST(ShapeLayout, CountsAndBoundsOfEveryFamily) {
    for (const TestShape& shape : every_valid_shape()) {
        SCOPED_TRACE(shape.name);
        Measured m = measured(buffer_of(shape.bytes));
        EXPECT_EQ(std::memcmp(&m.bounds, &shape.bounds, sizeof m.bounds), 0);
        EXPECT_EQ(m.layout.num_parts, shape.parts);
        EXPECT_EQ(m.layout.num_points, shape.points);
    }
}

// Each cut copy lives in an allocation of exactly its length, so a read one
// byte too far is an overflow that the sanitizers report.
TEST(ShapeLayout, EveryShapeCutShortIsRefusedWithoutAReadPastIt) {
    std::vector<TestShape> shapes = every_valid_shape();
    Bytes null_shape;
    put_le32(null_shape, 0);
    TestShape null;
    null.name = "null";
    null.bytes = null_shape;
    shapes.push_back(null);
    for (const TestShape& shape : shapes) {
        for (size_t length = 0; length <= shape.bytes.size(); ++length) {
            SCOPED_TRACE(shape.name + " cut to " + std::to_string(length));
            Bytes cut(shape.bytes.begin(), shape.bytes.begin() + length);
            ShapeBuffer buffer = buffer_of(cut);
            bool expected =
                length == shape.bytes.size() || (shape.without_m != 0 && length == shape.without_m);
            char problem[kShapeProblemBytes] = "";
            EXPECT_EQ(check_shape(buffer, problem), expected) << problem;
            if (expected || shape.name == "null") {
                continue;
            }
            EXPECT_NE(problem[0], '\0');
        }
    }

    char problem[kShapeProblemBytes];
    Bytes empty;
    EXPECT_FALSE(check_shape(buffer_of(empty), problem));
    EXPECT_STREQ(problem, "The shape buffer holds 0 byte(s), too few for a shape type.");
    EXPECT_EQ(shape_type_of(buffer_of(empty)), -1);
    Bytes point = point_shape(1, false, false, {3, 4, 0, 0}).bytes;
    point.resize(19);
    EXPECT_FALSE(check_shape(buffer_of(point), problem));
    EXPECT_STREQ(problem, "A shape of type 1 needs 20 bytes; the buffer holds 19.");
    Bytes line = multipart_shape(13, true, true, {{{0, 0, 0, 0}, {1, 1, 1, 1}}}).bytes;
    line.resize(120);
    EXPECT_FALSE(check_shape(buffer_of(line), problem));
    EXPECT_STREQ(problem,
                 "A shape of type 13 with 1 part(s) and 2 point(s) needs 144 bytes, or 112 "
                 "without its M part; the buffer holds 120.");
}

void set_le32(Bytes& bytes, size_t offset, int32_t value) {
    Bytes v;
    put_le32(v, value);
    std::copy(v.begin(), v.end(), bytes.begin() + offset);
}

// Counts that would wrap a 32-bit offset back into the buffer (4 x 2^30,
// 16 x 2^28, 24 x 0x0AAAAAAB) must be refused like plainly huge ones.
TEST(ShapeLayout, HugeAndNegativeCountsAreRefused) {
    const Vertex v{1, 2, 3, 4};
    const std::vector<int32_t> counts = {-1,         INT32_MIN,  INT32_MAX,  0x40000000,
                                         0x10000000, 0x0AAAAAAB, 0x7FFFFFF0, 0x20000000};
    Bytes multipoint = multipoint_shape(18, true, true, {v, v}).bytes;
    Bytes polyline = multipart_shape(13, true, true, {{v, v}}).bytes;
    char problem[kShapeProblemBytes];
    for (int32_t count : counts) {
        SCOPED_TRACE(count);
        Bytes bad = multipoint;
        set_le32(bad, 36, count);
        EXPECT_FALSE(check_shape(buffer_of(bad), problem));
        for (size_t offset : {36, 40}) {
            bad = polyline;
            set_le32(bad, offset, count);
            EXPECT_FALSE(check_shape(buffer_of(bad), problem));
        }
    }
    Bytes bad = polyline;
    set_le32(bad, 40, -2);
    EXPECT_FALSE(check_shape(buffer_of(bad), problem));
    EXPECT_STREQ(problem, "A shape of type 13 has a negative NumPoints (-2).");
}

TEST(ShapeLayout, PartIndexesMustStartAtZeroInOrderBelowNumPoints) {
    const Vertex v{1, 2, 3, 4};
    // Two parts of three points in all: starts at 44 and 48.
    Bytes polygon = multipart_shape(5, false, false, {{v, v}, {v}}).bytes;
    char problem[kShapeProblemBytes];
    ASSERT_TRUE(check_shape(buffer_of(polygon), problem)) << problem;

    struct Case {
        int32_t first, second;
        bool valid;
    };
    for (Case c : {Case{0, 2, true}, Case{0, 0, true}, Case{1, 2, false}, Case{0, 3, false},
                   Case{0, -1, false}, Case{-1, 2, false}, Case{2, 1, false}}) {
        Bytes bytes = polygon;
        set_le32(bytes, 44, c.first);
        set_le32(bytes, 48, c.second);
        EXPECT_EQ(check_shape(buffer_of(bytes), problem), c.valid) << c.first << "," << c.second;
    }
    Bytes bytes = polygon;
    set_le32(bytes, 48, 3);
    check_shape(buffer_of(bytes), problem);
    EXPECT_STREQ(problem,
                 "A shape of type 5 has part 2 of 2 starting at point 3; parts start at point 0, "
                 "in order, below NumPoints (3).");

    // Points in no part: NumParts 0 with NumPoints 1 and the sizes to match.
    Bytes orphan;
    put_le32(orphan, 3);
    for (int i = 0; i < 4; ++i) {
        put_le_double(orphan, 0.0);
    }
    put_le32(orphan, 0);
    put_le32(orphan, 1);
    put_le_double(orphan, 1.0);
    put_le_double(orphan, 2.0);
    EXPECT_FALSE(check_shape(buffer_of(orphan), problem));
    EXPECT_STREQ(problem, "A shape of type 3 has 1 point(s) in no part.");
}

TEST(ShapeLayout, UnknownTypesAreRefusedByName) {
    for (int32_t code : {2, 31, -1}) {
        Bytes unknown = point_shape(1, false, false, {3, 4, 0, 0}).bytes;
        set_le32(unknown, 0, code);
        EXPECT_EQ(shape_type_of(buffer_of(unknown)), code);
        ShapeLayout layout;
        char problem[kShapeProblemBytes];
        EXPECT_FALSE(measure_shape(buffer_of(unknown), layout, problem, sizeof problem));
        EXPECT_STREQ(problem, ("Unknown shape type(" + std::to_string(code) + ").").c_str());
    }
}

}  // namespace
