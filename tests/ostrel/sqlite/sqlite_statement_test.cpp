// The embedded engine's errors in SQLite's own words, each with the SQL
// state the library gives its kind.

#include <string>

#include "ostrel_test_support.h"

namespace {

TEST_F(OstrelTest, SqliteErrorsInItsOwnWords) {
    std::string file = scratch.file("r.gpkg");
    build_database(file, "gpkg", R"J({"tables": [{"name": "roads",
      "columns": [["name", "TEXT"], ["lanes", "MEDIUMINT"]], "geometry_column": "geom",
      "geometry_type": "LINESTRING", "rows": []}]})J");
    ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
    struct Case {
        const char* sql;
        const char* sqlstate;
        const char* message;
    };
    const Case cases[] = {
        {"SELECT name,\n\tGX_AsShape(geom)\nFROM\troads\nWHERE\tlanes >", "42000",
         "Statement 'selstmt2' cannot be prepared: incomplete input."},
        {"SELEC name FROM roads", "42000",
         "Statement 'selstmt2' cannot be prepared: near \"SELEC\": syntax error."},
        {"SELECT * FROM nosuch", "42S02",
         "Statement 'selstmt2' cannot be prepared: no such table: nosuch."},
        {"SELECT NAME, WIDTH FROM roads", "42S22",
         "Statement 'selstmt2' cannot be prepared: no such column: WIDTH."},
    };
    for (const Case& c : cases) {
        EXPECT_LT(osl_prepare("selstmt2", c.sql), 0);
        EXPECT_EQ(conditions()[0].sqlstate, c.sqlstate) << c.sql;
        EXPECT_EQ(first_message(), c.message);
    }
    EXPECT_LT(osl_execute_immediate("DELETE FROM roads", nullptr, 0, nullptr, 0), 0);
    EXPECT_EQ(first_message(),
              "Statement 'DELETE FROM roads' failed: attempt to write a readonly database.");
}

}  // namespace
