// The main header: its 100 bytes written and read back, the final values of
// both headers, the faults of an existing header refused, and the dump text.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "process_end_capture.h"
#include "shape/main_header.h"
#include "shape/shape_record.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes stream_bytes(FILE* stream) {
    std::fflush(stream);
    std::fseek(stream, 0, SEEK_END);
    Bytes bytes(static_cast<size_t>(std::ftell(stream)));
    std::rewind(stream);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), stream), bytes.size());
    return bytes;
}

// A header as an empty init run leaves it, with a bound of 1.5 and -2.25 to
// see the file order of the bounds.
const Bytes kHeaderBytes = {
    0x00, 0x00, 0x27, 0x0A,                                // file code 9994, big-endian
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0,  // reserved
    0,    0,    0,    0,    0,    0,    0,    0,    0, 0,  //
    0x00, 0x00, 0x00, 0x32,                                // file length 50 words
    0xE8, 0x03, 0x00, 0x00,                                // version 1000
    0x01, 0x00, 0x00, 0x00,                                // shape type 1
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xF8, 0x3F,        // xmin 1.5
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0xC0,        // ymin -2.25
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // xmax
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // ymax
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // zmin
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // zmax
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // mmin
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,        // mmax
};

TEST(MainHeader, EmptyInitRunGivesTheExactHundredBytes) {
    ASSERT_EQ(kHeaderBytes.size(), static_cast<size_t>(kMainHeaderBytes));
    ShapeTally tally;
    tally.shp_offset = kMainHeaderBytes;
    tally.record_number = 0;
    tally.extent.xmin = 1.5;
    tally.extent.ymin = -2.25;
    ShapeFileHeader shp;
    ShapeFileHeader shx;
    finish_main_headers(tally, 1, shp, shx);

    for (const ShapeFileHeader* header : {&shp, &shx}) {
        FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        // The run positions the streams at 100 before the first record: the
        // header area is a zero-filled hole until the header is written.
        std::fseek(stream, kMainHeaderBytes, SEEK_SET);
        write_main_header(stream, "t.shp", *header);
        EXPECT_EQ(std::ftell(stream), kMainHeaderBytes);
        EXPECT_EQ(stream_bytes(stream), kHeaderBytes);
        std::fclose(stream);
    }
}

TEST(MainHeader, FinalLengthsOfThreePointRecords) {
    ShapeTally tally;
    tally.shp_offset = kMainHeaderBytes + 3 * (8 + 20);
    tally.record_number = 3;
    ShapeFileHeader shp;
    ShapeFileHeader shx;
    finish_main_headers(tally, 1, shp, shx);
    EXPECT_EQ(shp.file_length, 92);
    EXPECT_EQ(shx.file_length, 62);
    for (const ShapeFileHeader* header : {&shp, &shx}) {
        EXPECT_EQ(header->file_code, 9994);
        EXPECT_EQ(header->version, 1000);
        EXPECT_EQ(header->shape_type, 1);
    }

    // The largest set the size check lets through still fits the fields.
    tally.shp_offset = INT32_MAX - 1;
    tally.record_number = (INT32_MAX - kMainHeaderBytes) / 8;
    finish_main_headers(tally, 1, shp, shx);
    EXPECT_EQ(shp.file_length, INT32_MAX / 2);
    EXPECT_EQ(shx.file_length, (kMainHeaderBytes + 8 * tally.record_number) / 2);
}

TEST(MainHeader, ReadKeepsReservedBytes) {
    Bytes bytes = kHeaderBytes;
    for (int i = 4; i < 24; ++i) {
        bytes[i] = static_cast<uint8_t>(i);  // what another writer left there
    }
    bytes.push_back(0x77);  // a record byte after the header
    FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), stream);
    std::rewind(stream);

    ShapeFileHeader header;
    read_main_header(stream, "t.shp", header);
    EXPECT_EQ(std::ftell(stream), kMainHeaderBytes);
    EXPECT_EQ(header.file_code, 9994);
    EXPECT_EQ(header.file_length, 50);
    EXPECT_EQ(header.version, 1000);
    EXPECT_EQ(header.shape_type, 1);
    EXPECT_EQ(header.extent.xmin, 1.5);
    EXPECT_EQ(header.extent.ymin, -2.25);

    // Rewritten after an append, bytes 4 to 23 are what they were and the
    // record after the header is untouched.
    header.file_length = 64;
    write_main_header(stream, "t.shp", header);
    Bytes expected = bytes;
    expected[27] = 0x40;
    EXPECT_EQ(stream_bytes(stream), expected);
    std::fclose(stream);
}

