// The embedded engine's describe: every declared type of the mapping, in a
// real database of each kind, with its TYPE, LENGTH, PRECISION and SCALE;
// and expressions described by the first row's values.

#include <string>
#include <vector>

#include "ostrel_describe_cases.h"

namespace {

const TypeCase kTypeCases[] = {
    {"CHAR(5)", OSL_SQL_CHAR, 5, 0, 0},
    {"character(3)", OSL_SQL_CHAR, 3, 0, 0},
    {"NCHAR(7)", OSL_SQL_CHAR, 7, 0, 0},
    {"CHAR", OSL_SQL_CHAR, 1, 0, 0},
    {"VARCHAR(20)", OSL_SQL_VARCHAR, 20, 0, 0},
    {"NVARCHAR(9)", OSL_SQL_VARCHAR, 9, 0, 0},
    {"TEXT(40)", OSL_SQL_VARCHAR, 40, 0, 0},
    {"CHARACTER VARYING (12)", OSL_SQL_VARCHAR, 12, 0, 0},
    {"TEXT", OSL_SQL_VARCHAR, 254, 0, 0},
    {"CLOB", OSL_SQL_VARCHAR, 254, 0, 0},
    {"varchar", OSL_SQL_VARCHAR, 254, 0, 0},
    {"", OSL_SQL_VARCHAR, 254, 0, 0},
    {"VARCHAR(300)", OSL_SQL_VARCHAR, 300, 0, 0},
    {"SMALLINT", OSL_SQL_SMALLINT, 2, 0, 0},
    {"INT2", OSL_SQL_SMALLINT, 2, 0, 0},
    {"TINYINT", OSL_SQL_SMALLINT, 2, 0, 0},
    {"MEDIUMINT", OSL_SQL_INTEGER, 4, 0, 0},
    {"INT4", OSL_SQL_INTEGER, 4, 0, 0},
    {"SERIAL", OSL_SQL_SERIAL, 4, 0, 0},
    {"INT", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"integer", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"INT(11)", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"BIGINT", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"INT8", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"SERIAL8", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"BIGSERIAL", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"FLOAT", OSL_SQL_FLOAT, 8, 0, 0},
    {"DOUBLE", OSL_SQL_FLOAT, 8, 0, 0},
    {"DOUBLE PRECISION", OSL_SQL_FLOAT, 8, 0, 0},
    {"REAL", OSL_SQL_FLOAT, 8, 0, 0},
    {"SMALLFLOAT", OSL_SQL_SMALLFLOAT, 4, 0, 0},
    {"DECIMAL(8,2)", OSL_SQL_DECIMAL, kDec, 8, 2},
    {"NUMERIC(10, 0)", OSL_SQL_DECIMAL, kDec, 10, 0},
    {"DEC(5,5)", OSL_SQL_DECIMAL, kDec, 5, 5},
    {"DECIMAL(32,31)", OSL_SQL_DECIMAL, kDec, 32, 31},
    {"DECIMAL(16)", OSL_SQL_DECIMAL, kDec, 16, 255},
    {"NUMERIC(7)", OSL_SQL_DECIMAL, kDec, 7, 255},
    {"DECIMAL", OSL_SQL_DECIMAL, kDec, 16, 255},
    {"NUMERIC", OSL_SQL_DECIMAL, kDec, 16, 255},
    {"MONEY", OSL_SQL_MONEY, kDec, 16, 2},
    {"MONEY(8,2)", OSL_SQL_MONEY, kDec, 8, 2},
    {"DATE", OSL_SQL_DATE, 4, 0, 0},
    {"BOOLEAN", OSL_SQL_BOOLEAN, 1, 0, 0},
    {"bool", OSL_SQL_BOOLEAN, 1, 0, 0},
    {"DATETIME", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"TIMESTAMP", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"BLOB", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"POINT", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"DECIMAL(33,2)", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"DECIMAL(5,6)", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"DECIMAL(0)", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"MONEY(40,2)", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"CHAR(0)", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"CHAR(4,2)", OSL_SQL_UNMAPPED, 0, 0, 0},
    {"UNSIGNED BIG INT", OSL_SQL_UNMAPPED, 0, 0, 0},
};

using SqliteDescribe = OstrelTest;

TEST_F(SqliteDescribe, EveryDeclaredTypeInEveryKindOfDatabase) {
    const size_t cases = sizeof kTypeCases / sizeof kTypeCases[0];
    for (const char* kind : {"gpkg", "spatialite", "native"}) {
        SCOPED_TRACE(kind);
        std::string file = scratch.file(std::string("types_") + kind + ".db");
        build_database(file, kind, all_types_json(kTypeCases, ""));
        ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
        ASSERT_EQ(osl_prepare("selstmt1", "SELECT * FROM t"), 0) << first_message();
        ASSERT_EQ(osl_allocate_descriptor("d", static_cast<int>(cases) + 1), 0);
        ASSERT_EQ(osl_describe("selstmt1", "d"), 0) << first_message();
        int count = 0;
        ASSERT_EQ(osl_get_descriptor_count("d", &count), 0);
        ASSERT_EQ(count, static_cast<int>(cases) + 1);
        for (size_t i = 0; i < cases; ++i) {
            expect_described(static_cast<int>(i) + 1, kTypeCases[i], type_column_name(i));
        }
        // The geometry column: declared without a type (so it must not
        // become a text field), registered in lower
        // case, described as geometry, its name as stored.
        expect_described(count, {"geometry", OSL_SQL_GEOMETRY, 0, 0, 0}, "Shape");
        osl_disconnect_current();
    }
}

TEST_F(SqliteDescribe, ExpressionsByWhatTheyReturn) {
    std::string file = scratch.file("e.gpkg");
    build_database(file, "gpkg", R"J({"tables": [{"name": "roads",
        "columns": [["Name", "TEXT(10)"], ["lanes", "MEDIUMINT"]],
        "geometry_column": "geom", "geometry_type": "LINESTRING",
        "rows": [{"name": "A", "lanes": 2, "geom": ["LineString", [[0, 0], [1, 1]]]}]}]})J");
    ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
    ASSERT_EQ(osl_allocate_descriptor("d", 4), 0);
    int32_t type = -1;
    char name[64];
    OslItemRequest requests[] = {{OSL_ITEM_TYPE, host_int32(&type)},
                                 {OSL_ITEM_NAME, host_text(name, sizeof name)}};
    // Other expressions by the first row's values; a column named in another
    // case than stored reports the stored name.
    ASSERT_EQ(osl_prepare("s",
                          "SELECT\n\tNAME,\n\tlanes * 2 AS twice, lanes / 4.0, 'x' || "
                          "name\nFROM\troads\n"),
              0)
        << first_message();
    ASSERT_EQ(osl_describe("s", "d"), 0) << first_message();
    int count = 0;
    ASSERT_EQ(osl_get_descriptor_count("d", &count), 0);
    ASSERT_EQ(count, 4);
    const std::pair<int, const char*> expected[] = {{OSL_SQL_VARCHAR, "Name"},
                                                    {OSL_SQL_DECIMAL, "twice"},
                                                    {OSL_SQL_FLOAT, "lanes / 4.0"},
                                                    {OSL_SQL_VARCHAR, "'x' || name"}};
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(osl_get_descriptor_items("d", i + 1, requests, 2), 0) << first_message();
        EXPECT_EQ(type, expected[i].first) << i;
        EXPECT_STREQ(name, expected[i].second);
    }
    // Describing peeked at the first row; the cursor still starts at it.
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    ASSERT_EQ(osl_fetch("c", "d"), 0) << first_message();
    char text[16];
    OslItemRequest data = {OSL_ITEM_DATA, host_text(text, sizeof text)};
    ASSERT_EQ(osl_get_descriptor_items("d", 1, &data, 1), 0) << first_message();
    EXPECT_STREQ(text, "A");
}

}  // namespace
