// The .dbf header: exact bytes written, what the reader takes back, the
// damaged headers it refuses before an append could write, and the dump text.

#include "dbf/dbf_header.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "process_end_capture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A field table owning copies of the given fields.
FieldTable make_fields(const std::vector<std::tuple<const char*, char, int, int>>& specs) {
    FieldTable fields;
    allocate_field_table(fields, static_cast<int32_t>(specs.size()));
    for (const auto& [name, type, length, decimals] : specs) {
        int32_t i = fields.field_count++;
        fields.fnam[i] = strdup(name);
        fields.ftyp[i] = type;
        fields.flen[i] = length;
        fields.fdec[i] = decimals;
    }
    return fields;
}

Bytes file_bytes(FILE* file) {
    std::fflush(file);
    std::fseek(file, 0, SEEK_END);
    Bytes bytes(static_cast<size_t>(std::ftell(file)));
    std::rewind(file);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), file), bytes.size());
    return bytes;
}

FILE* file_with(const Bytes& bytes) {
    FILE* file = std::tmpfile();
    EXPECT_NE(file, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    return file;
}

void put_le16(Bytes& bytes, size_t at, unsigned value) {
    bytes[at] = static_cast<uint8_t>(value);
    bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

// A valid file: header, descriptors (NAME C 10, AREA N 18.2), terminator,
// record_count records of blanks, end-of-file byte.
Bytes valid_file(unsigned record_count) {
    Bytes bytes(32 + 2 * 32 + 1, 0);
    bytes[0] = 3;
    bytes[4] = static_cast<uint8_t>(record_count);
    put_le16(bytes, 8, 97);
    put_le16(bytes, 10, 29);
    std::memcpy(&bytes[32], "NAME", 4);
    bytes[32 + 11] = 'C';
    bytes[32 + 16] = 10;
    std::memcpy(&bytes[64], "AREA", 4);
    bytes[64 + 11] = 'N';
    bytes[64 + 16] = 18;
    bytes[64 + 17] = 2;
    bytes[96] = 0x0D;
    bytes.insert(bytes.end(), 29 * record_count, ' ');
    bytes.push_back(0x1A);
    return bytes;
}

EndResult read_refusal(const Bytes& bytes) {
    FILE* file = file_with(bytes);
    EndResult result = run_capturing_end([&] {
        DbfHeader header;
        FieldTable fields;
        read_dbf_header(file, "t.dbf", header, fields);
    });
    std::fclose(file);
    return result;
}

TEST(DbfHeader, WritesTheHeaderDescriptorsAndTerminatorByteForByte) {
    FieldTable fields = make_fields({{"NAME", 'C', 10, 0}, {"POPULATI_1", 'N', 254, 255}});
    DbfHeader header;
    header.file_code = 3;
    header.year = 124;
    header.month = 12;
    header.day = 7;
    header.record_count = 0x01020304;
    header.header_length = dbf_header_length(2);
    header.record_length = 1 + 10 + 254;
    FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    write_dbf_header(file, "t.dbf", header, fields);
    Bytes expected = {3, 124, 12, 7, 0x04, 0x03, 0x02, 0x01, 97, 0, 0x09, 0x01};
    expected.resize(32, 0);
    Bytes name = {'N', 'A', 'M', 'E', 0, 0, 0, 0, 0, 0, 0, 'C', 0, 0, 0, 0, 10, 0};
    name.resize(32, 0);
    Bytes population = {'P', 'O', 'P', 'U', 'L', 'A', 'T', 'I',  '_',
                        '1', 0,   'N', 0,   0,   0,   0,   0xFE, 0xFF};
    population.resize(32, 0);
    expected.insert(expected.end(), name.begin(), name.end());
    expected.insert(expected.end(), population.begin(), population.end());
    expected.push_back(0x0D);
    EXPECT_EQ(file_bytes(file), expected);
    std::fclose(file);
    free_field_table(fields);
}

TEST(DbfHeader, ReadsBackWhatWasWrittenAndKeepsTheReservedBytes) {
    // An existing file whose reserved bytes 12..31 are not zero.
    Bytes original = valid_file(2);
    for (int i = 12; i < 32; ++i) {
        original[i] = static_cast<uint8_t>(0xA0 + i);
    }
    FILE* file = file_with(original);
    DbfHeader header;
    FieldTable fields;
    read_dbf_header(file, "t.dbf", header, fields);
    EXPECT_EQ(std::ftell(file), 97);
    EXPECT_EQ(header.file_code, 3);
    EXPECT_EQ(header.record_count, 2);
    EXPECT_EQ(header.header_length, 97);
    EXPECT_EQ(header.record_length, 29);
    ASSERT_EQ(fields.field_count, 2);
    EXPECT_STREQ(fields.fnam[1], "AREA");
    EXPECT_EQ(fields.ftyp[1], 'N');
    EXPECT_EQ(fields.flen[1], 18);
    EXPECT_EQ(fields.fdec[1], 2);
    EXPECT_EQ(fields.column_name[0], nullptr);

    // The run's finish: new date and count, the same lengths and fields.
    header.year = 125;
    header.record_count = 3;
    write_dbf_header(file, "t.dbf", header, fields);
    Bytes rewritten = file_bytes(file);
    Bytes expected = original;
    expected[1] = 125;
    expected[4] = 3;
    EXPECT_EQ(rewritten, expected);
    std::fclose(file);
    free_field_table(fields);
}

TEST(DbfHeader, ReaderBoundsOfNamesAndFieldCount) {
    // A name area filled by another writer without a zero byte: the name
    // stops at 11 bytes instead of running into the type byte.
    Bytes bytes = valid_file(0);
    std::memcpy(&bytes[32], "ABCDEFGHIJK", 11);
    // Fields of length 254 and the floating mark 255 read as unsigned bytes.
    bytes[32 + 16] = 254;
    bytes[64 + 16] = 1;
    bytes[64 + 17] = 255;
    put_le16(bytes, 10, 1 + 254 + 1);
    FILE* file = file_with(bytes);
    DbfHeader header;
    FieldTable fields;
    read_dbf_header(file, "t.dbf", header, fields);
    ASSERT_EQ(fields.field_count, 2);
    EXPECT_STREQ(fields.fnam[0], "ABCDEFGHIJK");
    EXPECT_EQ(fields.ftyp[0], 'C');
    EXPECT_EQ(fields.flen[0], 254);
    EXPECT_EQ(fields.fdec[1], 255);
    // Written back, the 11-byte name stays within its area, as it was.
    write_dbf_header(file, "t.dbf", header, fields);
    EXPECT_EQ(file_bytes(file), bytes);
    std::fclose(file);
    free_field_table(fields);

    // A table without fields: header length 33, terminator at byte 32.
    Bytes empty(33, 0);
    empty[0] = 3;
    put_le16(empty, 8, 33);
    put_le16(empty, 10, 1);
    empty[32] = 0x0D;
    empty.push_back(0x1A);
    file = file_with(empty);
    read_dbf_header(file, "t.dbf", header, fields);
    EXPECT_EQ(fields.field_count, 0);
    EXPECT_EQ(header.record_length, 1);
    std::fclose(file);
    free_field_table(fields);

    // A header length 1 to 31 bytes beyond the descriptors (other writers pad)
    // gives the same field count; the terminator is still right after them.
    bytes = valid_file(0);
    put_le16(bytes, 8, 97 + 31);
    bytes.insert(bytes.end() - 1, 31, 0);
    file = file_with(bytes);
    read_dbf_header(file, "t.dbf", header, fields);
    EXPECT_EQ(fields.field_count, 2);
    EXPECT_EQ(std::ftell(file), 97);
    std::fclose(file);
    free_field_table(fields);
}

TEST(DbfHeader, RefusesDamagedHeadersBeforeAnAppendWrites) {
    struct Case {
        const char* what;
        Bytes bytes;
        const char* message;
    };
    std::vector<Case> cases;
    cases.push_back(
        {"shorter than 32 bytes", Bytes(20, 0),
         "\nThe .dbf file t.dbf is shorter than its 32-byte header; append refused.\n"});
    Bytes bytes = valid_file(2);
    put_le16(bytes, 10, 28);
    cases.push_back({"record length beside the fields", bytes,
                     "\nThe .dbf file t.dbf has a damaged header: record length 28 is not 1 plus "
                     "the 28 bytes of its fields.\n"});
    bytes = valid_file(2);
    put_le16(bytes, 8, 40000);
    cases.push_back({"header length beyond 32767", bytes,
                     "\nThe .dbf file t.dbf has a damaged header: header length 40000 or record "
                     "length 29 is beyond 32767.\n"});
    bytes = valid_file(2);
    put_le16(bytes, 10, 0x8000);
    cases.push_back({"record length beyond 32767", bytes,
                     "\nThe .dbf file t.dbf has a damaged header: header length 97 or record "
                     "length 32768 is beyond 32767.\n"});
    bytes = valid_file(2);
    bytes[4] = 3;
    cases.push_back({"fewer records than counted", bytes,
                     "\nThe .dbf file t.dbf is shorter (156 bytes) than its header and 3 records "
                     "of 29 bytes say (184 bytes); append refused.\n"});
    bytes = valid_file(2);
    bytes[7] = 0x80;
    cases.push_back({"record count beyond 32 bits signed", bytes,
                     "\nThe .dbf file t.dbf has a damaged header: its record count 2147483650 is "
                     "beyond 2147483647.\n"});
    bytes = valid_file(0);
    bytes.resize(60);
    cases.push_back({"shorter than its header", bytes,
                     "\nThe .dbf file t.dbf is shorter (60 bytes) than its header and 0 records of "
                     "29 bytes say (97 bytes); append refused.\n"});
    bytes = valid_file(0);
    bytes[96] = 0;
    cases.push_back({"no terminator", bytes, "\nOut of synch error reading .dbf header.\n"});
    bytes = valid_file(0);
    put_le16(bytes, 8, 129);  // one descriptor more than there is
    bytes.resize(140, ' ');
    cases.push_back(
        {"header length one field too long", bytes, "\nOut of synch error reading .dbf header.\n"});
    bytes = valid_file(0);
    put_le16(bytes, 8, 20);
    cases.push_back(
        {"header length below 33", bytes,
         "\nThe .dbf file t.dbf has a damaged header: header length 20 is below 33.\n"});
    bytes = valid_file(0);
    bytes[32 + 16] = 0;
    put_le16(bytes, 10, 19);
    cases.push_back({"a field of length 0", bytes,
                     "\nThe .dbf file t.dbf has a damaged header: field 'NAME' has length 0.\n"});

    for (const Case& c : cases) {
        EndResult result = read_refusal(c.bytes);
        EXPECT_TRUE(result.ended) << c.what;
        EXPECT_EQ(result.status, 1) << c.what;
        EXPECT_EQ(result.err, c.message) << c.what;
    }
    // The valid file itself passes.
    EXPECT_FALSE(read_refusal(valid_file(2)).ended);
}

TEST(DbfHeader, DumpShowsDecimalsInOctal) {
    FieldTable fields =
        make_fields({{"NAME", 'C', 40, 0}, {"AREA", 'N', 18, 10}, {"V", 'N', 20, 255}});
    DbfHeader header{3, 124, 12, 7, 5, dbf_header_length(3), 1 + 40 + 18 + 20};
    char text[1024];
    dbf_header_dump(header, fields, text, sizeof text);
    EXPECT_STREQ(text,
                 "File code                  = 3\n"
                 "Year                       = 124\n"
                 "Month                      = 12\n"
                 "Day                        = 7\n"
                 "Number of records          = 5\n"
                 "Number of bytes in header  = 129\n"
                 "Number of bytes in record  = 79\n"
                 "Number of fields           = 3\n\n"
                 " Field            fnam    ftyp    flen    fdec\n\n"
                 "     1            NAME       C      40       0\n"
                 "     2            AREA       N      18      12\n"
                 "     3               V       N      20     377\n");

    // A dump that would not fit its buffer ends with a count of what it left out.
    char small[450];
    dbf_header_dump(header, fields, small, sizeof small);
    std::string dump = small;
    EXPECT_NE(dump.find("     1            NAME"), std::string::npos);
    EXPECT_NE(dump.find("... 2 more field(s) not shown.\n"), std::string::npos) << dump;
    free_field_table(fields);
}

}  // namespace
