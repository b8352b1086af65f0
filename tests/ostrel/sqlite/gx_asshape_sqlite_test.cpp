// GX_AsShape as a SQLite function: NULL in, NULL out; a blob in, the shape
// out; failures raised as "GXnnn|message"; one trace call per call; two calls
// in one row kept apart although they share the function's buffer.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <string>
#include <utility>
#include <vector>

#include "gx_test_bytes.h"
#include "sqlite/functions.h"

namespace {

using TraceLog = std::vector<std::pair<std::string, size_t>>;

void record_trace(void* context, const char* geometry_type, size_t result_bytes) {
    static_cast<TraceLog*>(context)->emplace_back(geometry_type, result_bytes);
}

struct Connection {
    sqlite3* db = nullptr;
    TraceLog trace;

    explicit Connection(bool spatialite_blobs) {
        sqlite3_open(":memory:", &db);
        EXPECT_EQ(gx_register_asshape(db, spatialite_blobs, record_trace, &trace), SQLITE_OK);
    }
    ~Connection() { sqlite3_close(db); }

    // Runs a one-row query; the row's values as blobs ("NULL" for NULL), or
    // the error message as the only value.
    std::vector<Bytes> row(const std::string& sql, std::string& error) {
        sqlite3_stmt* statement = nullptr;
        std::vector<Bytes> values;
        error.clear();
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
            error = sqlite3_errmsg(db);
            return values;
        }
        if (sqlite3_step(statement) == SQLITE_ROW) {
            for (int column = 0; column < sqlite3_column_count(statement); ++column) {
                const uint8_t* blob =
                    static_cast<const uint8_t*>(sqlite3_column_blob(statement, column));
                int bytes = sqlite3_column_bytes(statement, column);
                values.push_back(sqlite3_column_type(statement, column) == SQLITE_NULL
                                     ? Bytes{'N', 'U', 'L', 'L'}
                                     : Bytes(blob, blob + bytes));
            }
        } else {
            error = sqlite3_errmsg(db);
        }
        sqlite3_finalize(statement);
        return values;
    }
};

}  // namespace

TEST(GxAsShapeSqliteTest, ShapesNullsAndTrace) {
    Connection connection(false);
    std::string error;
    // POINT(3 4) and LINESTRING(1 2, 3 4) as WKB, in one row.
    std::vector<Bytes> values = connection.row(
        "SELECT GX_AsShape(NULL), GX_AsShape(x'010100000000000000000008400000000000001040'), "
        "GX_AsShape(x'010200000002000000000000000000F03F0000000000000040"
        "00000000000008400000000000001040')",
        error);
    ASSERT_EQ(values.size(), 3u) << error;
    EXPECT_EQ(values[0], (Bytes{'N', 'U', 'L', 'L'}));
    Bytes point, line;
    le(point).u32(1).f64s({3, 4});
    le(line).u32(3).f64s({1, 2, 3, 4}).u32(1).u32(2).u32(0).f64s({1, 2, 3, 4});
    EXPECT_EQ(values[1], point);
    EXPECT_EQ(values[2], line);
    EXPECT_EQ(connection.trace, (TraceLog{{"NULL", 0}, {"Point", 20}, {"LineString", 80}}));
}

TEST(GxAsShapeSqliteTest, FailuresCarryTheExtensionsState) {
    Connection connection(false);
    std::string error;
    connection.row("SELECT GX_AsShape(x'01070000000000000001')", error);
    EXPECT_EQ(error.rfind("GX002|", 0), 0u) << error;
    connection.row(
        "SELECT GX_AsShape(x'010700000001000000010100000000000000000008400000000000001040')",
        error);
    EXPECT_EQ(error.rfind("GX001|Unsupported geometry type GeometryCollection", 0), 0u) << error;
    connection.row("SELECT GX_AsShape('POINT(1 2)')", error);
    EXPECT_EQ(error, "GX008|GX_AsShape takes a geometry BLOB, not a TEXT value.");
    connection.row("SELECT GX_AsShape(42)", error);
    EXPECT_EQ(error, "GX008|GX_AsShape takes a geometry BLOB, not an INTEGER value.");
    connection.row("SELECT GX_AsShape(x'')", error);
    EXPECT_EQ(error.rfind("GX005|", 0), 0u) << error;
    ASSERT_EQ(connection.trace.size(), 5u);
    EXPECT_EQ(connection.trace[0], (std::pair<std::string, size_t>{"GeometryCollection", 0}));
    EXPECT_EQ(connection.trace[1], (std::pair<std::string, size_t>{"GeometryCollection", 0}));
    EXPECT_EQ(connection.trace[2], (std::pair<std::string, size_t>{"unknown", 0}));
}

