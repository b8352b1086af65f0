// Walks a geometry's structure in WKB, EWKB or SpatiaLite's blob body:
// headers, counts, members, rings. Every count is checked against the bytes
// that remain before anything is read under it, so no input can make the
// converter read outside its blob; each run of points is then handed to the
// shape build (gx_shape_build.h), which decodes the coordinates.

#include <cinttypes>
#include <cstddef>
#include <cstdint>

#include "gx/gx_shape_build.h"
#include "gx/gx_wkb_format.h"

// SpatiaLite: compressed lines and rings add a million to the class; members
// of a collection start with a mark byte and their class, no byte order.
constexpr uint32_t kSlCompressedOffset = 1000000;
constexpr uint8_t kSlMemberMark = 0x69;
constexpr size_t kSlMemberHeaderBytes = 1 + 4;
constexpr size_t kSlClassBytes = 4;

// The TinyPoint's one-byte class: 1 XY, 2 XYZ, 3 XYM, 4 XYZM.
constexpr uint8_t kTinyPointXYZ = 2;
constexpr uint8_t kTinyPointXYM = 3;
constexpr uint8_t kTinyPointXYZM = 4;

namespace {

struct Header {
    uint32_t kind = kGxKindUnknown;
    GxPointLayout layout;  // dimensions, byte order, compression
    size_t offset = 0;     // of the header in the blob
};

struct Walk {
    const GxGeometrySource& source;
    GxShapeBuild& build;
    GxError& error;
};

}  // namespace

static size_t offset_of(const Walk& walk, const uint8_t* at) {
    return static_cast<size_t>(at - walk.source.blob);
}
static size_t bytes_left(const Walk& walk, const uint8_t* at) {
    return static_cast<size_t>(walk.source.end - at);
}

static bool truncated(const Walk& walk, const uint8_t* at, const char* what, const Header& owner) {
    return gx_fail(walk.error, kGxTruncated,
                   "Geometry truncated: the blob ends inside the %s of the %s at byte %zu.", what,
                   gx_kind_name(owner.kind), offset_of(walk, at));
}

// Splits an ISO dimension number (0 XY, 1 Z, 2 M, 3 ZM) into the layout.
static void set_dimensions(uint32_t dimension, GxPointLayout& layout) {
    layout.has_z = dimension == kIsoZ || dimension == kIsoZM;
    layout.has_m = dimension == kIsoM || dimension == kIsoZM;
}

// A WKB or EWKB type word into kind and dimensions; false for a word that is
// neither (ISO offsets together with EWKB flags count as neither).
static bool decode_wkb_type(uint32_t word, Header& header, bool& has_srid) {
    bool ewkb_z = word & kEwkbZFlag;
    bool ewkb_m = word & kEwkbMFlag;
    has_srid = word & kEwkbSridFlag;
    uint32_t code = word & kEwkbCodeMask;
    if ((word & kEwkbUnusedBit) || code > kIsoZM * kIsoDimensionStep + kGxLastKnownKind) {
        return false;
    }
    uint32_t dimension = code / kIsoDimensionStep;
    header.kind = code % kIsoDimensionStep;
    if (dimension != 0 && (ewkb_z || ewkb_m)) {
        return false;
    }
    set_dimensions(dimension, header.layout);
    header.layout.has_z |= ewkb_z;
    header.layout.has_m |= ewkb_m;
    return header.kind != kGxKindUnknown && header.kind <= kGxLastKnownKind;
}

static bool read_wkb_header(Walk& walk, const uint8_t*& at, Header& header) {
    header.offset = offset_of(walk, at);
    if (bytes_left(walk, at) < kWkbHeaderBytes) {
        return gx_fail(walk.error, kGxTruncated,
                       "Geometry truncated: the blob ends inside a geometry header at byte %zu.",
                       header.offset);
    }
    if (at[0] != kWkbBigEndian && at[0] != kWkbLittleEndian) {
        if (at == walk.source.blob) {
            return gx_fail(walk.error, kGxBadHeader,
                           "Not a geometry blob: it starts with byte 0x%02X, which is neither a "
                           "GeoPackage header nor a WKB byte order.",
                           unsigned{at[0]});
        }
        return gx_fail(walk.error, kGxBadHeader, "Bad WKB byte-order byte 0x%02X at byte %zu.",
                       unsigned{at[0]}, header.offset);
    }
    header.layout.big_endian = at[0] == kWkbBigEndian;
    uint32_t word = gx_load_u32(at + 1, header.layout.big_endian);
    bool has_srid = false;
    if (!decode_wkb_type(word, header, has_srid)) {
        return gx_fail(walk.error, kGxUnknownType,
                       "Unknown WKB geometry type %" PRIu32 " (0x%08" PRIX32 ") at byte %zu.", word,
                       word, header.offset);
    }
    at += kWkbHeaderBytes;
    if (has_srid) {
        if (bytes_left(walk, at) < kSridBytes) {
            return truncated(walk, at, "SRID", header);
        }
        at += kSridBytes;
    }
    return true;
}

