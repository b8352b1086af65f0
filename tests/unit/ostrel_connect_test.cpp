// Connecting: target resolution, read-only opening, refusals a user can act
// on, and the catalog views of GeoPackage, SpatiaLite and native databases.

#include <sqlite3.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include "ostrel_test_support.h"

namespace {

const char* const kRoadsJson = R"({"tables": [{
  "name": "Roads", "columns": [["Name", "TEXT"], ["lanes", "MEDIUMINT"]],
  "geometry_column": "Geom", "geometry_type": "LINESTRING", "srid": 4326,
  "srtext": "GEOGCS[\"WGS 84\"]",
  "rows": [{"Name": "A", "lanes": 2, "geom": ["LineString", [[0, 0], [1, 1]]]}]}, {
  "name": "points", "columns": [["label", "TEXT"]],
  "geometry_column": "geom", "geometry_type": "POINT", "srid": 0,
  "rows": [{"label": "p", "geom": ["Point", [1, 2]]}]}]})";

void touch(const std::string& path, const char* content = "") {
    std::ofstream out(path);
    out << content;
}

std::string resolved(const std::string& target) {
    char path[4096];
    int status = osl_resolve_database_file(target.c_str(), path, sizeof path);
    return status == 0 ? std::string(path) : "status " + std::to_string(status);
}

// Runs a one-column query through a cursor and returns its rows as texts.
std::vector<std::string> column_values(const char* sql) {
    std::vector<std::string> values;
    EXPECT_EQ(osl_prepare("q", sql), 0) << first_message();
    EXPECT_EQ(osl_allocate_descriptor("d", 1), 0);
    EXPECT_EQ(osl_describe("q", "d"), 0);
    OslItemSetting as_text = {OSL_ITEM_TYPE, OSL_SQL_VARCHAR};
    EXPECT_EQ(osl_set_descriptor_items("d", 1, &as_text, 1), 0);
    EXPECT_EQ(osl_declare_cursor("c", "q"), 0);
    EXPECT_EQ(osl_open_cursor("c"), 0);
    while (osl_fetch("c", "d") == 0) {
        char text[512];
        OslItemRequest data = {OSL_ITEM_DATA, host_text(text, sizeof text)};
        EXPECT_EQ(osl_get_descriptor_items("d", 1, &data, 1), 0) << first_message();
        values.push_back(text);
    }
    EXPECT_EQ(osl_status(), OSL_NO_ROW) << first_message();
    osl_close_cursor("c");
    osl_free_cursor("c");
    osl_free_statement("q");
    osl_deallocate_descriptor("d");
    return values;
}

using OslConnect = OstrelTest;

TEST_F(OslConnect, ResolvesNamesInOrderAndIgnoringCase) {
    std::string dir = scratch.path;
    touch(scratch.file("roads.sqlite"));
    touch(scratch.file("roads.db"));
    EXPECT_EQ(resolved("roads@" + dir), dir + "/roads.sqlite");
    touch(scratch.file("roads.gpkg"));
    EXPECT_EQ(resolved("roads@" + dir), dir + "/roads.gpkg");
    touch(scratch.file("roads"));
    EXPECT_EQ(resolved("roads@" + dir), dir + "/roads");

    // -D arrives lower-cased; the file keeps its capitals.
    touch(scratch.file("NaturalEarth.gpkg"));
    EXPECT_EQ(resolved("naturalearth@" + dir), dir + "/NaturalEarth.gpkg");
    // Two files that match ignoring case: refused, both named.
    touch(scratch.file("NATURALEARTH.db"));
    EXPECT_LT(osl_resolve_database_file(("naturalearth@" + dir).c_str(), nullptr, 0), 0);
    EXPECT_NE(first_message().find("NaturalEarth.gpkg"), std::string::npos) << first_message();
    EXPECT_NE(first_message().find("NATURALEARTH.db"), std::string::npos) << first_message();

    // Without a server the name is relative to the working directory.
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(chdir(dir.c_str()), 0);
    EXPECT_EQ(resolved("roads"), "roads");
    EXPECT_EQ(resolved("naturalearth.gpkg"), "NaturalEarth.gpkg");
    ASSERT_EQ(chdir(cwd), 0);

    // A server address is not a file.
    char path[64] = "x";
    EXPECT_EQ(osl_resolve_database_file("db@postgresql://localhost/x", path, sizeof path), 1);
    EXPECT_STREQ(path, "");
}

TEST_F(OslConnect, MissingDatabaseNamesEveryPathTried) {
    std::string target = "nosuch@" + scratch.path;
    EXPECT_LT(osl_connect(target.c_str(), nullptr), 0);
    std::vector<Condition> all = conditions();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].code, osl_status());
    EXPECT_EQ(all[0].sqlstate, "08001");
    EXPECT_EQ(all[0].message, "Database 'nosuch' not found in directory '" + scratch.path + "/'.");
    std::string d = scratch.path + "/";
    EXPECT_EQ(all[1].message, "Tried '" + d + "nosuch', '" + d + "nosuch.gpkg', '" + d +
                                  "nosuch.sqlite', '" + d +
                                  "nosuch.db', and these names in any letter case.");
    // A failed connect leaves no connection behind.
    EXPECT_LT(osl_prepare("s", "SELECT 1"), 0);
    EXPECT_NE(first_message().find("no database connection"), std::string::npos);
}

