// Shape records and index entries framed in memory as the run writes them:
// the exact bytes of small file sets, null records, the extent rules,
// refusals that leave the tally as it was, the 2 GB limit, and a file set
// read back by an independent reader (pyshp).

#include "shape/shape_record.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <string>

#include "common/byte_order.h"
#include "process_end_capture.h"
#include "shape_test_bytes.h"

namespace {

Bytes null_shape() {
    Bytes bytes;
    put_le32(bytes, 0);
    return bytes;
}

// A polyline with Z and M of one part, or without its M part.
Bytes polyline_zm(const std::vector<std::array<double, 4>>& vertices, bool m_part) {
    Bytes bytes;
    double lo[4], hi[4];
    for (int axis = 0; axis < 4; ++axis) {
        lo[axis] = hi[axis] = vertices[0][axis];
        for (const auto& v : vertices) {
            lo[axis] = std::min(lo[axis], v[axis]);
            hi[axis] = std::max(hi[axis], v[axis]);
        }
    }
    put_le32(bytes, 13);
    put_le_double(bytes, lo[0]);
    put_le_double(bytes, lo[1]);
    put_le_double(bytes, hi[0]);
    put_le_double(bytes, hi[1]);
    put_le32(bytes, 1);
    put_le32(bytes, static_cast<int32_t>(vertices.size()));
    put_le32(bytes, 0);
    for (const auto& v : vertices) {
        put_le_double(bytes, v[0]);
        put_le_double(bytes, v[1]);
    }
    for (int axis = 2; axis < (m_part ? 4 : 3); ++axis) {
        put_le_double(bytes, lo[axis]);
        put_le_double(bytes, hi[axis]);
        for (const auto& v : vertices) {
            put_le_double(bytes, v[axis]);
        }
    }
    return bytes;
}

ShapeBuffer buffer_of(const Bytes& bytes) {
    return ShapeBuffer{bytes.data(), static_cast<int32_t>(bytes.size())};
}

// The records of a file set as an init run writes them, past each header,
// from a tally that starts where an init run's does.
class ShapeRecords : public testing::Test {
protected:
    void SetUp() override { tally_.shp_offset = kMainHeaderBytes; }

    // Frames shape, then appends the frame and the shape where the run does.
    void add(const Bytes& shape) {
        ShapeRecordFrame frame;
        write_shape_record(tally_, buffer_of(shape), "set.shp", "set.shx", frame);
        shx_.insert(shx_.end(), frame.index_entry, frame.index_entry + kIndexEntryBytes);
        shp_.insert(shp_.end(), frame.record_header, frame.record_header + kRecordHeaderBytes);
        shp_.insert(shp_.end(), shape.begin(), shape.end());
    }

    // The end of an init run: the final headers in front of the records.
    void finish(int32_t shape_type) {
        finish_main_headers(tally_, shape_type, shp_header_, shx_header_);
    }

    static Bytes whole_file(const ShapeFileHeader& header, const Bytes& records) {
        Bytes file(kMainHeaderBytes);
        encode_main_header(header, file.data());
        file.insert(file.end(), records.begin(), records.end());
        return file;
    }

