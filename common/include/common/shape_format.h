// The shapefile format's numbers, written once for every piece that makes or
// reads shapes: the client library's converter that makes record contents,
// spoolmap's check and record writer, its main header, and the tests'
// readers. Offsets count bytes from the start of a record's content (or of
// the file, for the main header); every number in a record's content is
// little-endian. Sizes and offsets are 64-bit, so that a count times a size
// never wraps, whatever the count's own type.

#ifndef COMMON_SHAPE_FORMAT_H
#define COMMON_SHAPE_FORMAT_H

#include <cstdint>

// Shape type codes: the published ones, and 9, 10, 19 and 20, the Z types
// without an M part that a server may return.
constexpr int32_t kShapeNull = 0;
constexpr int32_t kShapePoint = 1;
constexpr int32_t kShapePolyLine = 3;
constexpr int32_t kShapePolygon = 5;
constexpr int32_t kShapeMultiPoint = 8;
constexpr int32_t kShapePointZNoM = 9;
constexpr int32_t kShapePolyLineZNoM = 10;
constexpr int32_t kShapePointZ = 11;
constexpr int32_t kShapePolyLineZ = 13;
constexpr int32_t kShapePolygonZ = 15;
constexpr int32_t kShapeMultiPointZ = 18;
constexpr int32_t kShapePolygonZNoM = 19;
constexpr int32_t kShapeMultiPointZNoM = 20;
constexpr int32_t kShapePointM = 21;
constexpr int32_t kShapePolyLineM = 23;
constexpr int32_t kShapePolygonM = 25;
constexpr int32_t kShapeMultiPointM = 28;

// Every record content begins with its shape type, a 32-bit integer; the
// null shape is that alone.
constexpr int64_t kShapeTypeOffset = 0;
constexpr int64_t kShapeTypeBytes = 4;
constexpr int64_t kNullShapeBytes = kShapeTypeBytes;
constexpr int64_t kCountBytes = 4;      // NumParts, NumPoints
constexpr int64_t kPartIndexBytes = 4;  // a part's first point
constexpr int64_t kDoubleBytes = 8;
constexpr int64_t kXYBytes = 2 * kDoubleBytes;     // one point's X and Y
constexpr int64_t kRangeBytes = 2 * kDoubleBytes;  // a minimum and a maximum

// Point: X, Y, then Z and/or M.
constexpr int64_t kPointXOffset = kShapeTypeOffset + kShapeTypeBytes;
constexpr int64_t kPointYOffset = kPointXOffset + kDoubleBytes;
constexpr int64_t kPointXYEnd = kPointYOffset + kDoubleBytes;  // Z (11), or M (21)

// Multipoint and multi-part (polyline, polygon): a bounding box Xmin, Ymin,
// Xmax, Ymax first.
constexpr int64_t kBoxXminOffset = kShapeTypeOffset + kShapeTypeBytes;
constexpr int64_t kBoxYminOffset = kBoxXminOffset + kDoubleBytes;
constexpr int64_t kBoxXmaxOffset = kBoxYminOffset + kDoubleBytes;
constexpr int64_t kBoxYmaxOffset = kBoxXmaxOffset + kDoubleBytes;
constexpr int64_t kBoxEnd = kBoxYmaxOffset + kDoubleBytes;

// Multipoint: NumPoints, then the points' X and Y, then the Z range and
// values, then the M range and values.
constexpr int64_t kMultipointCountOffset = kBoxEnd;
constexpr int64_t kMultipointPointsOffset = kMultipointCountOffset + kCountBytes;

// Multi-part: NumParts, NumPoints, the parts' start indexes, then the points
// as a multipoint's.
constexpr int64_t kNumPartsOffset = kBoxEnd;
constexpr int64_t kNumPointsOffset = kNumPartsOffset + kCountBytes;
constexpr int64_t kPartsOffset = kNumPointsOffset + kCountBytes;

static_assert(kMultipointPointsOffset == 40 && kPartsOffset == 44, "the published layout");

// A measure below -10^38 means "no data" to shapefile readers: what a PointZ
// without a measure carries, and the M range of a record or a set that has
// none. A NaN measure is no data too.
constexpr double kNoDataMeasure = -1e39;
constexpr double kNoDataMeasureBelow = -1e38;
constexpr bool is_no_data_measure(double m) {
    return !(m >= kNoDataMeasureBelow);
}

// The 100-byte main header of the .shp and the .shx: file code (big-endian),
// five reserved 32-bit integers, file length (big-endian, in 16-bit words),
// version, shape type, eight bounds (little-endian: xmin, ymin, xmax, ymax,
// zmin, zmax, mmin, mmax).
constexpr int32_t kShapeFileCode = 9994;
constexpr int32_t kShapeFileVersion = 1000;
constexpr int64_t kHeaderFileCodeOffset = 0;
constexpr int64_t kHeaderReservedOffset = kHeaderFileCodeOffset + 4;
constexpr int64_t kHeaderReservedBytes = 5 * 4;
constexpr int64_t kHeaderFileLengthOffset = kHeaderReservedOffset + kHeaderReservedBytes;
constexpr int64_t kHeaderVersionOffset = kHeaderFileLengthOffset + 4;
constexpr int64_t kHeaderShapeTypeOffset = kHeaderVersionOffset + 4;
constexpr int64_t kHeaderBoundsOffset = kHeaderShapeTypeOffset + 4;
constexpr int64_t kMainHeaderBytes = kHeaderBoundsOffset + 8 * kDoubleBytes;
static_assert(kMainHeaderBytes == 100, "the main header is 100 bytes");

// A .shp record's header (record number, content length) and a .shx entry
// (offset, content length): big-endian 32-bit integers, counting 16-bit
// words.
constexpr int64_t kRecordHeaderBytes = 4 + 4;
constexpr int64_t kIndexEntryBytes = 4 + 4;

#endif