TEST_F(OslConnect, ServersThatAreNotThere) {
    EXPECT_LT(osl_connect("roads@dbhost.example", nullptr), 0);
    EXPECT_EQ(first_message(),
              "Cannot connect to server 'dbhost.example' for database 'roads': it is neither an "
              "existing directory nor a postgresql:// address.");
    EXPECT_LT(osl_connect("roads@postgresql://localhost:5432/", nullptr), 0);
    EXPECT_NE(first_message().find("server engine is not available"), std::string::npos);
    EXPECT_NE(first_message().find("postgresql://localhost:5432/"), std::string::npos);
}

TEST_F(OslConnect, FileThatIsNotADatabase) {
    touch(scratch.file("junk.gpkg"), "this is not a database file, only text");
    EXPECT_LT(osl_connect(("junk@" + scratch.path).c_str(), nullptr), 0);
    EXPECT_EQ(first_message(), "Database file '" + scratch.file("junk.gpkg") +
                                   "' cannot be opened: file is not a database.");
}

TEST_F(OslConnect, OpensReadOnlyAndOnce) {
    build_database(scratch.file("t.gpkg"), "gpkg", kRoadsJson);
    std::string target = "t@" + scratch.path;
    ASSERT_EQ(osl_connect(target.c_str(), nullptr), 0) << first_message();
    EXPECT_LT(osl_connect(target.c_str(), nullptr), 0);
    EXPECT_NE(first_message().find("already connected"), std::string::npos);

    OslConnectAuth* auth = osl_auth_make("user", "secret");
    osl_auth_free(auth);

    EXPECT_LT(osl_execute_immediate("DELETE FROM Roads", nullptr, 0, nullptr, 0), 0);
    EXPECT_NE(first_message().find("readonly"), std::string::npos) << first_message();
    EXPECT_EQ(osl_disconnect_current(), 0);
    EXPECT_LT(osl_disconnect_current(), 0);
}

void expect_catalog(const std::string& points_srtext) {
    EXPECT_EQ(column_values("SELECT colname FROM syscolumns sc, systables st "
                            "WHERE sc.tabid = st.tabid AND st.tabname = 'roads' ORDER BY colno"),
              (std::vector<std::string>{"name", "lanes", "geom"}));
    EXPECT_EQ(column_values("SELECT f_table_name || '.' || f_geometry_column || '.' || srid "
                            "FROM geometry_columns ORDER BY 1"),
              (std::vector<std::string>{"points.geom.0", "roads.geom.4326"}));
    EXPECT_EQ(column_values("SELECT sr.srtext FROM geometry_columns gc, spatial_references sr "
                            "WHERE gc.srid = sr.srid ORDER BY gc.f_table_name"),
              (std::vector<std::string>{points_srtext, "GEOGCS[\"WGS 84\"]"}));
}

TEST_F(OslConnect, CatalogOfEachKindOfDatabase) {
    // The GeoPackage's own gpkg_* tables are part of systables; the
    // comparison looks at the user's tables only.
    build_database(scratch.file("g.gpkg"), "gpkg", kRoadsJson);
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
    osl_disconnect_current();

    // SpatiaLite: the module-less SpatialIndex virtual table and the R*Tree
    // with its shadow tables stay out of systables (a column query on
    // SpatialIndex would fail with "no such module").
    build_database(scratch.file("s.sqlite"), "spatialite", kRoadsJson);
    ASSERT_EQ(osl_connect(("s@" + scratch.path).c_str(), nullptr), 0) << first_message();
    std::vector<std::string> tables = column_values(
        "SELECT tabname FROM systables WHERE tabname NOT IN ('geometry_columns', "
        "'spatial_ref_sys') ORDER BY tabname");
    EXPECT_EQ(tables, (std::vector<std::string>{"points", "roads"}));
    EXPECT_EQ(column_values("SELECT count(*) FROM syscolumns"), (std::vector<std::string>{"17"}));
    EXPECT_EQ(column_values("SELECT sr.srtext FROM geometry_columns gc, spatial_references sr "
                            "WHERE gc.srid = sr.srid ORDER BY gc.f_table_name"),
              (std::vector<std::string>{"UNKNOWN", "GEOGCS[\"WGS 84\"]"}));
    osl_disconnect_current();

    build_database(scratch.file("n.db"), "native", kRoadsJson);
    ASSERT_EQ(osl_connect(("n@" + scratch.path).c_str(), nullptr), 0) << first_message();
    EXPECT_EQ(column_values("SELECT tabname FROM systables WHERE tabname NOT IN "
                            "('geometry_columns', 'spatial_references') ORDER BY tabname"),
              (std::vector<std::string>{"points", "roads"}));
    expect_catalog("UNKNOWN");
}

}  // namespace

namespace {

// A file SpatiaLite itself wrote: its metadata tables, the SpatialIndex
// virtual table whose module is missing here, an R*Tree index, and views
// that call SpatiaLite's own functions.
TEST_F(OslConnect, RealSpatiaLiteFile) {
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

}  // namespace

namespace {

// SpatiaLite before version 4 kept the definition in srs_wkt, and older
// still had none at all.
TEST_F(OslConnect, OlderSpatiaLiteReferenceColumns) {
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
        osl_disconnect_current();
    }
}

}  // namespace
