// The geometry converter against shape record contents written out here by
// hand: every geometry kind and dimension, both byte orders, EWKB flags,
// GeoPackage headers, SpatiaLite blobs, ring orientation and closure, empty
// and degenerate geometries.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "gx_test_bytes.h"

static const double kNaN = std::numeric_limits<double>::quiet_NaN();
static const double kInf = std::numeric_limits<double>::infinity();
static const double kNoData = -1e39;

// A WKB geometry header in the given byte order.
static Put wkb(Bytes& bytes, uint32_t type, bool big_endian = false) {
    Put put{bytes, big_endian};
    put.u8(big_endian ? 0 : 1).u32(type);
    return put;
}

static Bytes expect_ok(const Bytes& in, GxBlobFormats formats = GxBlobFormats::kWithSpatiaLite) {
    Converted result = convert(in, formats);
    EXPECT_TRUE(result.ok) << result.sql_state << " " << result.message;
    return result.shape;
}

static void expect_error(const Bytes& in, const char* sql_state, const char* words = "") {
    Converted result = convert(in);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.sql_state, sql_state) << result.message;
    EXPECT_NE(result.message.find(words), std::string::npos) << result.message;
}

static const Bytes kNullShape = {0, 0, 0, 0};

TEST(GxShapeTest, PointsOfEveryDimension) {
    Bytes in;
    wkb(in, 1).f64s({3, 4});
    EXPECT_EQ(expect_ok(in), from_hex("01000000"
                                      "0000000000000840"
                                      "0000000000001040"));

    Bytes z, z_shape;  // Z without M: PointZ still carries its M, as no data
    wkb(z, 1001).f64s({1, 2, 3});
    le(z_shape).u32(11).f64s({1, 2, 3, kNoData});
    EXPECT_EQ(expect_ok(z), z_shape);
    EXPECT_EQ(z_shape.size(), 36u);

    Bytes m, m_shape;
    wkb(m, 2001).f64s({1, 2, 5});
    le(m_shape).u32(21).f64s({1, 2, 5});
    EXPECT_EQ(expect_ok(m), m_shape);

    Bytes zm, zm_shape;
    wkb(zm, 3001).f64s({1, 2, 3, 4});
    le(zm_shape).u32(11).f64s({1, 2, 3, 4});
    EXPECT_EQ(expect_ok(zm), zm_shape);

    Bytes nan_m, nan_m_shape;  // a NaN measure is "no data"; so is an infinite one
    wkb(nan_m, 2001).f64s({1, 2, kNaN});
    le(nan_m_shape).u32(21).f64s({1, 2, kNoData});
    EXPECT_EQ(expect_ok(nan_m), nan_m_shape);
    Bytes inf_m;
    wkb(inf_m, 2001).f64s({1, 2, kInf});
    EXPECT_EQ(expect_ok(inf_m), nan_m_shape);

    Bytes empty;  // POINT EMPTY is all NaN
    wkb(empty, 1001).f64s({kNaN, kNaN, kNaN});
    EXPECT_EQ(expect_ok(empty), kNullShape);
}

TEST(GxShapeTest, MultiPointWithMeasuresLeavesEmptyMembersOut) {
    Bytes in, expected;
    wkb(in, 2004).u32(4);
    wkb(in, 2001).f64s({0, 0, 1});
    wkb(in, 2001).f64s({kNaN, kNaN, kNaN});
    wkb(in, 2001, true).f64s({10, 5, kNaN});  // a member in the other byte order
    wkb(in, 2001).f64s({-2, 3, 7});
    le(expected).u32(28).f64s({-2, 0, 10, 5}).u32(3);
    le(expected).f64s({0, 0, 10, 5, -2, 3});
    le(expected).f64s({1, 7}).f64s({1, kNoData, 7});  // no data stays out of the range
    EXPECT_EQ(expect_ok(in), expected);
    EXPECT_EQ(expected.size(), 128u);

    Bytes all_empty;
    wkb(all_empty, 4).u32(2);
    wkb(all_empty, 1).f64s({kNaN, kNaN});
    wkb(all_empty, 1).f64s({kNaN, kNaN});
    EXPECT_EQ(expect_ok(all_empty), kNullShape);
}

