// Shape type codes and the record-content layout each implies, the check of a
// shape buffer against its layout, and the reading of a shape's bounds. Every
// read stays inside the buffer's length: a shape whose type is unknown or
// whose counts do not fit its length is refused before any value past its
// shape type is read. Nothing here ends the run: a refusal is a sentence
// for the caller.

#ifndef SPOOLMAP_SHAPE_SHAPE_LAYOUT_H
#define SPOOLMAP_SHAPE_SHAPE_LAYOUT_H

#include <cstddef>
#include <cstdint>

#include "common/shape_format.h"
#include "shape/main_header.h"

// One geometry in record-content layout (all numbers little-endian), as the
// server returns it, and its length in bytes.
struct ShapeBuffer {
    const uint8_t* bytes;
    int32_t length;
};

constexpr int32_t kNullShapeType = kShapeNull;

enum class ShapeFamily { kNull, kPoint, kMultipoint, kMultiPart };

// What a shape type code implies. The Z types 13, 15 and 18 may leave their
// M part out; 9, 10, 19 and 20 are the Z types that never have one.
struct ShapeKind {
    ShapeFamily family;
    bool has_z;
    bool has_m;
    bool m_optional;
};

// False for a code the program does not know (anything but the null shape
// and the sixteen codes of its table).
bool shape_kind_of(int32_t code, ShapeKind& kind);

// The name of a shape type code: "point", "polyline", "polygon",
// "multipoint", each also with a "z" or an "m" ("polygonz"), and "null";
// null for the codes known by number only (9, 10, 19, 20) and for unknown
// ones.
const char* shape_type_name(int32_t code);

// The code of a shape type name other than "null", ignoring ASCII case
// ("PolygonZ" is 15). False for any other text.
bool shape_type_by_name(const char* name, int32_t& code);

// Every code but the null shape's, each with its name where it has one, in
// one line: "1 point, 3 polyline, ..., 9, 10, ...". A buffer of
// kShapeTypeChoicesBytes holds it; a smaller one gets it cut.
constexpr size_t kShapeTypeChoicesBytes = 256;
void shape_type_choices(char* buffer, size_t size);

// What a column declared in a spatial catalogue unloads to: geometry_type is
// the catalogue's type ("MULTIPOLYGON", "POINTM" for M without Z, any case)
// and coord_dimension 2 to 4, as PostGIS gives them. A point type gives a
// point shape type, a line type a polyline, a polygon type a polygon,
// MULTIPOINT a multipoint; Z (with or without M) gives the Z code, M alone the
// M code. kAnyShapeType for a generic column ("GEOMETRY", or none declared:
// null or empty),
// whose first row decides; kNoShapeType for types no shapefile holds
// (collections, curves, surfaces).
constexpr int32_t kAnyShapeType = 0;
constexpr int32_t kNoShapeType = -1;
int32_t declared_shape_type(const char* geometry_type, int coord_dimension);

// Where a shape's values lie, once its counts have been checked against its
// length. An offset of -1 marks a bound the shape does not carry (no Z or M
// section, or an M part left out): its value is 0.0.
struct ShapeLayout {
    int32_t type;
    ShapeKind kind;
    int32_t num_parts;
    int32_t num_points;
    int64_t xmin, ymin, xmax, ymax;
    int64_t zmin, zmax, mmin, mmax;
};

// Room for any problem sentence of measure_shape and validate_shape.
constexpr size_t kShapeProblemBytes = 256;

// Checks the shape type, the counts and the length against the type's layout
// and fills layout; reads nothing past shape.length. On a refusal returns
// false with one sentence naming the problem in problem (for an unknown type
// "Unknown shape type(%d)."). Does not look at part indexes.
bool measure_shape(const ShapeBuffer& shape, ShapeLayout& layout, char* problem, size_t size);

// measure_shape, and for a polyline or polygon also its part indexes: the
// first part starts at point 0, each later one no earlier than the one before,
// all below NumPoints. A shape that passes can be written as it is.
bool validate_shape(const ShapeBuffer& shape, ShapeLayout& layout, char* problem, size_t size);

// The eight bounds of a shape that measure_shape has passed into layout; all
// 0.0 for the null shape, except that a shape of a type with measures that
// leaves its M part out has the M range kNoDataMeasure.
Extent shape_bounds(const ShapeBuffer& shape, const ShapeLayout& layout);

// The first 32-bit integer of the buffer. A buffer shorter than that gives
// -1, a code no layout has, so that every later step refuses it.
int32_t shape_type_of(const ShapeBuffer& shape);

#endif