    ShapeTally tally_;
    Bytes shp_;
    Bytes shx_;
    ShapeFileHeader shp_header_;
    ShapeFileHeader shx_header_;
};

Bytes header_bytes(int32_t file_length_words, int32_t shape_type, const Extent& e) {
    Bytes bytes;
    put_be32(bytes, 9994);
    for (int i = 0; i < 5; ++i) {
        put_be32(bytes, 0);
    }
    put_be32(bytes, file_length_words);
    put_le32(bytes, 1000);
    put_le32(bytes, shape_type);
    for (double bound : {e.xmin, e.ymin, e.xmax, e.ymax, e.zmin, e.zmax, e.mmin, e.mmax}) {
        put_le_double(bytes, bound);
    }
    return bytes;
}

// Three points of 20 content bytes each, the whole files byte for byte.
TEST_F(ShapeRecords, ThreePointsGiveTheExactFileSet) {
    add(xy_point(3, 4));
    EXPECT_EQ(tally_.record_number, 1);
    EXPECT_EQ(tally_.shp_offset, 128);
    EXPECT_EQ(tally_.extent.xmin, 3.0);
    EXPECT_EQ(tally_.extent.xmax, 3.0);
    EXPECT_EQ(tally_.extent.ymin, 4.0);
    EXPECT_EQ(tally_.extent.ymax, 4.0);
    add(xy_point(5, -1));
    add(xy_point(-2, 4));
    EXPECT_EQ(tally_.shp_offset, 100 + 3 * 28);
    finish(1);
    EXPECT_EQ(shp_header_.file_length, 92);
    EXPECT_EQ(shx_header_.file_length, 62);

    const Bytes expected_shp = {
        // main header
        0x00, 0x00, 0x27, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  //
        0x00, 0x00, 0x00, 0x5C, 0xE8, 0x03, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,              //
        0, 0, 0, 0, 0, 0, 0x00, 0xC0,                    // xmin -2
        0, 0, 0, 0, 0, 0, 0xF0, 0xBF,                    // ymin -1
        0, 0, 0, 0, 0, 0, 0x14, 0x40,                    // xmax 5
        0, 0, 0, 0, 0, 0, 0x10, 0x40,                    // ymax 4
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // Z range
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // M range
        // record 1, 10 words: point 3, 4
        0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0A, 0x01, 0x00, 0x00, 0x00,  //
        0, 0, 0, 0, 0, 0, 0x08, 0x40, 0, 0, 0, 0, 0, 0, 0x10, 0x40,              //
        // record 2: point 5, -1
        0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x0A, 0x01, 0x00, 0x00, 0x00,  //
        0, 0, 0, 0, 0, 0, 0x14, 0x40, 0, 0, 0, 0, 0, 0, 0xF0, 0xBF,              //
        // record 3: point -2, 4
        0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x0A, 0x01, 0x00, 0x00, 0x00,  //
        0, 0, 0, 0, 0, 0, 0x00, 0xC0, 0, 0, 0, 0, 0, 0, 0x10, 0x40,              //
    };
    Bytes expected_shx(expected_shp.begin(), expected_shp.begin() + kMainHeaderBytes);
    expected_shx[27] = 0x3E;  // 62 words
    const Bytes entries = {
        0x00, 0x00, 0x00, 0x32, 0x00, 0x00, 0x00, 0x0A,  // offset 50, 10 words
        0x00, 0x00, 0x00, 0x40, 0x00, 0x00, 0x00, 0x0A,  // offset 64
        0x00, 0x00, 0x00, 0x4E, 0x00, 0x00, 0x00, 0x0A,  // offset 78
    };
    expected_shx.insert(expected_shx.end(), entries.begin(), entries.end());
    EXPECT_EQ(whole_file(shp_header_, shp_), expected_shp);
    EXPECT_EQ(whole_file(shx_header_, shx_), expected_shx);
}

TEST_F(ShapeRecords, NoRecordsGiveBareHeaders) {
    finish(0);
    Bytes expected = header_bytes(50, 0, Extent{});
    EXPECT_EQ(whole_file(shp_header_, shp_), expected);
    EXPECT_EQ(whole_file(shx_header_, shx_), expected);
}

// A null first record leaves the extent unset; the first non-null shape sets
// it rather than widening the zeros, and later null records change nothing.
TEST_F(ShapeRecords, NullRecordsAndTheFirstNonNullShape) {
    Bytes null = null_shape();
    add(null);
    EXPECT_EQ(tally_.shp_offset, 112);
    EXPECT_FALSE(tally_.extent_set);
    Bytes p = xy_point(3, 4);
    add(p);
    EXPECT_TRUE(tally_.extent_set);
    add(null);
    EXPECT_EQ(tally_.record_number, 3);
    EXPECT_EQ(tally_.shp_offset, 112 + 28 + 12);

    finish(1);
    for (const Extent* e : {&shp_header_.extent, &shx_header_.extent}) {
        EXPECT_EQ(e->xmin, 3.0);
        EXPECT_EQ(e->xmax, 3.0);
        EXPECT_EQ(e->ymin, 4.0);
        EXPECT_EQ(e->ymax, 4.0);
        EXPECT_EQ(e->zmin, 0.0);
        EXPECT_EQ(e->mmax, 0.0);
    }
    EXPECT_EQ(shx_, (Bytes{0x00, 0x00, 0x00, 0x32, 0x00, 0x00, 0x00, 0x02,     // 50, 2 words
                           0x00, 0x00, 0x00, 0x38, 0x00, 0x00, 0x00, 0x0A,     // 56, 10 words
                           0x00, 0x00, 0x00, 0x46, 0x00, 0x00, 0x00, 0x02}));  // 70, 2 words
    Bytes shp = {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00,  //
                 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x0A};
    shp.insert(shp.end(), p.begin(), p.end());
    const Bytes third = {0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00};
    shp.insert(shp.end(), third.begin(), third.end());
    EXPECT_EQ(shp_, shp);
}

TEST_F(ShapeRecords, AppendContinuesNumberingAndOnlyWidensTheExtent) {
    tally_.record_number = 10;
    tally_.shp_offset = 380;  // as read from an existing header of 190 words
    tally_.extent_set = true;
    tally_.extent = {-10, 10, -10, 10, 0, 0, 0, 0};
    add(xy_point(1, 2));
    add(xy_point(20, -1));
    EXPECT_EQ(tally_.record_number, 12);
    EXPECT_EQ(tally_.shp_offset, 380 + 2 * 28);
    const Extent& e = tally_.extent;
    EXPECT_EQ(e.xmin, -10.0);
    EXPECT_EQ(e.xmax, 20.0);
    EXPECT_EQ(e.ymin, -10.0);
    EXPECT_EQ(e.ymax, 10.0);
    EXPECT_EQ(Bytes(shx_.begin(), shx_.begin() + 8),
              (Bytes{0x00, 0x00, 0x00, 0xBE, 0x00, 0x00, 0x00, 0x0A}));                 // 190 words
    EXPECT_EQ(Bytes(shp_.begin(), shp_.begin() + 4), (Bytes{0x00, 0x00, 0x00, 0x0B}));  // record 11
}

TEST(MergeExtent, StrictComparisonsAndNaN) {
    const Extent start = {-1, 1, -2, 2, -3, 3, -4, 4};
    Extent e = start;
    merge_extent(e, start, false);
    EXPECT_EQ(std::memcmp(&e, &start, sizeof e), 0);

    Extent smaller_xmin = {-5, 0, 0, 0, 0, 0, 0, 0};
    merge_extent(e, smaller_xmin, false);
    Extent expected = start;
    expected.xmin = -5;
    EXPECT_EQ(std::memcmp(&e, &expected, sizeof e), 0);

    const double nan = std::numeric_limits<double>::quiet_NaN();
    Extent all_nan = {nan, nan, nan, nan, nan, nan, nan, nan};
    merge_extent(e, all_nan, false);
    EXPECT_EQ(std::memcmp(&e, &expected, sizeof e), 0);

    // A NaN bound, which only a first shape can bring, gives way to numbers.
    Extent from_nan = start;
    merge_extent(from_nan, all_nan, true);
    EXPECT_TRUE(std::isnan(from_nan.xmin));
    merge_extent(from_nan, start, false);
    EXPECT_EQ(std::memcmp(&from_nan, &start, sizeof start), 0);

    // A first shape replaces the extent even where it is narrower.
    Extent narrow = {0.5, 0.5, 0.5, 0.5, 0, 0, 0, 0};
    Extent first = start;
    merge_extent(first, narrow, true);
    EXPECT_EQ(std::memcmp(&first, &narrow, sizeof first), 0);
}

// A refused shape ends the run with the tally as it was.
TEST_F(ShapeRecords, DamagedShapesAreRefusedBeforeTheyAreFramed) {
    add(xy_point(1, 1));
    Bytes unknown = xy_point(3, 4);
    unknown[0] = 31;
    Bytes cut = polyline_zm({{0, 0, 1, 2}, {1, 1, 2, 3}}, true);
    cut.resize(cut.size() - 8);
    struct Case {
        Bytes bytes;
        const char* message;
    };
    for (const Case& c :
         {Case{unknown, "\nUnknown shape type(31). Record 2 is not written.\n"},
          Case{cut,
               "\nA shape of type 13 with 1 part(s) and 2 point(s) needs 144 bytes, or 112 "
               "without its M part; the buffer holds 136. Record 2 is not written.\n"}}) {
        EndResult result = run_capturing_end([&] { add(c.bytes); });
        EXPECT_TRUE(result.ended);
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, c.message);
        EXPECT_EQ(tally_.record_number, 1);
        EXPECT_EQ(tally_.shp_offset, 128);
        EXPECT_EQ(tally_.extent.xmax, 1.0);
    }
}