TEST(GxShapeTest, PolylinesOfTwoPartsInEitherByteOrder) {
    Bytes expected;
    le(expected).u32(3).f64s({0, 0, 6, 6}).u32(2).u32(5).u32(0).u32(3);
    le(expected).f64s({0, 0, 1, 1, 2, 0, 5, 5, 6, 6});
    for (bool big_endian : {false, true}) {
        Bytes in;
        wkb(in, 5, big_endian).u32(3);
        wkb(in, 2, big_endian).u32(3).f64s({0, 0, 1, 1, 2, 0});
        wkb(in, 2, big_endian).u32(0);  // LINESTRING EMPTY: no part
        wkb(in, 2, big_endian).u32(2).f64s({5, 5, 6, 6});
        EXPECT_EQ(expect_ok(in), expected) << "big-endian " << big_endian;
    }

    // Z and M: ranges from the values written, the NaN measure as no data,
    // which the M range leaves out.
    Bytes zm, zm_shape;
    wkb(zm, 3002).u32(2).f64s({0, 0, 1, 2, 3, 4, 5, kNaN});
    le(zm_shape).u32(13).f64s({0, 0, 3, 4}).u32(1).u32(2).u32(0).f64s({0, 0, 3, 4});
    le(zm_shape).f64s({1, 5, 1, 5}).f64s({2, 2, 2, kNoData});
    EXPECT_EQ(expect_ok(zm), zm_shape);
    EXPECT_EQ(zm_shape.size(), 144u);

    Bytes m, m_shape;
    wkb(m, 2002).u32(2).f64s({0, 0, 8, 3, 4, 9});
    le(m_shape).u32(23).f64s({0, 0, 3, 4}).u32(1).u32(2).u32(0).f64s({0, 0, 3, 4});
    le(m_shape).f64s({8, 9, 8, 9});
    EXPECT_EQ(expect_ok(m), m_shape);

    Bytes empty;
    wkb(empty, 2).u32(0);
    EXPECT_EQ(expect_ok(empty), kNullShape);
}

TEST(GxShapeTest, PolygonRingsAreTurnedAndClosedForShapefiles) {
    // Counter-clockwise outer ring and clockwise hole, as OGC writes them.
    Bytes in, expected;
    wkb(in, 3).u32(2);
    le(in).u32(5).f64s({0, 0, 10, 0, 10, 10, 0, 10, 0, 0});
    le(in).u32(5).f64s({2, 2, 2, 4, 4, 4, 4, 2, 2, 2});
    le(expected).u32(5).f64s({0, 0, 10, 10}).u32(2).u32(10).u32(0).u32(5);
    le(expected).f64s({0, 0, 0, 10, 10, 10, 10, 0, 0, 0});
    le(expected).f64s({2, 2, 4, 2, 4, 4, 2, 4, 2, 2});
    EXPECT_EQ(expect_ok(in), expected);

    // Already clockwise and unclosed: kept in order, closed.
    Bytes open, closed;
    wkb(open, 3).u32(1).u32(4).f64s({0, 0, 0, 1, 1, 1, 1, 0});
    le(closed).u32(5).f64s({0, 0, 1, 1}).u32(1).u32(5).u32(0);
    le(closed).f64s({0, 0, 0, 1, 1, 1, 1, 0, 0, 0});
    EXPECT_EQ(expect_ok(open), closed);

    // Z without M: the Z code with the M section left out; Z turns with X/Y.
    Bytes z, z_shape;
    wkb(z, 1003).u32(1).u32(4).f64s({0, 0, 1, 1, 0, 2, 1, 1, 3, 0, 1, 4});
    le(z_shape).u32(15).f64s({0, 0, 1, 1}).u32(1).u32(5).u32(0);
    le(z_shape).f64s({0, 0, 0, 1, 1, 1, 1, 0, 0, 0}).f64s({1, 4}).f64s({1, 4, 3, 2, 1});
    EXPECT_EQ(expect_ok(z), z_shape);
    EXPECT_EQ(z_shape.size(), 184u);
}