// A SpatiaLite class: at the top after the header, or a collection member's
// with its mark byte before it.
static bool read_spatialite_class(Walk& walk, const uint8_t*& at, bool member, Header& header) {
    header.offset = offset_of(walk, at);
    header.layout.big_endian = walk.source.big_endian;
    size_t header_bytes = member ? kSlMemberHeaderBytes : kSlClassBytes;
    if (bytes_left(walk, at) < header_bytes) {
        return gx_fail(walk.error, kGxTruncated,
                       "Geometry truncated: the blob ends inside a geometry class at byte %zu.",
                       header.offset);
    }
    if (member && at[0] != kSlMemberMark) {
        return gx_fail(walk.error, kGxTruncated,
                       "Malformed SpatiaLite geometry: the member at byte %zu lacks its 0x%02X "
                       "mark.",
                       header.offset, unsigned{kSlMemberMark});
    }
    uint32_t word = gx_load_u32(at + header_bytes - kSlClassBytes, walk.source.big_endian);
    uint32_t code = word;
    if (code >= kSlCompressedOffset) {
        code -= kSlCompressedOffset;
        header.layout.compressed = true;
    }
    uint32_t dimension = code / kIsoDimensionStep;
    header.kind = code % kIsoDimensionStep;
    set_dimensions(dimension, header.layout);
    bool known =
        dimension <= kIsoZM && header.kind >= kGxPoint && header.kind <= kGxGeometryCollection &&
        (!header.layout.compressed || header.kind == kGxLineString || header.kind == kGxPolygon);
    if (!known) {
        return gx_fail(walk.error, kGxUnknownType,
                       "Unknown SpatiaLite geometry class %" PRIu32 " at byte %zu.", word,
                       header.offset);
    }
    at += header_bytes;
    return true;
}

static void read_tiny_point_class(const uint8_t*& at, Header& header, bool big_endian) {
    uint8_t point_class = *at++;  // checked when the blob was recognised
    header.kind = kGxPoint;
    header.layout.big_endian = big_endian;
    header.layout.has_z = point_class == kTinyPointXYZ || point_class == kTinyPointXYZM;
    header.layout.has_m = point_class == kTinyPointXYM || point_class == kTinyPointXYZM;
}

static bool read_count(Walk& walk, const uint8_t*& at, const Header& owner, const char* what,
                       uint32_t& count) {
    if (bytes_left(walk, at) < kWkbCountBytes) {
        return truncated(walk, at, what, owner);
    }
    count = gx_load_u32(at, owner.layout.big_endian);
    at += kWkbCountBytes;
    return true;
}

// Hands a run of count points at `at` to the build, once its bytes are known
// to lie inside the blob.
static bool walk_run(Walk& walk, const uint8_t*& at, const Header& owner, GxRunRole role,
                     uint32_t count) {
    uint64_t run_bytes = gx_run_bytes(owner.layout, count);
    if (run_bytes > bytes_left(walk, at)) {
        if (role == GxRunRole::kPoint) {
            return truncated(walk, at, "coordinates", owner);
        }
        return gx_fail(walk.error, kGxCountBeyondInput,
                       "Count beyond the blob: %" PRIu32
                       " points of the %s at byte %zu need %" PRIu64 " bytes, %zu remain.",
                       count, gx_kind_name(owner.kind), owner.offset, run_bytes,
                       bytes_left(walk, at));
    }
    GxPointRun run{at, count, owner.layout, role, owner.offset};
    at += run_bytes;
    return gx_take_run(walk.build, run);
}

// Fewest bytes a member of a multi-geometry of this kind can take.
static size_t least_member_bytes(const Walk& walk, const Header& multi) {
    size_t header_bytes =
        walk.source.dialect == GxDialect::kSpatiaLite ? kSlMemberHeaderBytes : kWkbHeaderBytes;
    GxPointLayout full = multi.layout;
    full.compressed = false;
    return header_bytes +
           (multi.kind == kGxMultiPoint ? gx_full_point_bytes(full) : kWkbCountBytes);
}

static bool walk_body(Walk& walk, const uint8_t*& at, const Header& header);

