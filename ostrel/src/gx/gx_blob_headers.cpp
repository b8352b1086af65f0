// The wrappings around a geometry in a database blob: GeoPackage binary's
// header, SpatiaLite's header and end mark, SpatiaLite's TinyPoint. Finds
// where the geometry itself lies; a blob with none of these is WKB or EWKB.

#include <cstddef>
#include <cstdint>

#include "gx/gx_shape_build.h"
#include "gx/gx_wkb_format.h"

// GeoPackage binary: "GP", version, flags, srs_id, then the envelope.
constexpr uint8_t kGpMagic0 = 0x47;  // 'G'
constexpr uint8_t kGpMagic1 = 0x50;  // 'P'
constexpr uint8_t kGpVersion1 = 0;   // every GeoPackage 1.x writes 0
constexpr size_t kGpSridAt = 2 + 1 + 1;
constexpr size_t kGpFixedHeaderBytes = kGpSridAt + 4;
constexpr unsigned kGpLittleEndianFlag = 0x01;
constexpr unsigned kGpEnvelopeShift = 1;
constexpr unsigned kGpEnvelopeMask = 0x7;
constexpr unsigned kGpEmptyFlag = 0x10;
constexpr unsigned kGpExtendedFlag = 0x20;
// Envelope bytes by contents indicator: none, XY, XYZ, XYM, XYZM.
constexpr size_t kGpEnvelopeBytes[] = {0, 4 * 8, 6 * 8, 6 * 8, 8 * 8};
constexpr unsigned kGpEnvelopeCodes = sizeof kGpEnvelopeBytes / sizeof kGpEnvelopeBytes[0];

// SpatiaLite blob: start byte, byte order, SRID, MBR, MBR end, class, body,
// end byte.
constexpr uint8_t kSlStart = 0x00;
constexpr uint8_t kSlBigEndian = 0x00;
constexpr uint8_t kSlLittleEndian = 0x01;
constexpr size_t kSlSridAt = 1 + 1;
constexpr size_t kSlMbrEndAt = kSlSridAt + 4 + 4 * 8;
constexpr uint8_t kSlMbrEnd = 0x7C;
constexpr size_t kSlClassAt = kSlMbrEndAt + 1;
constexpr uint8_t kSlEnd = 0xFE;
constexpr size_t kSlMinBytes = kSlClassAt + 4 + 1;

// SpatiaLite TinyPoint: start byte, byte order with the high bit set, SRID,
// a one-byte point class (1 XY, 2 XYZ, 3 XYM, 4 XYZM), the doubles, end byte.
constexpr uint8_t kTinyBigEndian = 0x80;
constexpr uint8_t kTinyLittleEndian = 0x81;
constexpr size_t kTinyClassAt = 1 + 1 + 4;
constexpr size_t kTinyFixedBytes = kTinyClassAt + 1 + 1;

static bool is_spatialite_blob(const uint8_t* in, size_t size) {
    return size >= kSlMinBytes && in[0] == kSlStart &&
           (in[1] == kSlBigEndian || in[1] == kSlLittleEndian) && in[kSlMbrEndAt] == kSlMbrEnd &&
           in[size - 1] == kSlEnd;
}

static bool is_tiny_point(const uint8_t* in, size_t size) {
    if (size <= kTinyFixedBytes || in[0] != kSlStart ||
        (in[1] != kTinyBigEndian && in[1] != kTinyLittleEndian) || in[size - 1] != kSlEnd) {
        return false;
    }
    uint8_t point_class = in[kTinyClassAt];
    size_t doubles = point_class == 1 ? 2 : point_class == 4 ? 4 : 3;
    return point_class >= 1 && point_class <= 4 && size == kTinyFixedBytes + 8 * doubles;
}