TEST(GxShapeTest, MultiPolygonPartsGoExteriorThenHoles) {
    Bytes in, expected;
    wkb(in, 6).u32(2);
    wkb(in, 3).u32(1).u32(5).f64s({0, 0, 0, 1, 1, 1, 1, 0, 0, 0});
    wkb(in, 3, true).u32(2);  // a big-endian member in a little-endian multi
    be(in).u32(5).f64s({5, 5, 8, 5, 8, 8, 5, 8, 5, 5});
    be(in).u32(5).f64s({6, 6, 6, 7, 7, 7, 7, 6, 6, 6});
    le(expected).u32(5).f64s({0, 0, 8, 8}).u32(3).u32(15).u32(0).u32(5).u32(10);
    le(expected).f64s({0, 0, 0, 1, 1, 1, 1, 0, 0, 0});
    le(expected).f64s({5, 5, 5, 8, 8, 8, 8, 5, 5, 5});
    le(expected).f64s({6, 6, 7, 6, 7, 7, 6, 7, 6, 6});
    EXPECT_EQ(expect_ok(in), expected);
}

TEST(GxShapeTest, DegenerateRingsAreKept) {
    // A collinear hole has no turn: kept as a part, in the order it came.
    Bytes hole, two_rings;
    wkb(hole, 3).u32(2);
    le(hole).u32(5).f64s({0, 0, 0, 9, 9, 9, 9, 0, 0, 0});
    le(hole).u32(4).f64s({2, 2, 3, 3, 4, 4, 2, 2});
    le(two_rings).u32(5).f64s({0, 0, 9, 9}).u32(2).u32(9).u32(0).u32(5);
    le(two_rings).f64s({0, 0, 0, 9, 9, 9, 9, 0, 0, 0}).f64s({2, 2, 3, 3, 4, 4, 2, 2});
    EXPECT_EQ(expect_ok(hole), two_rings);

    // A bow-tie's lobes cancel: it turns by its lowest, then leftmost
    // vertex (0 0), counter-clockwise there, so the exterior is reversed.
    Bytes bow_tie, bow_tie_shape;
    wkb(bow_tie, 3).u32(1).u32(5).f64s({0, 0, 1, 1, 1, 0, 0, 1, 0, 0});
    le(bow_tie_shape).u32(5).f64s({0, 0, 1, 1}).u32(1).u32(5).u32(0);
    le(bow_tie_shape).f64s({0, 0, 0, 1, 1, 0, 1, 1, 0, 0});
    EXPECT_EQ(expect_ok(bow_tie), bow_tie_shape);

    // Beyond 1e154 the area is taken at a smaller scale, and so is its box:
    // a thin counter-clockwise triangle is reversed, not left as it came.
    Bytes huge, huge_shape;
    wkb(huge, 3).u32(1).u32(4).f64s({0, 0, 1e300, 1e300, 1e300, 1.5e300, 0, 0});
    le(huge_shape).u32(5).f64s({0, 0, 1e300, 1.5e300}).u32(1).u32(4).u32(0);
    le(huge_shape).f64s({0, 0, 1e300, 1.5e300, 1e300, 1e300, 0, 0});
    EXPECT_EQ(expect_ok(huge), huge_shape);

    // A flat exterior of two points is closed and kept with its hole and
    // the next polygon, Z and M alongside.
    Bytes multi, expected;
    wkb(multi, 3006).u32(2);
    wkb(multi, 3003).u32(2);
    le(multi).u32(2).f64s({0, 0, 1, 1, 5, 5, 2, 2});
    le(multi).u32(4).f64s({1, 1, 0, 0, 2, 1, 0, 0, 2, 2, 0, 0, 1, 1, 0, 0});
    wkb(multi, 3003).u32(1);
    le(multi).u32(4).f64s({0, 0, 7, 1, 0, 1, 8, 2, 1, 1, 9, kNaN, 1, 0, 6, 4});
    le(expected).u32(15).f64s({0, 0, 5, 5}).u32(3).u32(12).u32(0).u32(3).u32(7);
    le(expected).f64s({0, 0, 5, 5, 0, 0}).f64s({1, 1, 2, 1, 2, 2, 1, 1});
    le(expected).f64s({0, 0, 0, 1, 1, 1, 1, 0, 0, 0});
    le(expected).f64s({0, 9}).f64s({1, 2, 1, 0, 0, 0, 0, 7, 8, 9, 6, 7});
    le(expected).f64s({0, 4}).f64s({1, 2, 1, 0, 0, 0, 0, 1, 2, kNoData, 4, 1});
    EXPECT_EQ(expect_ok(multi), expected);
    EXPECT_EQ(expected.size(), 472u);

    // Holes after an empty exterior have nowhere to go: refused, not dropped.
    Bytes no_exterior;
    wkb(no_exterior, 3).u32(2).u32(0);
    le(no_exterior).u32(4).f64s({1, 1, 2, 1, 2, 2, 1, 1});
    expect_error(no_exterior, kGxHolesWithoutExterior, "cannot place the hole");
}

