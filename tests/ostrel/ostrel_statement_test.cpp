// Statements on every engine: the dialect (EXECUTE FUNCTION, "?" markers,
// one statement per text), execution into single values and with inputs,
// the cursor run to its end and again, and the errors a user sees for a
// bad statement, an unknown table and misuse of the SQL objects.

#include <string>

#include "ostrel_test_support.h"

namespace {

const char* const kRoadsJson = R"J({"tables": [{"name": "roads",
  "columns": [["name", "TEXT"], ["lanes", "SMALLINT"]],
  "geometry_column": "geom", "geometry_type": "LINESTRING", "srid": 4326,
  "srtext": "GEOGCS[\"WGS 84\"]",
  "rows": [{"name": "A", "lanes": 2, "geom": ["LineString", [[0, 0], [1, 1]]]},
           {"name": "B", "lanes": 4, "geom": ["LineString", [[1, 1], [2, 2]]]}]}]})J";

class OslStatement : public EngineTest {
protected:
    void SetUp() override { connect_to(kRoadsJson); }
};

TEST_P(OslStatement, SpatialReferenceQueryIntoSingleValues) {
    ASSERT_EQ(osl_prepare("srsel",
                          "SELECT sr.srid, sr.srtext\nFROM   geometry_columns gc, "
                          "spatial_references sr\nWHERE  gc.f_table_name = 'roads' AND\n       "
                          "gc.f_geometry_column = 'geom' AND\n       gc.srid = sr.srid;\n"),
              0)
        << first_message();
    int32_t srid = 0;
    char srtext[2049];
    OslHostValue outputs[] = {host_int32(&srid), host_text(srtext, sizeof srtext)};
    ASSERT_EQ(osl_execute_into("srsel", outputs, 2), 0) << first_message();
    EXPECT_EQ(srid, 4326);
    EXPECT_STREQ(srtext, "GEOGCS[\"WGS 84\"]");

    ASSERT_EQ(osl_prepare("srsel", "SELECT 1, 'x' FROM roads WHERE 1 = 0"), 0);
    EXPECT_EQ(osl_execute_into("srsel", outputs, 2), OSL_NO_ROW);

    // Never a silent first row.
    ASSERT_EQ(osl_prepare("two", "SELECT lanes, name FROM roads"), 0);
    EXPECT_EQ(osl_execute_into("two", outputs, 2), -420);
    EXPECT_EQ(first_message(), "Statement 'two' returns more than one row where one was expected.");
    EXPECT_EQ(conditions()[0].sqlstate, "21000");

    EXPECT_LT(osl_execute_into("two", outputs, 1), 0);
    EXPECT_EQ(first_message(), "Statement 'two' returns 2 values, but 1 output values were given.");
}

TEST_P(OslStatement, ColumnCountWithAnInputValue) {
    const char* sql =
        "SELECT count ( colno ) FROM syscolumns sc , systables st WHERE sc . tabid = st . tabid "
        "AND st . tabname = ?";
    char table[] = "roads";
    OslHostValue input = host_text(table, sizeof table);
    int32_t count = 0;
    OslHostValue output = host_int32(&count);
    ASSERT_EQ(osl_execute_immediate(sql, &input, 1, &output, 1), 0) << first_message();
    EXPECT_EQ(count, 3);
    EXPECT_EQ(osl_execute_immediate(sql, nullptr, 0, &output, 1), -421);
    EXPECT_EQ(first_message(),
              "Statement 'SELECT count ( colno ) FROM syscolumns sc , systables st WHE...' has 1 "
              "input markers, but 0 input values were given.");
}

TEST_P(OslStatement, ExecuteFunctionAndOneStatementPerText) {
    OslVar result = {};
    osl_var_ready(&result);
    OslHostValue output = host_var(&result);
    ASSERT_EQ(osl_prepare("efstmt", "  execute   function upper('ok, done');"), 0)
        << first_message();
    ASSERT_EQ(osl_execute_into("efstmt", &output, 1), 0) << first_message();
    EXPECT_STREQ(static_cast<const char*>(osl_var_getdata(&result)), "OK, DONE");
    osl_var_dealloc(&result);

    EXPECT_EQ(osl_prepare("s", "SELECT 1; -- a comment after the statement\n"), 0);
    EXPECT_EQ(osl_prepare("s", "SELECT 1;;"), 0);
    EXPECT_EQ(osl_prepare("s", "SELECT 1; DELETE FROM roads"), -414);
    EXPECT_EQ(first_message(),
              "Statement 's' holds a second statement after the first: 'DELETE FROM roads'. "
              "Give one statement.");
    EXPECT_EQ(osl_prepare("s", "  ;"), -415);
}