static bool walk_members(Walk& walk, const uint8_t*& at, const Header& multi) {
    uint32_t count = 0;
    if (!read_count(walk, at, multi, "member count", count)) {
        return false;
    }
    uint64_t least_bytes = uint64_t{count} * least_member_bytes(walk, multi);
    if (least_bytes > bytes_left(walk, at)) {
        return gx_fail(
            walk.error, kGxCountBeyondInput,
            "Count beyond the blob: %" PRIu32
            " members of the %s at byte %zu need at least %" PRIu64 " bytes, %zu remain.",
            count, gx_kind_name(multi.kind), multi.offset, least_bytes, bytes_left(walk, at));
    }
    const uint32_t member_kind = multi.kind - (kGxMultiPoint - kGxPoint);
    for (uint32_t index = 0; index < count; ++index) {
        Header member;
        bool read = walk.source.dialect == GxDialect::kSpatiaLite
                        ? read_spatialite_class(walk, at, true, member)
                        : read_wkb_header(walk, at, member);
        if (!read) {
            return false;
        }
        if (member.kind != member_kind) {
            return gx_fail(walk.error, kGxTruncated,
                           "Malformed geometry: member %" PRIu32 " of the %s at byte %zu is a %s.",
                           index + 1, gx_kind_name(multi.kind), multi.offset,
                           gx_kind_name(member.kind));
        }
        if (member.layout.has_z != multi.layout.has_z ||
            member.layout.has_m != multi.layout.has_m) {
            return gx_fail(walk.error, kGxTruncated,
                           "Malformed geometry: member %" PRIu32
                           " of the %s at byte %zu has other dimensions (Z, M) than the %s.",
                           index + 1, gx_kind_name(multi.kind), multi.offset,
                           gx_kind_name(multi.kind));
        }
        if (!walk_body(walk, at, member)) {
            return false;
        }
    }
    return true;
}

static bool walk_polygon(Walk& walk, const uint8_t*& at, const Header& polygon) {
    uint32_t rings = 0;
    if (!read_count(walk, at, polygon, "ring count", rings)) {
        return false;
    }
    if (uint64_t{rings} * kWkbCountBytes > bytes_left(walk, at)) {
        return gx_fail(
            walk.error, kGxCountBeyondInput,
            "Count beyond the blob: %" PRIu32
            " rings of the Polygon at byte %zu need at least %" PRIu64 " bytes, %zu remain.",
            rings, polygon.offset, uint64_t{rings} * kWkbCountBytes, bytes_left(walk, at));
    }
    for (uint32_t ring = 0; ring < rings; ++ring) {
        uint32_t points = 0;
        GxRunRole role = ring == 0 ? GxRunRole::kExteriorRing : GxRunRole::kInteriorRing;
        if (!read_count(walk, at, polygon, "ring point count", points) ||
            !walk_run(walk, at, polygon, role, points)) {
            return false;
        }
    }
    return true;
}

// Every kind the converter does not write (collections, curves, surfaces)
// starts its body with a count; with a count of 0 it is empty, and an empty
// geometry is the null shape whatever its kind.
static bool walk_unsupported(Walk& walk, const uint8_t*& at, const Header& header) {
    uint32_t count = 0;
    if (!read_count(walk, at, header, "count", count)) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    return gx_fail(walk.error, kGxUnsupportedType,
                   "Unsupported geometry type %s at byte %zu: a shape holds points, lines or "
                   "polygons only.",
                   gx_kind_name(header.kind), header.offset);
}

static bool walk_body(Walk& walk, const uint8_t*& at, const Header& header) {
    uint32_t count = 0;
    switch (header.kind) {
        case kGxPoint:
            return walk_run(walk, at, header, GxRunRole::kPoint, 1);
        case kGxLineString:
            return read_count(walk, at, header, "point count", count) &&
                   walk_run(walk, at, header, GxRunRole::kLine, count);
        case kGxPolygon:
            return walk_polygon(walk, at, header);
        case kGxMultiPoint:
        case kGxMultiLineString:
        case kGxMultiPolygon:
            return walk_members(walk, at, header);
        default:
            return walk_unsupported(walk, at, header);
    }
}

bool gx_walk_geometry(const GxGeometrySource& source, GxShapeBuild& build) {
    Walk walk{source, build, *build.error};
    const uint8_t* at = source.at;
    Header top;
    bool read = true;
    switch (source.dialect) {
        case GxDialect::kWkb:
            read = read_wkb_header(walk, at, top);
            break;
        case GxDialect::kSpatiaLite:
            read = read_spatialite_class(walk, at, false, top);
            break;
        case GxDialect::kTinyPoint:
            read_tiny_point_class(at, top, source.big_endian);
            break;
    }
    if (!read) {
        return false;
    }
    build.type->kind = top.kind;
    build.type->has_z = top.layout.has_z;
    build.type->has_m = top.layout.has_m;
    if (!walk_body(walk, at, top)) {
        return false;
    }
    if (at != source.end) {
        return gx_fail(walk.error, kGxTruncated,
                       "Malformed geometry: %zu bytes follow the %s that ends at byte %zu.",
                       bytes_left(walk, at), gx_kind_name(top.kind), offset_of(walk, at));
    }
    return true;
}
