// Byte order: the published byte vectors through the stream writers and
// readers, the reversers, unaligned loads and stores, and short reads.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "shape/byte_order.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What the stream holds from its start.
Bytes stream_bytes(FILE* stream) {
    std::fflush(stream);
    long end = std::ftell(stream);
    Bytes bytes(static_cast<size_t>(end));
    std::rewind(stream);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), stream), bytes.size());
    return bytes;
}

class ByteOrder : public testing::Test {
protected:
    void SetUp() override {
        detect_host_byte_order();
        stream_ = std::tmpfile();
        ASSERT_NE(stream_, nullptr);
    }
    void TearDown() override { std::fclose(stream_); }
    FILE* stream_ = nullptr;
};

TEST_F(ByteOrder, HostTestAgreesWithTheCompiler) {
    EXPECT_EQ(host_little_endian, __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? 1 : 0);
}

TEST_F(ByteOrder, WritersGiveTheFormatsBytesOnEitherHost) {
    EXPECT_TRUE(write_be_int32(9994, stream_));
    EXPECT_TRUE(write_le_int32(1000, stream_));
    EXPECT_TRUE(write_le_int16(32, stream_));
    EXPECT_TRUE(write_le_double(1.0, stream_));
    EXPECT_TRUE(write_be_int32(-1, stream_));
    EXPECT_TRUE(write_le_int32(-1, stream_));
    EXPECT_EQ(stream_bytes(stream_), (Bytes{0x00, 0x00, 0x27, 0x0A,                          //
                                            0xE8, 0x03, 0x00, 0x00,                          //
                                            0x20, 0x00,                                      //
                                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF0, 0x3F,  //
                                            0xFF, 0xFF, 0xFF, 0xFF,                          //
                                            0xFF, 0xFF, 0xFF, 0xFF}));

    // Pretending to be the other kind of host must give the same bytes: the
    // writer reverses exactly when the host's order is not the file's.
    FILE* other = std::tmpfile();
    ASSERT_NE(other, nullptr);
    int16_t real = host_little_endian;
    host_little_endian = static_cast<int16_t>(1 - real);
    int32_t be = 9994;
    int32_t le = 1000;
    swap4(&be);  // as the other host would hold these values in memory
    swap4(&le);
    write_be_int32(be, other);
    write_le_int32(le, other);
    host_little_endian = real;
    EXPECT_EQ(stream_bytes(other), (Bytes{0x00, 0x00, 0x27, 0x0A, 0xE8, 0x03, 0x00, 0x00}));
    std::fclose(other);
}

TEST_F(ByteOrder, ReadersReturnWhatTheWritersWrote) {
    const uint8_t file_code[] = {0x00, 0x00, 0x27, 0x0A};
    std::fwrite(file_code, 1, sizeof file_code, stream_);
    write_le_int16(-2, stream_);
    write_be_int32(-1, stream_);
    write_le_int32(-123456, stream_);
    write_le_double(-1.5e300, stream_);
    write_le_int16(32767, stream_);
    std::rewind(stream_);
    EXPECT_EQ(read_be_int32(stream_), 9994);
    EXPECT_EQ(read_le_int16(stream_), -2);
    EXPECT_EQ(read_be_int32(stream_), -1);
    EXPECT_EQ(read_le_int32(stream_), -123456);
    EXPECT_EQ(read_le_double(stream_), -1.5e300);
    EXPECT_EQ(read_le_int16(stream_), 32767);
    EXPECT_EQ(std::ftell(stream_), 4 + 2 + 4 + 4 + 8 + 2);
    EXPECT_FALSE(std::feof(stream_));
}

TEST_F(ByteOrder, ShortReadsGiveZeroAndLeaveEndOfFileSet) {
    const uint8_t two[] = {0x11, 0x22};
    std::fwrite(two, 1, sizeof two, stream_);
    std::rewind(stream_);
    EXPECT_EQ(read_le_int32(stream_), 0);  // two of four bytes: not a value
    EXPECT_TRUE(std::feof(stream_));

    std::rewind(stream_);
    EXPECT_EQ(read_be_int32(stream_), 0);
    EXPECT_TRUE(std::feof(stream_));
    std::rewind(stream_);
    EXPECT_EQ(read_le_double(stream_), 0.0);
    EXPECT_TRUE(std::feof(stream_));

    std::rewind(stream_);
    EXPECT_EQ(read_le_int16(stream_), 0x2211);
    EXPECT_FALSE(std::feof(stream_));
    EXPECT_EQ(read_le_int16(stream_), 0);  // nothing left
    EXPECT_TRUE(std::feof(stream_));
}

TEST_F(ByteOrder, WritersReportAFailedWrite) {
    FILE* read_only = std::fopen("/dev/null", "rb");
    ASSERT_NE(read_only, nullptr);
    EXPECT_FALSE(write_le_int16(1, read_only));
    EXPECT_FALSE(write_be_int32(1, read_only));
    EXPECT_FALSE(write_le_int32(1, read_only));
    EXPECT_FALSE(write_le_double(1.0, read_only));
    std::fclose(read_only);
}

TEST_F(ByteOrder, ReversersTurnBytesAroundAndBack) {
    uint8_t two[] = {1, 2};
    uint8_t four[] = {1, 2, 3, 4};
    uint8_t eight[] = {1, 2, 3, 4, 5, 6, 7, 8};
    swap2(two);
    swap4(four);
    swap8(eight);
    EXPECT_EQ(Bytes(two, two + 2), (Bytes{2, 1}));
    EXPECT_EQ(Bytes(four, four + 4), (Bytes{4, 3, 2, 1}));
    EXPECT_EQ(Bytes(eight, eight + 8), (Bytes{8, 7, 6, 5, 4, 3, 2, 1}));
    swap8(eight);
    EXPECT_EQ(Bytes(eight, eight + 8), (Bytes{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST_F(ByteOrder, LoadsAndStoresAtEveryAlignment) {
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
