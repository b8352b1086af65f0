// Describing on every engine: the types every engine maps alike, the
// registered geometry column, and the shape expression, known by its
// function without a row.

#include <string>

#include "ostrel_describe_cases.h"

namespace {

const TypeCase kPortableTypes[] = {
    {"CHAR(5)", OSL_SQL_CHAR, 5, 0, 0},           {"VARCHAR(20)", OSL_SQL_VARCHAR, 20, 0, 0},
    {"TEXT", OSL_SQL_VARCHAR, 254, 0, 0},         {"SMALLINT", OSL_SQL_SMALLINT, 2, 0, 0},
    {"INT4", OSL_SQL_INTEGER, 4, 0, 0},           {"BIGINT", OSL_SQL_DECIMAL, kDec, 19, 0},
    {"DOUBLE PRECISION", OSL_SQL_FLOAT, 8, 0, 0}, {"DECIMAL(8,2)", OSL_SQL_DECIMAL, kDec, 8, 2},
    {"NUMERIC", OSL_SQL_DECIMAL, kDec, 16, 255},  {"DATE", OSL_SQL_DATE, 4, 0, 0},
    {"BOOLEAN", OSL_SQL_BOOLEAN, 1, 0, 0},        {"TIMESTAMP", OSL_SQL_UNMAPPED, 0, 0, 0},
};

using OslDescribe = EngineTest;

TEST_P(OslDescribe, TypesGeometryAndShape) {
    connect_to(all_types_json(kPortableTypes, nullptr));
    const int cases = static_cast<int>(sizeof kPortableTypes / sizeof kPortableTypes[0]);
    ASSERT_EQ(osl_prepare("selstmt1", "SELECT * FROM t"), 0) << first_message();
    ASSERT_EQ(osl_allocate_descriptor("d", 2), 0);
    ASSERT_EQ(osl_describe("selstmt1", "d"), 0) << first_message();
    int count = 0;
    ASSERT_EQ(osl_get_descriptor_count("d", &count), 0);
    ASSERT_EQ(count, cases + 1);
    for (int i = 0; i < cases; ++i) {
        expect_described(i + 1, kPortableTypes[i], type_column_name(static_cast<size_t>(i)));
    }
    expect_described(count, {"geometry", OSL_SQL_GEOMETRY, 0, 0, 0}, "Shape");

    // A mixed-case name is quoted, as SQL wants it wherever names keep
    // their case.
    ASSERT_EQ(osl_prepare("shape", "SELECT GX_AsShape(\"Shape\") FROM t WHERE 1 = 0"), 0)
        << first_message();
    ASSERT_EQ(osl_describe("shape", "d"), 0) << first_message();
    expect_described(1, {"GX_AsShape", OSL_SQL_VAR_BINARY, 0, 0, 0}, "GX_AsShape(\"Shape\")");
}

OSTREL_ENGINE_SUITE(OslDescribe);

}  // namespace
