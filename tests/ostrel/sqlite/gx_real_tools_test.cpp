// The geometry converter on blobs that the real tools wrote: a GeoPackage
// made by ogr2ogr and a SpatiaLite database made by spatialite (plain,
// compressed and TinyPoint geometries), with holes, multi-geometries and Z/M.
// Each shape is read back and compared with the coordinates, rings in
// shapefile order (outer clockwise, holes counter-clockwise).

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "gx_test_bytes.h"

namespace {

using Point = std::array<double, 4>;  // X, Y, Z, M (0 where the shape has none)
using Part = std::vector<Point>;

struct Case {
    int id;
    const char* wkt;
    int shape_type;
    std::vector<Part> parts;  // as the shapefile must hold them
};

const std::vector<Case>& cases() {
    static const std::vector<Case> kCases = {
        {1,
         "POLYGON ((0 0,10 0,10 10,0 10,0 0),(2 2,2 4,4 4,4 2,2 2))",
         5,
         {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}}}},
        {2,
         "MULTIPOLYGON Z (((0 0 1,10 0 2,10 10 3,0 0 1)),"
         "((20 20 5,21 21 6,20 21 7,20 20 5)))",
         15,
         {{{0, 0, 1}, {10, 10, 3}, {10, 0, 2}, {0, 0, 1}},
          {{20, 20, 5}, {20, 21, 7}, {21, 21, 6}, {20, 20, 5}}}},
        {3, "LINESTRING M (0 0 5,1 1 6)", 23, {{{0, 0, 0, 5}, {1, 1, 0, 6}}}},
        {4, "MULTIPOINT ZM ((1 2 3 4),(5 6 7 8))", 18, {{{1, 2, 3, 4}}, {{5, 6, 7, 8}}}},
        {5,
         "POLYGON M ((0 0 1,0 5 2,5 5 3,5 0 4,0 0 1),(1 1 9,2 1 9,2 2 9,1 1 9))",
         25,
         {{{0, 0, 0, 1}, {0, 5, 0, 2}, {5, 5, 0, 3}, {5, 0, 0, 4}, {0, 0, 0, 1}},
          {{1, 1, 0, 9}, {2, 1, 0, 9}, {2, 2, 0, 9}, {1, 1, 0, 9}}}},
        {6,
         "MULTILINESTRING ((0 0,1 1),(2 2,3 3,4 2))",
         3,
         {{{0, 0}, {1, 1}}, {{2, 2}, {3, 3}, {4, 2}}}},
        {7, "POINT ZM (1 2 3 4)", 11, {{{1, 2, 3, 4}}}},
        {8,
         "MULTIPOLYGON (((0 0,0 3,3 3,3 0,0 0),(1 1,2 1,2 2,1 1)),((5 5,5 6,6 6,5 5)))",
         5,
         {{{0, 0}, {0, 3}, {3, 3}, {3, 0}, {0, 0}},
          {{1, 1}, {2, 1}, {2, 2}, {1, 1}},
          {{5, 5}, {5, 6}, {6, 6}, {5, 5}}}},
    };
    return kCases;
}

double signed_area(const std::vector<double>& x, const std::vector<double>& y, size_t from,
                   size_t to) {
    double twice = 0;
    for (size_t i = from; i + 1 < to; ++i) {
        twice += x[i] * y[i + 1] - x[i + 1] * y[i];
    }
    return twice / 2;
}

// Compares a converted shape with the case, point by point.
void expect_shape(const Bytes& shape_bytes, const Case& expected, const std::string& source) {
    SCOPED_TRACE(source + " id " + std::to_string(expected.id) + ": " + expected.wkt);
    ReadShape shape = read_shape(shape_bytes);
    ASSERT_TRUE(shape.ok);
    EXPECT_EQ(shape.type, expected.shape_type);
    bool multipoint = expected.shape_type % 10 == 8;
    std::vector<size_t> starts;
    size_t total = 0;
    for (const Part& part : expected.parts) {
        starts.push_back(total);
        total += part.size();
    }
    ASSERT_EQ(shape.x.size(), total);
    if (!multipoint && expected.shape_type % 10 != 1) {
        ASSERT_EQ(shape.parts.size(), expected.parts.size());
    }
    for (size_t part = 0; part < expected.parts.size(); ++part) {
        if (!shape.parts.empty()) {
            EXPECT_EQ(size_t(shape.parts[part]), starts[part]);
        }
        for (size_t i = 0; i < expected.parts[part].size(); ++i) {
            const Point& point = expected.parts[part][i];
            size_t at = starts[part] + i;
            EXPECT_EQ(shape.x[at], point[0]) << "part " << part << " point " << i;
            EXPECT_EQ(shape.y[at], point[1]) << "part " << part << " point " << i;
            if (shape.has_z) {
                EXPECT_EQ(shape.z[at], point[2]) << "part " << part << " point " << i;
            }
            if (shape.has_m) {
                EXPECT_EQ(shape.m[at], point[3]) << "part " << part << " point " << i;
            }
        }
    }
    if (expected.shape_type % 10 == 5) {  // the first ring is an outer one: clockwise
        EXPECT_LT(signed_area(shape.x, shape.y, 0, expected.parts[0].size()), 0);
        if (expected.parts.size() > 1 && expected.id != 2) {  // case 2's second ring is outer
            EXPECT_GT(
                signed_area(shape.x, shape.y, starts[1], starts[1] + expected.parts[1].size()), 0);
        }
    }
}