TEST_F(ShapeRecords, TheTwoGigabyteLimit) {
    Bytes p = xy_point(1, 2);
    // The last record that fits ends at 2^31 - 2 (offsets stay even).
    tally_.shp_offset = INT32_MAX - 1 - 28;
    add(p);
    EXPECT_EQ(tally_.shp_offset, INT32_MAX - 1);
    EXPECT_EQ(shx_, (Bytes{0x3F, 0xFF, 0xFF, 0xF1, 0x00, 0x00, 0x00, 0x0A}));

    EndResult shp_full = run_capturing_end([&] { add(p); });
    EXPECT_TRUE(shp_full.ended);
    EXPECT_EQ(shp_full.err,
              "\nRecord 2 would take the file set past the shapefile format's 2 GB limit "
              "(set.shp would pass 2147483647 bytes). A -w filter can split the table into "
              "several file sets.\n");
    EXPECT_EQ(tally_.record_number, 1);

    // The .shx reaches the limit first once records are tiny: 8 bytes per
    // entry against 12 per null record, from a count near 2^28.
    tally_.shp_offset = kMainHeaderBytes;
    tally_.record_number = (INT32_MAX - kMainHeaderBytes) / kIndexEntryBytes - 1;
    Bytes null = null_shape();
    add(null);
    EndResult shx_full = run_capturing_end([&] { add(null); });
    EXPECT_TRUE(shx_full.ended);
    EXPECT_NE(shx_full.err.find("(set.shx would pass"), std::string::npos) << shx_full.err;
    EXPECT_NE(shx_full.err.find("Record 268435444 would take"), std::string::npos) << shx_full.err;
}

