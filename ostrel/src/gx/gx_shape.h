// The spatial extension's geometry converter: geometry bytes as users keep
// them in a database in, shapefile record content out. Shared by every engine.
//
// Inputs: GeoPackage binary, ISO WKB, EWKB, and (when asked for) SpatiaLite's
// blob geometry, its compressed classes and its TinyPoint. Output: the
// record content of one shape, little-endian, in the published layouts
// (null shape, point, multipoint, polyline, polygon; plain, M and Z codes).

#ifndef OSTREL_GX_GX_SHAPE_H
#define OSTREL_GX_GX_SHAPE_H

#include <cstddef>
#include <cstdint>

// The extension's SQL states; its conditions carry the extension's code
// (kExtensionErrorCode, core/status.h).
constexpr const char* kGxUnsupportedType = "GX001";   // GeometryCollection, curve, surface, TIN,
                                                      // extended GeoPackage geometry
constexpr const char* kGxTruncated = "GX002";         // input ends inside the geometry, bytes
                                                      // after it, or members out of place
constexpr const char* kGxCountBeyondInput = "GX003";  // a count needs more bytes than remain
constexpr const char* kGxUnknownType = "GX004";       // a type code no encoding defines
constexpr const char* kGxBadHeader = "GX005";  // not a geometry: bad GeoPackage or SpatiaLite
                                               // header, bad byte-order byte
constexpr const char* kGxNotFinite = "GX006";  // an X, Y or Z that is NaN or infinite
constexpr const char* kGxTooLarge = "GX007";   // the shape would pass the size a record can have
constexpr const char* kGxNotABlob = "GX008";   // GX_AsShape given a text or number
constexpr const char* kGxOutOfMemory = "GX009";
constexpr const char* kGxHolesWithoutExterior = "GX010";  // a polygon's holes after an empty
                                                          // exterior ring: nowhere to place them

// Longest message of a GxError, its NUL included; with the "GXnnn|" prefix it
// stays inside the 255 bytes a diagnostic message may have.
constexpr size_t kGxMessageBytes = 200;

// Largest shape record content the converter produces: a record's offset and
// length are 32-bit signed byte counts in the files that hold it.
constexpr size_t kGxMaxShapeBytes = 0x7FFFFFF0;

// Output buffer, reused from call to call: it grows, never shrinks, so a warm
// buffer costs no allocation.
struct GxBuffer {
    uint8_t* data = nullptr;
    size_t length = 0;
    size_t capacity = 0;
};
void gx_buffer_free(GxBuffer& buffer);

// Geometry kinds, numbered as WKB numbers them (without the dimension).
enum GxGeometryKind : uint32_t {
    kGxKindUnknown = 0,
    kGxPoint = 1,
    kGxLineString = 2,
    kGxPolygon = 3,
    kGxMultiPoint = 4,
    kGxMultiLineString = 5,
    kGxMultiPolygon = 6,
    kGxGeometryCollection = 7,
    kGxLastKnownKind = 17,  // Triangle
};

// What the input held, as far as it was read: for the trace.
struct GxGeometryType {
    uint32_t kind = kGxKindUnknown;
    bool has_z = false;
    bool has_m = false;
};

struct GxError {
    const char* sql_state = nullptr;  // one of the states above
    char message[kGxMessageBytes] = {0};
};

// Which blob formats a database can hold. SpatiaLite blobs are only looked
// for in SpatiaLite databases: their header cannot be told from a big-endian
// WKB with certainty.
enum class GxBlobFormats { kStandard, kWithSpatiaLite };

// Converts the geometry in in[0, size) into shape record content in out
// (out.length set; out.data grown as needed, never shrunk). type tells what
// the input held. Never reads outside the input, whatever its bytes. Returns
// false with error filled (and out.length 0) for input it cannot convert.
bool gx_geometry_to_shape(const uint8_t* in, size_t size, GxBlobFormats formats, GxBuffer& out,
                          GxGeometryType& type, GxError& error);

// The name of a geometry type for messages and the trace: "MultiPolygon ZM",
// "Point", "unknown". Fills text (NUL-terminated, cut to text_size).
// The SRID a geometry blob carries: a GeoPackage header's srs_id, a
// SpatiaLite blob's (with formats kWithSpatiaLite), EWKB's when its SRID flag
// is set; 0 when it carries none. Reads nothing past size.
int32_t gx_blob_srid(const uint8_t* in, size_t size, GxBlobFormats formats);

void gx_geometry_type_name(const GxGeometryType& type, char* text, size_t text_size);

// Called once per GX_AsShape conversion while the session traces at level 2
// or more: the input's geometry type name ("NULL" for a NULL value) and the
// result's size in bytes (0 for NULL and for an error).
using GxTraceCall = void (*)(void* context, const char* geometry_type, size_t result_bytes);

#endif