struct ScratchDirectory {
    std::string path;
    ScratchDirectory() {
        char name[] = "/tmp/gx-real-tools-XXXXXX";
        path = mkdtemp(name);
    }
    ~ScratchDirectory() { std::system(("rm -rf '" + path + "'").c_str()); }
};

// id → blob of every row of a query.
std::map<int, Bytes> read_blobs(const std::string& database, const char* sql) {
    std::map<int, Bytes> blobs;
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(database.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        while (sqlite3_step(statement) == SQLITE_ROW) {
            const uint8_t* blob = static_cast<const uint8_t*>(sqlite3_column_blob(statement, 1));
            blobs[sqlite3_column_int(statement, 0)] =
                Bytes(blob, blob + sqlite3_column_bytes(statement, 1));
        }
    }
    EXPECT_NE(statement, nullptr) << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return blobs;
}

Bytes converted(const Bytes& blob, GxBlobFormats formats) {
    Converted result = convert(blob, formats);
    EXPECT_TRUE(result.ok) << result.sql_state << " " << result.message;
    return result.shape;
}

}  // namespace

TEST(GxRealToolsTest, GeoPackageWrittenByOgr2ogr) {
    ScratchDirectory scratch;
    std::ofstream csv(scratch.path + "/in.csv");
    csv << "id,WKT\n";
    for (const Case& c : cases()) {
        csv << c.id << ",\"" << c.wkt << "\"\n";
    }
    csv << "99,\"POINT EMPTY\"\n";
    csv.close();
    std::string command = "ogr2ogr -q -f GPKG '" + scratch.path + "/out.gpkg' '" + scratch.path +
                          "/in.csv' -nln shapes";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::map<int, Bytes> blobs =
        read_blobs(scratch.path + "/out.gpkg", "SELECT CAST(id AS INTEGER), geom FROM shapes");
    ASSERT_EQ(blobs.size(), cases().size() + 1);
    for (const Case& c : cases()) {
        ASSERT_GE(blobs[c.id].size(), 2u);
        EXPECT_EQ(blobs[c.id][0], 'G');  // GeoPackage binary
        expect_shape(converted(blobs[c.id], GxBlobFormats::kStandard), c, "ogr2ogr");
    }
    EXPECT_EQ(converted(blobs[99], GxBlobFormats::kStandard), Bytes(4, 0));  // the null shape
}

TEST(GxRealToolsTest, SpatiaLiteDatabaseWrittenBySpatialite) {
    ScratchDirectory scratch;
    constexpr int kCompressed = 100;  // id offset of the compressed copies
    std::ofstream sql(scratch.path + "/make.sql");
    sql << "CREATE TABLE shapes (id INTEGER PRIMARY KEY, geom BLOB);\n";
    for (const Case& c : cases()) {
        sql << "INSERT INTO shapes VALUES (" << c.id << ", GeomFromText('" << c.wkt
            << "', 4326));\n"
            << "INSERT INTO shapes VALUES (" << c.id + kCompressed
            << ", CompressGeometry(GeomFromText('" << c.wkt << "', 4326)));\n";
    }
    sql << "SELECT EnableTinyPoint();\n"
           "INSERT INTO shapes VALUES (99, MakePointZM(1, 2, 3, 4, 4326));\n";
    sql.close();
    std::string database = scratch.path + "/shapes.sqlite";
    // spatialite chats on stderr when it creates a database; shown only on failure.
    std::string errors = scratch.path + "/errors.txt";
    std::string command = "spatialite -bail '" + database + "' < '" + scratch.path +
                          "/make.sql' > /dev/null 2> '" + errors + "'";
    ASSERT_EQ(std::system(command.c_str()), 0)
        << command << "\n"
        << std::string(std::istreambuf_iterator<char>(std::ifstream(errors).rdbuf()), {});

    std::map<int, Bytes> blobs = read_blobs(database, "SELECT id, geom FROM shapes");
    ASSERT_EQ(blobs.size(), 2 * cases().size() + 1);
    for (const Case& c : cases()) {
        expect_shape(converted(blobs[c.id], GxBlobFormats::kWithSpatiaLite), c, "spatialite");
        expect_shape(converted(blobs[c.id + kCompressed], GxBlobFormats::kWithSpatiaLite), c,
                     "spatialite compressed");
    }
    // The compressed class really is there for lines and polygons.
    const Bytes& compressed_polygon = blobs[1 + kCompressed];
    ASSERT_GT(compressed_polygon.size(), 43u);
    EXPECT_EQ(compressed_polygon[39] | compressed_polygon[40] << 8 | compressed_polygon[41] << 16,
              1000003);
    ASSERT_EQ(blobs[99].size(), 40u);  // a TinyPoint
    EXPECT_EQ(blobs[99][1], 0x81);
    expect_shape(converted(blobs[99], GxBlobFormats::kWithSpatiaLite), cases()[6], "tinypoint");
}