// The GeoPackage header: checked, skipped, its envelope ignored (the box is
// computed from the points). The empty flag is believed only when no geometry
// follows the header; when one does, its own contents decide.
static bool locate_in_geopackage(const uint8_t* in, size_t size, GxGeometrySource& source,
                                 GxError& error) {
    if (size < kGpFixedHeaderBytes) {
        return gx_fail(error, kGxBadHeader,
                       "GeoPackage geometry header truncated: %zu bytes, at least %zu needed.",
                       size, kGpFixedHeaderBytes);
    }
    uint8_t version = in[2];
    uint8_t flags = in[3];
    if (version != kGpVersion1) {
        return gx_fail(error, kGxBadHeader, "GeoPackage geometry of unknown version %u.",
                       unsigned{version});
    }
    if (flags & kGpExtendedFlag) {
        return gx_fail(error, kGxUnsupportedType,
                       "Extended GeoPackage geometry (flags 0x%02X) is not supported.",
                       unsigned{flags});
    }
    unsigned envelope_code = (flags >> kGpEnvelopeShift) & kGpEnvelopeMask;
    if (envelope_code >= kGpEnvelopeCodes) {
        return gx_fail(error, kGxBadHeader, "GeoPackage geometry header has envelope code %u.",
                       envelope_code);
    }
    size_t header_bytes = kGpFixedHeaderBytes + kGpEnvelopeBytes[envelope_code];
    if (size < header_bytes) {
        return gx_fail(error, kGxBadHeader,
                       "GeoPackage geometry header truncated: envelope code %u needs %zu bytes, "
                       "the blob has %zu.",
                       envelope_code, header_bytes, size);
    }
    source.at = in + header_bytes;
    source.dialect = GxDialect::kWkb;
    source.empty = (flags & kGpEmptyFlag) && size == header_bytes;
    return true;
}

bool gx_locate_geometry(const uint8_t* in, size_t size, GxBlobFormats formats,
                        GxGeometrySource& source, GxError& error) {
    source = GxGeometrySource{};
    if (size == 0) {
        return gx_fail(error, kGxBadHeader, "Empty blob: no geometry.");
    }
    source.blob = in;
    source.at = in;
    source.end = in + size;
    if (size >= 2 && in[0] == kGpMagic0 && in[1] == kGpMagic1) {
        return locate_in_geopackage(in, size, source, error);
    }
    if (formats == GxBlobFormats::kWithSpatiaLite) {
        if (is_spatialite_blob(in, size)) {
            source.dialect = GxDialect::kSpatiaLite;
            source.big_endian = in[1] == kSlBigEndian;
            source.at = in + kSlClassAt;
            source.end = in + size - 1;
            return true;
        }
        if (is_tiny_point(in, size)) {
            source.dialect = GxDialect::kTinyPoint;
            source.big_endian = in[1] == kTinyBigEndian;
            source.at = in + kTinyClassAt;
            source.end = in + size - 1;
            return true;
        }
    }
    return true;
}

int32_t gx_blob_srid(const uint8_t* in, size_t size, GxBlobFormats formats) {
    if (size >= kGpFixedHeaderBytes && in[0] == kGpMagic0 && in[1] == kGpMagic1) {
        bool big_endian = (in[3] & kGpLittleEndianFlag) == 0;
        return static_cast<int32_t>(gx_load_u32(in + kGpSridAt, big_endian));
    }
    if (formats == GxBlobFormats::kWithSpatiaLite &&
        (is_spatialite_blob(in, size) || is_tiny_point(in, size))) {
        bool big_endian = in[1] == kSlBigEndian || in[1] == kTinyBigEndian;
        return static_cast<int32_t>(gx_load_u32(in + kSlSridAt, big_endian));
    }
    if (size >= kWkbHeaderBytes + kSridBytes &&
        (in[0] == kWkbBigEndian || in[0] == kWkbLittleEndian)) {
        bool big_endian = in[0] == kWkbBigEndian;
        if ((gx_load_u32(in + 1, big_endian) & kEwkbSridFlag) != 0) {
            return static_cast<int32_t>(gx_load_u32(in + kWkbHeaderBytes, big_endian));
        }
    }
    return 0;
}
