// Fuzz target for the geometry converter: any bytes, read with and without
// SpatiaLite blobs. A conversion must fail with a state and a message, or
// give a shape whose length agrees with its own type and counts; never read
// outside its input (AddressSanitizer watches that).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>

#include "gx/gx_shape.h"

// Adds the Z and M sections of a multipoint or multi-part shape: M codes
// have an M section, Z codes a Z section and optionally an M one.
static size_t with_measures(size_t type, size_t length, size_t xy_end, size_t points) {
    const size_t section = 16 + 8 * points;
    if (type / 10 == 2) {
        return xy_end + section;
    }
    if (type / 10 == 1) {
        return length == xy_end + section ? xy_end + section : xy_end + 2 * section;
    }
    return xy_end;
}

// The shape's length as its type and counts give it; 0 for an unknown type.
static size_t expected_length(const uint8_t* shape, size_t length) {
    auto u32 = [&](size_t at) {
        uint32_t value = 0;
        if (at + 4 <= length) {
            std::memcpy(&value, shape + at, 4);
        }
        return static_cast<size_t>(value);
    };
    size_t type = u32(0);
    size_t points = 0;
    switch (type) {
        case 0:
            return 4;
        case 1:
            return 20;
        case 21:
            return 28;
        case 11:
            return 36;
        case 8:
        case 18:
        case 28:
            points = u32(36);
            return with_measures(type, length, 40 + 16 * points, points);
        case 3:
        case 5:
        case 13:
        case 15:
        case 23:
        case 25: {
            points = u32(40);
            return with_measures(type, length, 44 + 4 * u32(36) + 16 * points, points);
        }
        default:
            return 0;
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static GxBuffer buffer;
    for (GxBlobFormats formats : {GxBlobFormats::kStandard, GxBlobFormats::kWithSpatiaLite}) {
        GxGeometryType type;
        GxError error;
        if (gx_geometry_to_shape(data, size, formats, buffer, type, error)) {
            if (expected_length(buffer.data, buffer.length) != buffer.length) {
                __builtin_trap();
            }
        } else if (error.sql_state == nullptr || error.message[0] == '\0') {
            __builtin_trap();
        }
    }
    return 0;
}
