// Test helpers for the geometry converter: a byte builder for inputs and
// expected outputs, written without the converter's own code, and a reader of
// shape record content that checks the layout's lengths on its own.

#ifndef OSTREL_TESTS_GX_TEST_BYTES_H
#define OSTREL_TESTS_GX_TEST_BYTES_H

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/shape_format.h"
#include "gx/gx_shape.h"

using Bytes = std::vector<uint8_t>;

// Appends values in a chosen byte order: Put(bytes).u32(1).f64(3.0).
struct Put {
    Bytes& bytes;
    bool big_endian = false;

    Put& u8(uint8_t value) {
        bytes.push_back(value);
        return *this;
    }
    Put& raw(uint64_t value, int width) {
        for (int i = 0; i < width; ++i) {
            int shift = 8 * (big_endian ? width - 1 - i : i);
            bytes.push_back(static_cast<uint8_t>(value >> shift));
        }
        return *this;
    }
    Put& u32(uint32_t value) { return raw(value, 4); }
    Put& f64(double value) {
        uint64_t bits;
        std::memcpy(&bits, &value, 8);
        return raw(bits, 8);
    }
    Put& f32(float value) {
        uint32_t bits;
        std::memcpy(&bits, &value, 4);
        return raw(bits, 4);
    }
    Put& f64s(std::initializer_list<double> values) {
        for (double value : values) {
            f64(value);
        }
        return *this;
    }
};

inline Put le(Bytes& bytes) {
    return Put{bytes, false};
}
inline Put be(Bytes& bytes) {
    return Put{bytes, true};
}

inline Bytes from_hex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

struct Converted {
    bool ok = false;
    Bytes shape;
    GxGeometryType type;
    std::string sql_state;
    std::string message;
};

inline Converted convert(const Bytes& in, GxBlobFormats formats = GxBlobFormats::kWithSpatiaLite) {
    static GxBuffer buffer;  // reused, as the SQL function reuses its own
    Converted result;
    GxError error;
    result.ok = gx_geometry_to_shape(in.data(), in.size(), formats, buffer, result.type, error);
    if (result.ok) {
        result.shape.assign(buffer.data, buffer.data + buffer.length);
    } else {
        result.sql_state = error.sql_state ? error.sql_state : "(none)";
        result.message = error.message;
    }
    return result;
}

// A shape read back: its numbers, or ok false when the content's length does
// not match what its counts say.
struct ReadShape {
    bool ok = false;
    int32_t type = -1;
    double box[4] = {0, 0, 0, 0};
    std::vector<int32_t> parts;
    std::vector<double> x, y, z, m;
    double z_range[2] = {0, 0};
    double m_range[2] = {0, 0};
    bool has_z = false;
    bool has_m = false;
};

inline ReadShape read_shape(const Bytes& bytes) {
    ReadShape shape;
    size_t at = 0;
    bool fits = true;
    auto i32 = [&]() {
        int32_t value = 0;
        if (at + 4 > bytes.size()) {
            fits = false;
            return value;
        }
        std::memcpy(&value, bytes.data() + at, 4);
        at += 4;
        return value;
    };
    auto f64 = [&]() {
        double value = 0;
        if (at + 8 > bytes.size()) {
            fits = false;
            return value;
        }
        std::memcpy(&value, bytes.data() + at, 8);
        at += 8;
        return value;
    };
    shape.type = i32();
    const int32_t t = shape.type;
    bool point = t == kShapePoint || t == kShapePointZ || t == kShapePointM;
    bool multipoint = t == kShapeMultiPoint || t == kShapeMultiPointZ || t == kShapeMultiPointM;
    bool z =
        t == kShapePointZ || t == kShapePolyLineZ || t == kShapePolygonZ || t == kShapeMultiPointZ;
    bool m =
        t == kShapePointM || t == kShapePolyLineM || t == kShapePolygonM || t == kShapeMultiPointM;
    if (t == kShapeNull) {
        shape.ok = fits && at == bytes.size();
        return shape;
    }
    if (point) {
        shape.x.push_back(f64());
        shape.y.push_back(f64());
        if (z) {
            shape.z.push_back(f64());
        }
        if (z || m) {
            shape.m.push_back(f64());
        }
        shape.has_z = z;
        shape.has_m = z || m;
        shape.ok = fits && at == bytes.size();
        return shape;
    }
    for (double& value : shape.box) {
        value = f64();
    }
    int32_t parts = multipoint ? 0 : i32();
    int32_t points = i32();
    if (!fits || parts < 0 || points < 0 || (parts + points) * 4 > int64_t(bytes.size())) {
        return shape;
    }
    for (int32_t i = 0; i < parts; ++i) {
        shape.parts.push_back(i32());
    }
    for (int32_t i = 0; i < points; ++i) {
        shape.x.push_back(f64());
        shape.y.push_back(f64());
    }
    auto section = [&](double* range, std::vector<double>& values) {
        range[0] = f64();
        range[1] = f64();
        for (int32_t i = 0; i < points; ++i) {
            values.push_back(f64());
        }
    };
    if (z) {
        section(shape.z_range, shape.z);
        shape.has_z = true;
    }
    // M is optional after Z: present only when bytes remain.
    if (m || (z && at < bytes.size())) {
        section(shape.m_range, shape.m);
        shape.has_m = true;
    }
    shape.ok = fits && at == bytes.size();
    return shape;
}

#endif