TEST(GxShapeTest, EwkbFlagsAndSrid) {
    Bytes point, point_shape;
    wkb(point, 0xA0000001).u32(4326).f64s({1, 2, 3});  // Z and SRID flags
    le(point_shape).u32(11).f64s({1, 2, 3, kNoData});
    EXPECT_EQ(expect_ok(point), point_shape);

    Bytes line, line_shape;  // big-endian, M and SRID flags, and a 2.5D line
    wkb(line, 0x60000002, true).u32(3857).u32(2).f64s({1, 1, 4, 2, 2, 6});
    le(line_shape).u32(23).f64s({1, 1, 2, 2}).u32(1).u32(2).u32(0).f64s({1, 1, 2, 2});
    le(line_shape).f64s({4, 6, 4, 6});
    EXPECT_EQ(expect_ok(line), line_shape);

    Bytes multi, multi_shape;  // EWKB members carry the flags too
    wkb(multi, 0x80000004).u32(1);
    wkb(multi, 0x80000001).f64s({1, 2, 3});
    le(multi_shape).u32(18).f64s({1, 2, 1, 2}).u32(1).f64s({1, 2}).f64s({3, 3, 3});
    EXPECT_EQ(expect_ok(multi), multi_shape);
}

// A GeoPackage blob around the WKB: envelope code, header byte order, flags.
static Bytes geopackage(const Bytes& wkb_bytes, unsigned envelope_code, bool big_endian,
                        unsigned extra_flags = 0) {
    static const int kEnvelopeDoubles[] = {0, 4, 6, 6, 8};
    Bytes blob = {'G', 'P', 0,
                  static_cast<uint8_t>(extra_flags | (envelope_code << 1) | (big_endian ? 0 : 1))};
    Put put{blob, big_endian};
    put.u32(4326);
    for (int i = 0; i < kEnvelopeDoubles[envelope_code % 5]; ++i) {
        put.f64(1e300);  // never trusted: the box comes from the points
    }
    blob.insert(blob.end(), wkb_bytes.begin(), wkb_bytes.end());
    return blob;
}

TEST(GxShapeTest, GeoPackageHeaders) {
    Bytes line, expected;
    wkb(line, 2).u32(2).f64s({1, 2, 3, 4});
    le(expected).u32(3).f64s({1, 2, 3, 4}).u32(1).u32(2).u32(0).f64s({1, 2, 3, 4});
    for (unsigned code = 0; code <= 4; ++code) {
        for (bool big_endian : {false, true}) {
            EXPECT_EQ(expect_ok(geopackage(line, code, big_endian)), expected)
                << "envelope " << code << " big-endian " << big_endian;
        }
    }
    constexpr unsigned kEmpty = 0x10;
    Bytes empty_point;
    wkb(empty_point, 1).f64s({kNaN, kNaN});
    EXPECT_EQ(expect_ok(geopackage(empty_point, 0, false, kEmpty)), kNullShape);
    EXPECT_EQ(expect_ok(geopackage(Bytes{}, 1, true, kEmpty)), kNullShape);
    // The flag is an index aid: the geometry after it decides.
    EXPECT_EQ(expect_ok(geopackage(line, 0, false, kEmpty)), expected);

    expect_error(geopackage(line, 5, false), kGxBadHeader, "envelope code 5");
    expect_error(geopackage(line, 0, false, 0x20), kGxUnsupportedType, "Extended");
    Bytes version_two = geopackage(line, 0, false);
    version_two[2] = 1;
    expect_error(version_two, kGxBadHeader, "version 1");
    Bytes short_envelope = geopackage(Bytes{}, 4, false);
    short_envelope.resize(40);
    expect_error(short_envelope, kGxBadHeader, "truncated");
    expect_error(geopackage(Bytes{}, 1, false), kGxTruncated);
}

