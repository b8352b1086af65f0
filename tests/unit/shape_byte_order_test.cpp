// Byte order: the published byte vectors, and loads and stores at every
// alignment.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "common/byte_order.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The published byte vectors: the main header's file code, version and a
// bound, a .dbf length, negative values in either order.
TEST(ByteOrder, StoresGiveTheFormatsBytes) {
    Bytes bytes(26, 0);
    store_be_int32(bytes.data(), 0, 9994);
    store_le_int32(bytes.data(), 4, 1000);
    store_le_int16(bytes.data(), 8, 32);
    store_le_double(bytes.data(), 10, 1.0);
    store_be_int32(bytes.data(), 18, -1);
    store_le_int32(bytes.data(), 22, -1);
    EXPECT_EQ(bytes, (Bytes{0x00, 0x00, 0x27, 0x0A,                          //
                            0xE8, 0x03, 0x00, 0x00,                          //
                            0x20, 0x00,                                      //
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  //
                            0xFF, 0xFF, 0xFF, 0xFF,                          //
                            0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(load_be_int32(bytes.data(), 0), 9994);
    EXPECT_EQ(load_le_int32(bytes.data(), 4), 1000);
    EXPECT_EQ(load_le_int16(bytes.data(), 8), 32);
    EXPECT_EQ(load_le_double(bytes.data(), 10), 1.0);
    EXPECT_EQ(load_be_int32(bytes.data(), 18), -1);
}

TEST(ByteOrder, LoadsAndStoresAtEveryAlignment) {
    const uint8_t five[] = {0x05, 0x00, 0x00, 0x00};
    const uint8_t one[] = {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F};
    for (size_t offset = 0; offset < 8; ++offset) {
        // Surround the value with bytes that must not leak into it.
        Bytes buffer(offset + 16, 0xAB);
        std::memcpy(buffer.data() + offset, five, sizeof five);
        EXPECT_EQ(load_le_int32(buffer.data(), offset), 5) << offset;
        EXPECT_EQ(load_be_int32(buffer.data(), offset), 0x05000000) << offset;
        EXPECT_EQ(load_le_int16(buffer.data(), offset), 5) << offset;
        std::memcpy(buffer.data() + offset, one, sizeof one);
        EXPECT_EQ(load_le_double(buffer.data(), offset), 1.0) << offset;

        Bytes stored(offset + 8, 0);
        store_be_int32(stored.data(), offset, 9994);
        EXPECT_EQ(Bytes(stored.begin() + offset, stored.begin() + offset + 4),
                  (Bytes{0x00, 0x00, 0x27, 0x0A}));
        store_le_double(stored.data(), offset, 1.0);
        EXPECT_EQ(Bytes(stored.begin() + offset, stored.end()), Bytes(one, one + 8));
        store_le_int32(stored.data(), offset, -2);
        EXPECT_EQ(load_le_int32(stored.data(), offset), -2);
        store_le_int16(stored.data(), offset, 32);
        EXPECT_EQ(Bytes(stored.begin() + offset, stored.begin() + offset + 2), (Bytes{0x20, 0x00}));
        EXPECT_TRUE(
            std::all_of(stored.begin(), stored.begin() + offset, [](uint8_t b) { return b == 0; }));
    }
}

}  // namespace
