// Byte vectors for the shapefile tests: shapes and expected file contents are
// built by appending values in their file order, independently of the
// offsets the code under test computes.

#ifndef SPOOLMAP_TESTS_SHAPE_TEST_BYTES_H
#define SPOOLMAP_TESTS_SHAPE_TEST_BYTES_H

#include <cstdint>
#include <cstring>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline void put_le32(Bytes& bytes, int32_t value) {
    uint32_t u = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) {
        bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
}

inline void put_be32(Bytes& bytes, int32_t value) {
    uint32_t u = static_cast<uint32_t>(value);
    for (int i = 3; i >= 0; --i) {
        bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
}

inline void put_le_double(Bytes& bytes, double value) {
    uint64_t u;
    std::memcpy(&u, &value, sizeof u);
    for (int i = 0; i < 8; ++i) {
        bytes.push_back(static_cast<uint8_t>(u >> (8 * i)));
    }
}

// The record content of a point (shape type 1) at x, y.
inline Bytes xy_point(double x, double y) {
    Bytes bytes;
    put_le32(bytes, 1);
    put_le_double(bytes, x);
    put_le_double(bytes, y);
    return bytes;
}

#endif