// Blobs written by spatialite 5 (CompressGeometry, EnableTinyPoint).
static const char kSlCompressedLine[] =
    "0001E6100000000000000000F03F00000000000000400000000000001C4000000000000020407C42420F0004"
    "000000000000000000F03F0000000000000040000000400000004000000040000000400000000000001C4000"
    "00000000002040FE";
static const char kSlCompressedPolygon[] =
    "0001E610000000000000000000000000000000000000000000000000244000000000000024407C43420F0002"
    "0000000500000000000000000000000000000000000000000000000000204100002041000000000000000000"
    "0020C10000000000000000000000000000000004000000000000000000004000000000000000400000004000"
    "000000000000000000004000000000000000400000000000000040FE";
static const char kSlCompressedLineZM[] =
    "0001E6100000000000000000F03F00000000000000400000000000001C4000000000000020407CFA4D0F0004"
    "000000000000000000F03F000000000000004000000000000024400000000000003440000000400000004000"
    "00803F000000000000354000000040000000400000803F00000000000036400000000000001C400000000000"
    "0020400000000000002A400000000000003740FE";
static const char kSlMultiLine[] =
    "0001E610000000000000000000000000000000000000000000000000144000000000000018407C0500000002"
    "0000006942420F0003000000000000000000F03F000000000000004000000040000000400000000000001440"
    "00000000000018406942420F000200000000000000000000000000000000000000000000000000F03F000000"
    "000000F03FFE";
static const char kSlMultiPoint[] =
    "0001E6100000000000000000F03F0000000000000040000000000000084000000000000010407C0400000002"
    "0000006901000000000000000000F03F0000000000000040690100000000000000000008400000000000001040"
    "FE";
static const char kSlTinyPointZM[] =
    "0081E610000004000000000000F03F000000000000004000000000000008400000000000001040FE";

static Bytes spatialite(const char* hex) {
    return from_hex(hex);
}

TEST(GxShapeTest, SpatiaLiteBlobs) {
    Bytes line;
    le(line).u32(3).f64s({1, 2, 7, 8}).u32(1).u32(4).u32(0).f64s({1, 2, 3, 4, 5, 6, 7, 8});
    EXPECT_EQ(expect_ok(spatialite(kSlCompressedLine)), line);

    Bytes polygon;  // clockwise outer, counter-clockwise hole: kept as they are
    le(polygon).u32(5).f64s({0, 0, 10, 10}).u32(2).u32(9).u32(0).u32(5);
    le(polygon).f64s({0, 0, 0, 10, 10, 10, 10, 0, 0, 0});
    le(polygon).f64s({2, 2, 4, 2, 4, 4, 2, 2});
    EXPECT_EQ(expect_ok(spatialite(kSlCompressedPolygon)), polygon);

    Bytes zm;
    le(zm).u32(13).f64s({1, 2, 7, 8}).u32(1).u32(4).u32(0).f64s({1, 2, 3, 4, 5, 6, 7, 8});
    le(zm).f64s({10, 13, 10, 11, 12, 13}).f64s({20, 23, 20, 21, 22, 23});
    EXPECT_EQ(expect_ok(spatialite(kSlCompressedLineZM)), zm);

    Bytes multi_line;
    le(multi_line).u32(3).f64s({0, 0, 5, 6}).u32(2).u32(5).u32(0).u32(3);
    le(multi_line).f64s({1, 2, 3, 4, 5, 6, 0, 0, 1, 1});
    EXPECT_EQ(expect_ok(spatialite(kSlMultiLine)), multi_line);

    Bytes multi_point;
    le(multi_point).u32(8).f64s({1, 2, 3, 4}).u32(2).f64s({1, 2, 3, 4});
    EXPECT_EQ(expect_ok(spatialite(kSlMultiPoint)), multi_point);

    Bytes tiny;
    le(tiny).u32(11).f64s({1, 2, 3, 4});
    EXPECT_EQ(expect_ok(spatialite(kSlTinyPointZM)), tiny);

    // Outside a SpatiaLite database the same bytes are a big-endian WKB of an
    // unknown type.
    Converted standard = convert(spatialite(kSlMultiPoint), GxBlobFormats::kStandard);
    EXPECT_FALSE(standard.ok);
    EXPECT_EQ(standard.sql_state, kGxUnknownType);
}

