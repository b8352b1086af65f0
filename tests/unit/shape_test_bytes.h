// Byte vectors for the shapefile tests: shapes and expected file contents are
// built by appending values in their file order, independently of the
// offsets the code under test computes.

#ifndef SPOOLMAP_TESTS_SHAPE_TEST_BYTES_H
#define SPOOLMAP_TESTS_SHAPE_TEST_BYTES_H

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
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

inline Bytes file_bytes(const std::string& path) {
    Bytes bytes;
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot open " << path;
        return bytes;
    }
    int c;
    while ((c = std::fgetc(file)) != EOF) {
        bytes.push_back(static_cast<uint8_t>(c));
    }
    std::fclose(file);
    return bytes;
}

#endif
