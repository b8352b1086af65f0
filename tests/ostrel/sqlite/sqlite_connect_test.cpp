// The embedded engine's connections: files that are not databases, and the
// catalog views over what each kind of SQLite file keeps (GeoPackage,
// SpatiaLite of every age, native), real SpatiaLite files included.

#include <sqlite3.h>

#include <fstream>
#include <string>

#include "ostrel_test_support.h"

namespace {

using SqliteConnect = OstrelTest;

TEST_F(SqliteConnect, FileThatIsNotADatabase) {
    std::ofstream(scratch.file("junk.gpkg")) << "this is not a database file, only text";
    EXPECT_LT(osl_connect(("junk@" + scratch.path).c_str(), nullptr), 0);
    EXPECT_EQ(first_message(), "Database file '" + scratch.file("junk.gpkg") +
                                   "' cannot be opened: file is not a database.");
}

TEST_F(SqliteConnect, CatalogOfEachKindOfDatabase) {
    // The GeoPackage's own gpkg_* tables are part of systables; the
    // comparison looks at the user's tables only.
    build_database(scratch.file("g.gpkg"), "gpkg", kRoadsAndPointsJson);
    ASSERT_EQ(osl_connect(("g@" + scratch.path).c_str(), nullptr), 0) << first_message();
    EXPECT_EQ(column_values("SELECT tabname FROM systables WHERE tabname NOT LIKE 'gpkg%' "
                            "ORDER BY tabname"),
              (std::vector<std::string>{"points", "roads"}));
    EXPECT_EQ(column_values("SELECT sr.srtext FROM geometry_columns gc, spatial_references sr "
                            "WHERE gc.srid = sr.srid ORDER BY gc.f_table_name"),
              (std::vector<std::string>{"UNKNOWN", "GEOGCS[\"WGS 84\"]"}));
    EXPECT_EQ(column_values("SELECT f_table_name || '.' || f_geometry_column FROM "
                            "geometry_columns ORDER BY 1"),
              (std::vector<std::string>{"points.geom", "roads.geom"}));
    EXPECT_EQ(column_values("SELECT type || coord_dimension FROM geometry_columns ORDER BY 1"),
              (std::vector<std::string>{"LINESTRING2", "POINT2"}));
    osl_disconnect_current();

    // SpatiaLite: the module-less SpatialIndex virtual table and the R*Tree
    // with its shadow tables stay out of systables (a column query on
    // SpatialIndex would fail with "no such module").
    build_database(scratch.file("s.sqlite"), "spatialite", kRoadsAndPointsJson);
    ASSERT_EQ(osl_connect(("s@" + scratch.path).c_str(), nullptr), 0) << first_message();
    std::vector<std::string> tables = column_values(
        "SELECT tabname FROM systables WHERE tabname NOT IN ('geometry_columns', "
        "'spatial_ref_sys') ORDER BY tabname");
    EXPECT_EQ(tables, (std::vector<std::string>{"points", "roads"}));
    EXPECT_EQ(column_values("SELECT count(*) FROM syscolumns"), (std::vector<std::string>{"17"}));
    EXPECT_EQ(column_values("SELECT type || coord_dimension FROM geometry_columns ORDER BY 1"),
              (std::vector<std::string>{"LINESTRING2", "POINT2"}));
    EXPECT_EQ(column_values("SELECT sr.srtext FROM geometry_columns gc, spatial_references sr "
                            "WHERE gc.srid = sr.srid ORDER BY gc.f_table_name"),
              (std::vector<std::string>{"UNKNOWN", "GEOGCS[\"WGS 84\"]"}));
    osl_disconnect_current();

    build_database(scratch.file("n.db"), "native", kRoadsAndPointsJson);
    ASSERT_EQ(osl_connect(("n@" + scratch.path).c_str(), nullptr), 0) << first_message();
    EXPECT_EQ(column_values("SELECT tabname FROM systables WHERE tabname NOT IN "
                            "('geometry_columns', 'spatial_references') ORDER BY tabname"),
              (std::vector<std::string>{"points", "roads"}));
    EXPECT_EQ(column_values("SELECT sr.srtext FROM geometry_columns gc, spatial_references sr "
                            "WHERE gc.srid = sr.srid ORDER BY gc.f_table_name"),
              (std::vector<std::string>{"UNKNOWN", "GEOGCS[\"WGS 84\"]"}));
    EXPECT_EQ(column_values("SELECT type || coord_dimension FROM geometry_columns ORDER BY 1"),
              (std::vector<std::string>{"GEOMETRY2", "GEOMETRY2"}));
}

// A file SpatiaLite itself wrote: its metadata tables, the SpatialIndex
// virtual table whose module is missing here, an R*Tree index, and views
// that call SpatiaLite's own functions.
TEST_F(SqliteConnect, RealSpatiaLiteFile) {
    if (std::system("command -v spatialite >/dev/null 2>&1") != 0) {
        GTEST_SKIP() << "spatialite is not installed";
    }
    std::string file = scratch.file("real.sqlite");
    std::string command =
        "spatialite '" + file +
        "' \"SELECT InitSpatialMetadata(1); CREATE TABLE Roads(id INTEGER PRIMARY KEY, "
        "Name TEXT); SELECT AddGeometryColumn('Roads', 'Geom', 4326, 'LINESTRING', 'XY'); "
        "SELECT CreateSpatialIndex('Roads', 'Geom'); INSERT INTO Roads(Name, Geom) VALUES "
        "('a', GeomFromText('LINESTRING(0 0, 1 1)', 4326)); "
        "CREATE TABLE knn_places(id INTEGER); CREATE TABLE spatialindex_x(id INTEGER);\" "
        ">/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
    EXPECT_EQ(column_values("SELECT colname FROM syscolumns sc, systables st "
                            "WHERE sc.tabid = st.tabid AND st.tabname = 'roads' ORDER BY colno"),
              (std::vector<std::string>{"id", "name", "geom"}));
    // User tables named like a virtual table's shadow tables are still tables.
    EXPECT_EQ(column_values("SELECT tabname FROM systables WHERE tabname LIKE '%spatialindex%' "
                            "OR tabname LIKE 'idx_roads%' OR tabname LIKE 'knn%' ORDER BY 1"),
              (std::vector<std::string>{"knn_places", "spatialindex_x"}));
    EXPECT_EQ(column_values("SELECT substr(sr.srtext, 1, 15) FROM geometry_columns gc, "
                            "spatial_references sr WHERE gc.f_table_name = 'roads' AND "
                            "gc.f_geometry_column = 'geom' AND gc.srid = sr.srid"),
              (std::vector<std::string>{"GEOGCS[\"WGS 84\""}));
    EXPECT_EQ(column_values("SELECT type || coord_dimension FROM geometry_columns "
                            "WHERE f_table_name = 'roads'"),
              (std::vector<std::string>{"LINESTRING2"}));
    ASSERT_EQ(osl_prepare("selstmt1", "SELECT * FROM roads"), 0) << first_message();
    ASSERT_EQ(osl_allocate_descriptor("seldesc1", 3), 0);
    ASSERT_EQ(osl_describe("selstmt1", "seldesc1"), 0) << first_message();
    int32_t type = 0;
    char name[32];
    OslItemRequest requests[] = {{OSL_ITEM_TYPE, host_int32(&type)},
                                 {OSL_ITEM_NAME, host_text(name, sizeof name)}};
    ASSERT_EQ(osl_get_descriptor_items("seldesc1", 3, requests, 2), 0);
    EXPECT_EQ(type, OSL_SQL_GEOMETRY);
    EXPECT_STREQ(name, "Geom");
}

// SpatiaLite before version 4 kept the definition in srs_wkt, and older
// still had none at all.
TEST_F(SqliteConnect, OlderSpatiaLiteReferenceColumns) {
    const std::pair<const char*, const char*> layouts[] = {{"srs_wkt", "GEOGCS[\"legacy\"]"},
                                                           {"proj4text", "UNKNOWN"}};
    for (const auto& [column, expected] : layouts) {
        std::string file = scratch.file(std::string("old_") + column + ".sqlite");
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(file.c_str(), &db), SQLITE_OK);
        std::string sql =
            "CREATE TABLE geometry_columns(f_table_name TEXT, f_geometry_column TEXT, "
            "type TEXT, coord_dimension INTEGER, srid INTEGER, spatial_index_enabled INTEGER);"
            "INSERT INTO geometry_columns VALUES ('Pts', 'Geom', 'POINT', 2, 4326, 0);"
            "CREATE TABLE spatial_ref_sys(srid INTEGER, auth_name TEXT, auth_srid INTEGER, "
            "ref_sys_name TEXT, proj4text TEXT" +
            std::string(std::string(column) == "srs_wkt" ? ", srs_wkt TEXT" : "") +
            ");INSERT INTO spatial_ref_sys(srid, proj4text" +
            (std::string(column) == "srs_wkt" ? ", srs_wkt) VALUES (4326, '+proj', "
                                                "'GEOGCS[\"legacy\"]')"
                                              : ") VALUES (4326, '+proj')") +
            ";CREATE TABLE pts(id INTEGER, geom BLOB);";
        ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
        ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
        EXPECT_EQ(column_values("SELECT sr.srtext FROM geometry_columns gc, spatial_references sr "
                                "WHERE gc.f_table_name = 'pts' AND gc.srid = sr.srid"),
                  (std::vector<std::string>{expected}))
            << column;
        EXPECT_EQ(column_values("SELECT type || coord_dimension FROM geometry_columns"),
                  (std::vector<std::string>{"POINT2"}));
        osl_disconnect_current();
    }
}

}  // namespace