TEST(GxAsShapeSqliteTest, SpatiaLiteBlobsOnlyWhereAsked) {
    // MULTIPOINT(1 2, 3 4) as spatialite writes it.
    const std::string blob =
        "x'0001E6100000000000000000F03F0000000000000040000000000000084000000000000010407C04"
        "000000020000006901000000000000000000F03F000000000000004069010000000000000000000840"
        "0000000000001040FE'";
    Bytes expected;
    le(expected).u32(8).f64s({1, 2, 3, 4}).u32(2).f64s({1, 2, 3, 4});
    std::string error;
    Connection spatialite(true);
    std::vector<Bytes> values = spatialite.row("SELECT GX_AsShape(" + blob + ")", error);
    ASSERT_EQ(values.size(), 1u) << error;
    EXPECT_EQ(values[0], expected);
    EXPECT_EQ(spatialite.trace, (TraceLog{{"MultiPoint", 72}}));

    Connection standard(false);
    standard.row("SELECT GX_AsShape(" + blob + ")", error);
    EXPECT_EQ(error.rfind("GX004|Unknown WKB geometry type", 0), 0u) << error;
}

// GX_Srid: the SRID where a blob keeps one, 0 in plain WKB, NULL for what
// is not a blob; SpatiaLite's only in a SpatiaLite database.
TEST(GxAsShapeSqliteTest, SridsOfEveryBlob) {
    const std::string point =
        "0000000000000840"
        "0000000000001040";  // 3, 4 little-endian
    const std::string spatialite =
        "x'0001E6100000000000000000F03F0000000000000040000000000000084000000000000010407C04"
        "000000020000006901000000000000000000F03F000000000000004069010000000000000000000840"
        "0000000000001040FE'";
    const struct {
        std::string value;
        bool spatialite_blobs;
        const char* srid;
    } cases[] = {
        {"NULL", false, "NULL"},
        {"'POINT(1 2)'", false, "NULL"},
        {"x'0101000000" + point + "'", false, "0"},
        {"x'0101000020E6100000" + point + "'", false, "4326"},
        {"x'00200000010000"
         "10E6"
         "40080000000000004010000000000000'",
         false, "4326"},
        {"x'47500001110F00000101000000" + point + "'", false, "3857"},
        {"x'4750000000000F110101000000" + point + "'", false, "3857"},
        {spatialite, true, "4326"},
        {spatialite, false, "0"},
    };
    for (const auto& c : cases) {
        Connection connection(c.spatialite_blobs);
        ASSERT_EQ(gx_register_srid(connection.db, c.spatialite_blobs), SQLITE_OK);
        std::string error;
        std::vector<Bytes> values = connection.row("SELECT GX_Srid(" + c.value + ")", error);
        ASSERT_EQ(values.size(), 1u) << error;
        EXPECT_EQ(std::string(values[0].begin(), values[0].end()), c.srid) << c.value;
    }
}

TEST(GxAsShapeSqliteTest, AWarmBufferIsReused) {
    GxBuffer buffer;
    GxGeometryType type;
    GxError error;
    Bytes polygon, point;
    le(polygon).u8(1).u32(3).u32(1).u32(4).f64s({0, 0, 0, 1, 1, 1, 0, 0});
    le(point).u8(1).u32(1).f64s({5, 6});
    ASSERT_TRUE(gx_geometry_to_shape(polygon.data(), polygon.size(), GxBlobFormats::kStandard,
                                     buffer, type, error));
    const uint8_t* warm = buffer.data;
    size_t capacity = buffer.capacity;
    for (const Bytes* in : {&point, &polygon}) {
        ASSERT_TRUE(gx_geometry_to_shape(in->data(), in->size(), GxBlobFormats::kStandard, buffer,
                                         type, error));
        EXPECT_EQ(buffer.data, warm);
        EXPECT_EQ(buffer.capacity, capacity);
    }
    gx_buffer_free(buffer);
    EXPECT_EQ(buffer.data, nullptr);
}