// An append continues what the header describes, so a header it cannot
// trust is refused, each fault with its own message.
TEST(MainHeader, ExistingHeaderFaults) {
    auto with_length = [](int32_t words) {
        Bytes bytes = kHeaderBytes;
        store_be_int32(bytes.data(), kHeaderFileLengthOffset, words);
        return bytes;
    };
    Bytes wrong_code = kHeaderBytes;
    wrong_code[3] = 0x0B;
    struct Case {
        const char* what;
        Bytes bytes;
        int64_t file_bytes;
        MainHeaderFault fault;
        const char* message;
    } cases[] = {
        {"whole", kHeaderBytes, 100, MainHeaderFault::kNone, nullptr},
        {"cut", Bytes(kHeaderBytes.begin(), kHeaderBytes.end() - 1), 99, MainHeaderFault::kTooShort,
         "\nFile t.shp is too short to hold a shapefile header.\n"},
        {"file code", wrong_code, 100, MainHeaderFault::kWrongFileCode,
         "\nFile t.shp is not a shapefile: its file code is 9995, not 9994.\n"},
        {"longer than the file", with_length(54), 104, MainHeaderFault::kWrongLength,
         "\nFile t.shp is 104 bytes long but its header says 108.\n"},
        {"shorter than a header", with_length(49), 100, MainHeaderFault::kWrongLength,
         "\nFile t.shp is 100 bytes long but its header says 98.\n"},
        {"negative", with_length(-1), 100, MainHeaderFault::kWrongLength,
         "\nFile t.shp is 100 bytes long but its header says -2.\n"},
    };
    for (const Case& c : cases) {
        ShapeFileHeader header;
        EXPECT_EQ(decode_existing_main_header(c.bytes.data(), c.bytes.size(), c.file_bytes, header),
                  c.fault)
            << c.what;
        Bytes file = c.bytes;
        file.resize(static_cast<size_t>(c.file_bytes));
        FILE* stream = std::tmpfile();
        ASSERT_NE(stream, nullptr);
        std::fwrite(file.data(), 1, file.size(), stream);
        std::rewind(stream);
        EndResult result = run_capturing_end([&] { read_main_header(stream, "t.shp", header); });
        std::fclose(stream);
        EXPECT_EQ(result.ended, c.message != nullptr) << c.what;
        EXPECT_EQ(result.err, c.message != nullptr ? c.message : "") << c.what;
    }
}

TEST(MainHeader, FailedHeaderWriteEndsTheRunNamingTheFile) {
    FILE* read_only = std::fopen("/dev/null", "rb");
    ASSERT_NE(read_only, nullptr);
    ShapeFileHeader header;
    EndResult result = run_capturing_end([&] { write_main_header(read_only, "out.shx", header); });
    std::fclose(read_only);
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "\nWrite failed for file out.shx: Bad file descriptor.\n");
}

TEST(MainHeader, DumpText) {
    ShapeFileHeader header;
    header.file_code = 9994;
    header.file_length = 50;
    header.version = 1000;
    header.shape_type = 13;
    header.extent = {1.5, 2.0, -3.25, 4.0, 0.0, 0.0, -1e10, 1234567.125};
    char text[1024] = "left over";
    format_main_header(header, text, sizeof text);
    EXPECT_STREQ(text,
                 "File code                  = 9994\n"
                 "File length (16-bit words) = 50\n"
                 "Version                    = 1000\n"
                 "Shape type                 = 13\n"
                 "\n"
                 "Bounding box xmin          = 1.500000\n"
                 "Bounding box ymin          = -3.250000\n"
                 "Bounding box xmax          = 2.000000\n"
                 "Bounding box ymax          = 4.000000\n"
                 "Bounding box zmin          = 0.000000\n"
                 "Bounding box zmax          = 0.000000\n"
                 "Bounding box mmin          = -10000000000.000000\n"
                 "Bounding box mmax          = 1234567.125000\n");

    char small[64] = "";
    EndResult result = run_capturing_end([&] { format_main_header(header, small, sizeof small); });
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.err, "\nThe header dump does not fit in its buffer of 64 bytes.\n");
}

}  // namespace