TEST(GxShapeTest, EmptyGeometriesOfAnyKindAreTheNullShape) {
    for (uint32_t type : {3u, 4u, 5u, 6u, 7u, 8u, 1007u, 0x80000009u, 12u, 16u}) {
        Bytes in;
        wkb(in, type).u32(0);
        EXPECT_EQ(expect_ok(in), kNullShape) << "type " << type;
    }
    Bytes polygon_of_empty_ring;
    wkb(polygon_of_empty_ring, 3).u32(1).u32(0);
    EXPECT_EQ(expect_ok(polygon_of_empty_ring), kNullShape);
}

TEST(GxShapeTest, WhatAShapeCannotHoldIsAnError) {
    Bytes collection;
    wkb(collection, 7).u32(1);
    wkb(collection, 1).f64s({1, 2});
    expect_error(collection, kGxUnsupportedType, "GeometryCollection");
    Bytes arc;
    wkb(arc, 8).u32(3).f64s({0, 0, 1, 1, 2, 0});
    expect_error(arc, kGxUnsupportedType, "CircularString");
    Bytes tin;
    wkb(tin, 1016).u32(1);
    expect_error(tin, kGxUnsupportedType, "TIN");

    Bytes nan_x;
    wkb(nan_x, 2).u32(3).f64s({0, 0, kNaN, 1, 2, 2});
    expect_error(nan_x, kGxNotFinite, "X of point 2 of the LineString at byte 0 is NaN");
    Bytes inf_z;
    wkb(inf_z, 1001).f64s({1, 2, -kInf});
    expect_error(inf_z, kGxNotFinite, "Z of point 1 of the Point at byte 0 is infinite");
    Bytes half_empty;
    wkb(half_empty, 1).f64s({kNaN, 5});
    expect_error(half_empty, kGxNotFinite, "X of point 1");
}

// More runs than the converter keeps from its first pass: the input is walked
// a second time, with the same result.
TEST(GxShapeTest, GeometriesOfManyRunsAreWalkedTwice) {
    constexpr uint32_t kLines = 40;
    Bytes in, expected;
    wkb(in, 2005).u32(kLines);
    le(expected).u32(23).f64s({0, 0, kLines - 1.0, 1}).u32(kLines).u32(2 * kLines);
    for (uint32_t line = 0; line < kLines; ++line) {
        wkb(in, 2002, line % 2 == 1).u32(2).f64s({double(line), 0, 5, double(line), 1, 6});
        le(expected).u32(2 * line);
    }
    for (uint32_t line = 0; line < kLines; ++line) {
        le(expected).f64s({double(line), 0, double(line), 1});
    }
    le(expected).f64s({5, 6});
    for (uint32_t line = 0; line < kLines; ++line) {
        le(expected).f64s({5, 6});
    }
    EXPECT_EQ(expect_ok(in), expected);

    // Seventeen polygons, the first flat: kept on the second walk too.
    Bytes polygons, squares;
    wkb(polygons, 6).u32(17);
    wkb(polygons, 3).u32(1).u32(3).f64s({100, 100, 200, 200, 100, 100});
    le(squares).u32(5).f64s({0, 0, 200, 200}).u32(17).u32(3 + 16 * 5).u32(0);
    for (uint32_t part = 0; part < 16; ++part) {
        le(squares).u32(3 + part * 5);
    }
    le(squares).f64s({100, 100, 200, 200, 100, 100});
    for (uint32_t square = 0; square < 16; ++square) {
        double x = square;
        wkb(polygons, 3).u32(1).u32(4).f64s({x, 0, x, 1, x + 1, 1, x + 1, 0});
        le(squares).f64s({x, 0, x, 1, x + 1, 1, x + 1, 0, x, 0});
    }
    EXPECT_EQ(expect_ok(polygons), squares);
}