void write_file(const std::string& path, const Bytes& bytes) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), file), bytes.size());
    ASSERT_EQ(std::fclose(file), 0);
}

// A minimal dBASE III table of one numeric field ID N(5,0), one row per
// record: the reader wants a table beside the shapes.
void write_dbf(const std::string& path, int records) {
    Bytes bytes = {0x03, 125, 1, 1};  // version, date 2025-01-01
    put_le32(bytes, records);
    const int header_length = 32 + 32 + 1;
    const int record_length = 1 + 5;
    bytes.push_back(header_length & 0xFF);
    bytes.push_back(header_length >> 8);
    bytes.push_back(record_length);
    bytes.push_back(0);
    bytes.resize(32, 0);
    Bytes field(32, 0);
    field[0] = 'I';
    field[1] = 'D';
    field[11] = 'N';
    field[16] = 5;
    bytes.insert(bytes.end(), field.begin(), field.end());
    bytes.push_back(0x0D);
    for (int i = 1; i <= records; ++i) {
        char row[8];
        std::snprintf(row, sizeof row, " %5d", i);
        bytes.insert(bytes.end(), row, row + record_length);
    }
    bytes.push_back(0x1A);
    write_file(path, bytes);
}

std::string run_python(const std::string& script) {
    std::string command = std::string(SPOOLMAP_TEST_PYTHON) + " -c '" + script + "' 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    std::string output;
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot run " << command;
        return output;
    }
    char chunk[512];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
        output.append(chunk, got);
    }
    EXPECT_EQ(pclose(pipe), 0) << output;
    return output;
}

// Polylines with Z and M, one with its M part left out, and a null record:
// pyshp must read back the types, coordinates and bounds; the set's M range
// is that of the measures there are, not widened to 0 by the record without.
TEST_F(ShapeRecords, AnIndependentReaderReadsTheSetBack) {
    add(polyline_zm({{1, 2, 10, 100}, {3, -4, 20, 200}}, true));
    add(null_shape());
    add(polyline_zm({{-5, 6, 5, 0}, {7, 8, 30, 0}, {0, 0, 15, 0}}, false));
    finish(13);
    char pattern[] = "/tmp/spoolmap_shape_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string dir = pattern;
    const std::string base = dir + "/set";
    write_file(base + ".shp", whole_file(shp_header_, shp_));
    write_file(base + ".shx", whole_file(shx_header_, shx_));
    write_dbf(base + ".dbf", 3);

    std::string output = run_python(
        "import shapefile\n"
        "r = shapefile.Reader(\"" +
        base +
        "\")\n"
        "print(r.shapeType, len(r), r.bbox, r.zbox, r.mbox)\n"
        "for s in r.shapes():\n"
        "    print(s.shapeType, [list(p) for p in s.points], list(getattr(s, \"z\", [])),\n"
        "          getattr(s, \"bbox\", None))\n"
        "print([rec[0] for rec in r.records()])\n");
    EXPECT_EQ(output,
              "13 3 [-5.0, -4.0, 7.0, 8.0] [5.0, 30.0] [100.0, 200.0]\n"
              "13 [[1.0, 2.0], [3.0, -4.0]] [10.0, 20.0] [1.0, -4.0, 3.0, 2.0]\n"
              "0 [] [] None\n"
              "13 [[-5.0, 6.0], [7.0, 8.0], [0.0, 0.0]] [5.0, 30.0, 15.0] [-5.0, 0.0, 7.0, 8.0]\n"
              "[1, 2, 3]\n");
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

}  // namespace