// The kind of error by the library's code; the engine's own words follow
// the statement's name.
TEST_P(OslStatement, ErrorsAUserCanActOn) {
    const std::pair<const char*, int> kinds[] = {
        {"SELECT name,\n\tGX_AsShape(geom)\nFROM\troads\nWHERE\tlanes >", -411},
        {"SELEC name FROM roads", -411},
        {"SELECT * FROM nosuch", -412},
        {"SELECT name, width FROM roads", -413},
    };
    for (const auto& [sql, code] : kinds) {
        EXPECT_EQ(osl_prepare("selstmt2", sql), code) << sql;
        EXPECT_EQ(first_message().rfind("Statement 'selstmt2' cannot be prepared: ", 0), 0u)
            << first_message();
    }

    // The SQL objects by id.
    EXPECT_EQ(osl_execute_into("nostmt", nullptr, 0), -418);
    EXPECT_EQ(first_message(), "Statement 'nostmt' cannot be executed: it is not prepared.");
    EXPECT_EQ(osl_describe("nostmt", "d"), -418);
    EXPECT_EQ(osl_fetch("nocurs", "d"), -441);
    EXPECT_EQ(first_message(), "Fetch: cursor 'nocurs' is not declared.");
    ASSERT_EQ(osl_prepare("s", "SELECT name FROM roads"), 0);
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    EXPECT_EQ(osl_declare_cursor("c", "s"), -442);
    EXPECT_EQ(osl_fetch("c", "d"), -443);
    EXPECT_EQ(first_message(), "Fetch: cursor 'c' is not open.");
    ASSERT_EQ(osl_open_cursor("c"), 0);
    EXPECT_EQ(osl_fetch("c", "nodesc"), -431);
    ASSERT_EQ(osl_allocate_descriptor("d", 1), 0);
    EXPECT_EQ(osl_allocate_descriptor("d", 1), -432);
    ASSERT_EQ(osl_describe("s", "d"), 0);
    int32_t type = 0;
    OslItemRequest request = {OSL_ITEM_TYPE, host_int32(&type)};
    EXPECT_EQ(osl_get_descriptor_items("d", 2, &request, 1), -433);
    EXPECT_EQ(first_message(), "Descriptor 'd' has 1 items; there is no item 2.");

    // Freeing the statement closes its cursor.
    ASSERT_EQ(osl_fetch("c", "d"), 0);
    ASSERT_EQ(osl_free_statement("s"), 0);
    EXPECT_EQ(osl_fetch("c", "d"), -443);
    EXPECT_EQ(osl_open_cursor("c"), -418);
    EXPECT_EQ(osl_free_cursor("c"), 0);
    EXPECT_EQ(osl_deallocate_descriptor("d"), 0);
    EXPECT_EQ(osl_deallocate_descriptor("d"), -431);
}

TEST_P(OslStatement, CursorRunsToTheEndAndAgain) {
    ASSERT_EQ(osl_prepare("s", "SELECT lanes FROM roads ORDER BY lanes"), 0);
    ASSERT_EQ(osl_allocate_descriptor("d", 1), 0);
    ASSERT_EQ(osl_describe("s", "d"), 0);
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    for (int pass = 0; pass < 2; ++pass) {
        ASSERT_EQ(osl_open_cursor("c"), 0);
        std::string seen;
        while (osl_fetch("c", "d") == 0) {
            int32_t lanes = 0;
            OslItemRequest data = {OSL_ITEM_DATA, host_int32(&lanes)};
            ASSERT_EQ(osl_get_descriptor_items("d", 1, &data, 1), 0) << first_message();
            seen += std::to_string(lanes);
        }
        EXPECT_EQ(osl_status(), OSL_NO_ROW);
        EXPECT_EQ(seen, "24");
        EXPECT_EQ(osl_fetch("c", "d"), OSL_NO_ROW);
        ASSERT_EQ(osl_close_cursor("c"), 0);
    }
}

OSTREL_ENGINE_SUITE(OslStatement);

}  // namespace
