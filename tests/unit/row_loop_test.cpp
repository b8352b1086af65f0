// The row loop on a real cursor: the first shape fixes the set's type, a row
// of another type is rejected with nothing of it written, a null geometry
// fits any set, and each accepted row's records follow one another in the
// three files.

#include "run/row_loop.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/byte_order.h"
#include "db/row_values.h"
#include "db/table_columns.h"
#include "dbf_test_database.h"
#include "process_end_capture.h"
#include "shape/main_header.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes stream_bytes(FILE* stream) {
    std::fflush(stream);
    Bytes bytes(static_cast<size_t>(std::ftell(stream)));
    std::rewind(stream);
    EXPECT_EQ(std::fread(bytes.data(), 1, bytes.size(), stream), bytes.size());
    return bytes;
}

// WKB points and a line, little-endian.
const char kPointAt12[] = "X'0101000000000000000000F03F0000000000000040'";
const char kPointAt34[] = "X'010100000000000000000008400000000000001040'";
const char kLine[] =
    "X'01020000000200000000000000000000000000000000000000000000000000F03F000000000000F03F'";

TEST(RowLoop, OneShapeTypeAndEachAcceptedRowsRecordsInTurn) {
    ScratchDirectory scratch;
    std::string path = scratch.file("rows.db");
    write_native_database(path, {"CREATE TABLE t (id MEDIUMINT, geom BLOB)",
                                 "INSERT INTO geometry_columns VALUES ('t', 'geom', 0)",
                                 std::string("INSERT INTO t VALUES (1, ") + kPointAt12 + ")",
                                 "INSERT INTO t VALUES (2, NULL)",
                                 std::string("INSERT INTO t VALUES (3, ") + kLine + ")",
                                 std::string("INSERT INTO t VALUES (4, ") + kPointAt34 + ")"});
    Connection connection(path);
    auto run = std::make_unique<RunState>();
    build_field_table({"t", "geom"}, run->work_buffer, sizeof run->work_buffer, run->fields,
                      run->dbf_header);
    ASSERT_EQ(osl_prepare("s", "SELECT id, GX_AsShape(geom) FROM t ORDER BY id"), 0);
    ASSERT_EQ(osl_allocate_descriptor("d", 2), 0);
    ASSERT_EQ(osl_describe("s", "d"), 0);
    const OslItemSetting shape_settings[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY},
                                             {OSL_ITEM_VAR_BY_LIBRARY, 1}};
    ASSERT_EQ(osl_set_descriptor_items("d", 2, shape_settings, 2), 0);
    prepare_field_formats(run->fields, run->dbf_header.record_length, "d", run->record_formats,
                          run->row);
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);

    FileSet files;
    for (SetFile* file : {&files.shp, &files.shx, &files.dbf}) {
        file->stream = std::tmpfile();
        ASSERT_NE(file->stream, nullptr);
    }
    run->shapes.shp_offset = kMainHeaderBytes;
    int64_t dbf_position = run->dbf_header.header_length;
    ProgressMeter meter;
    const RowSource source = {"c", "d", 2, nullptr, nullptr};
    EndResult result =
        run_capturing_end([&] { unload_row_loop(source, *run, files, dbf_position, meter); });
    EXPECT_FALSE(result.ended) << result.err;
    EXPECT_EQ(result.out, "\nRejecting row with shape type 3.\n");
    EXPECT_EQ(run->fetched_rows, 4);
    EXPECT_EQ(run->rejected_rows, 1);
    EXPECT_EQ(run->shape_type, 1);
    EXPECT_EQ(run->shapes.record_number, 3);

    // Point, null, point: records of 20, 4 and 20 content bytes from byte 100.
    Bytes shp = stream_bytes(files.shp.stream);
    Bytes shx = stream_bytes(files.shx.stream);
    ASSERT_EQ(shp.size(), 28u + 12u + 28u);
    ASSERT_EQ(shx.size(), 3u * 8u);
    const int32_t offsets_words[] = {50, 64, 70};
    const int32_t lengths_words[] = {10, 2, 10};
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(load_be_int32(shx.data(), 8 * i), offsets_words[i]);
        EXPECT_EQ(load_be_int32(shx.data(), 8 * i + 4), lengths_words[i]);
        EXPECT_EQ(load_be_int32(shp.data(), at), i + 1);
        EXPECT_EQ(load_be_int32(shp.data(), at + 4), lengths_words[i]);
        at += 8 + 2 * static_cast<size_t>(lengths_words[i]);
    }
    EXPECT_EQ(load_le_double(shp.data(), 8 + 4), 1.0);
    EXPECT_EQ(load_le_double(shp.data(), 28 + 12 + 8 + 12), 4.0);
    EXPECT_EQ(run->shapes.extent.xmin, 1.0);
    EXPECT_EQ(run->shapes.extent.ymax, 4.0);

    Bytes dbf = stream_bytes(files.dbf.stream);
    std::string records(dbf.begin(), dbf.end());
    EXPECT_EQ(records, "           1           2           4");
    EXPECT_EQ(dbf_position, run->dbf_header.header_length + 3 * run->dbf_header.record_length);

    for (SetFile* file : {&files.shp, &files.shx, &files.dbf}) {
        std::fclose(file->stream);
    }
    osl_close_cursor("c");
    osl_free_cursor("c");
    free_field_formats(run->record_formats, run->row);
    free_field_table(run->fields);
}

}  // namespace
