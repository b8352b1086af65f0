// The current row's shape as the run reads it on every row: the indicator
// first, then the DATA alone into a var buffer the library sizes, and the
// null shape of its own for a null geometry; one var buffer reused row after
// row, through shapes that grow and shrink.

#include "db/descriptor_items.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbf_test_database.h"
#include "process_end_capture.h"
#include "shape_test_bytes.h"

namespace {

std::string hex_of(const Bytes& bytes) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string text;
    for (uint8_t b : bytes) {
        text += kDigits[b >> 4];
        text += kDigits[b & 0x0F];
    }
    return text;
}

// Little-endian WKB of a point or a line string.
Bytes wkb(const std::vector<std::pair<double, double>>& points) {
    Bytes bytes = {1};
    put_le32(bytes, points.size() == 1 ? 1 : 2);
    if (points.size() != 1) {
        put_le32(bytes, static_cast<int32_t>(points.size()));
    }
    for (const auto& [x, y] : points) {
        put_le_double(bytes, x);
        put_le_double(bytes, y);
    }
    return bytes;
}

TEST(RowShape, EveryRowThroughOneVarBuffer) {
    ScratchDirectory scratch;
    std::string path = scratch.file("t.db");
    const Bytes line = wkb({{0, 0}, {3, 4}, {6, 0}});
    write_native_database(path, {"CREATE TABLE t (id MEDIUMINT, geom BLOB)",
                                 "INSERT INTO geometry_columns VALUES ('t', 'geom', 0)",
                                 "INSERT INTO t VALUES (1, X'" + hex_of(wkb({{1, 2}})) + "')",
                                 "INSERT INTO t VALUES (2, NULL)",
                                 "INSERT INTO t VALUES (3, X'" + hex_of(line) + "')",
                                 "INSERT INTO t VALUES (4, X'" + hex_of(wkb({{5, 6}})) + "')"});
    Bytes polyline;
    put_le32(polyline, 3);
    for (double bound : {0.0, 0.0, 6.0, 4.0}) {
        put_le_double(polyline, bound);
    }
    put_le32(polyline, 1);
    put_le32(polyline, 3);
    put_le32(polyline, 0);
    for (double value : {0.0, 0.0, 3.0, 4.0, 6.0, 0.0}) {
        put_le_double(polyline, value);
    }
    const std::vector<Bytes> expected = {xy_point(1, 2), Bytes(4, 0), polyline, xy_point(5, 6)};

    Connection connection(path);
    ASSERT_EQ(osl_prepare("selstmt2", "SELECT id, GX_AsShape(geom) FROM t ORDER BY id"), 0);
    ASSERT_EQ(osl_allocate_descriptor("seldesc2", 2), 0);
    ASSERT_EQ(osl_describe("selstmt2", "seldesc2"), 0);
    const OslItemSetting shape_settings[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY},
                                             {OSL_ITEM_VAR_BY_LIBRARY, 1}};
    ASSERT_EQ(osl_set_descriptor_items("seldesc2", 2, shape_settings, 2), 0);
    ASSERT_EQ(osl_declare_cursor("selcurs", "selstmt2"), 0);
    ASSERT_EQ(osl_open_cursor("selcurs"), 0);
    std::vector<Bytes> shapes;
    OslVar var = {};
    EndResult result = run_capturing_end([&] {
        while (osl_fetch("selcurs", "seldesc2") == 0) {
            ShapeBuffer shape = read_row_shape("seldesc2", 2, var);
            shapes.emplace_back(shape.bytes, shape.bytes + shape.length);
            ASSERT_EQ(osl_var_dealloc(&var), 0);
        }
    });
    EXPECT_FALSE(result.ended) << result.err;
    EXPECT_EQ(osl_status(), OSL_NO_ROW);
    EXPECT_EQ(shapes, expected);
    osl_close_cursor("selcurs");
    osl_free_cursor("selcurs");
    osl_deallocate_descriptor("seldesc2");
}

}  // namespace
