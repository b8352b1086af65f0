// The SQL error report, driven by real failing operations of the library.

#include "db/sql_error.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "ostrel_test_support.h"
#include "process_end_capture.h"
#include "report/messages.h"

namespace {

std::string error_text(size_t size = kSqlErrorTextBytes) {
    std::string buffer(size, '#');
    sql_error_text(&buffer[0], size);
    return buffer.c_str();
}

class SqlError : public OstrelTest {
protected:
    void connect_roads() {
        std::string file = scratch.file("r.gpkg");
        build_database(file, "gpkg", R"J({"tables": [{"name": "roads",
            "columns": [["name", "TEXT"]], "geometry_column": "geom",
            "geometry_type": "POINT", "rows": [{"name": "A", "geom": ["Point", [1, 2]]}]}]})J");
        ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
    }
};

TEST_F(SqlError, OneConditionFromAnUnknownTable) {
    connect_roads();
    ASSERT_LT(osl_prepare("selstmt1", "SELECT * FROM nosuch"), 0);
    EXPECT_EQ(error_text(),
              "  -412: Statement 'selstmt1' cannot be prepared: no such table: nosuch.");
    // Cut at the buffer's end.
    EXPECT_EQ(error_text(20), "  -412: Statement '");
}

TEST_F(SqlError, TwoConditionsFromAMissingDatabase) {
    std::string target = "nosuch@" + scratch.path;
    ASSERT_LT(osl_connect(target.c_str(), nullptr), 0);
    std::string d = scratch.path + "/";
    EXPECT_EQ(error_text(), "  -401: Database 'nosuch' not found in directory '" + d +
                                "'.\n\n  -401: Tried '" + d + "nosuch', '" + d + "nosuch.gpkg', '" +
                                d + "nosuch.sqlite', '" + d +
                                "nosuch.db', and these names in any letter case.");
}

TEST_F(SqlError, ExtensionErrorShowsItsSqlState) {
    connect_roads();
    ASSERT_EQ(osl_prepare("s", "SELECT GX_AsShape(x'00')"), 0);
    OslVar shape = {};
    osl_var_ready(&shape);
    OslHostValue output = host_var(&shape);
    ASSERT_EQ(osl_execute_into("s", &output, 1), -937);
    std::string text = error_text();
    std::vector<Condition> all = conditions();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].sqlstate.substr(0, 2), "GX");
    EXPECT_EQ(text, "  -937: (" + all[0].sqlstate + ") - " + all[0].message +
                        "\n\n  -416: Statement 's' failed.");
    osl_var_dealloc(&shape);
}

TEST_F(SqlError, CheckSqlLogsAndEnds) {
    connect_roads();
    ASSERT_LT(osl_prepare("srsel", "SELECT srtext FROM spatial_reference"), 0);
    FILE* log = std::tmpfile();
    ASSERT_NE(log, nullptr);
    attach_log_stream(log);
    EndResult result = run_capturing_end([] { check_sql(); });
    attach_log_stream(nullptr);
    const std::string report =
        "EXEC SQL error ...\n\n  -412: Statement 'srsel' cannot be prepared: no such table: "
        "spatial_reference.";
    EXPECT_TRUE(result.ended);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "\n" + report + "\n");
    EXPECT_EQ(result.out, "");

    std::rewind(log);
    char logged[1024] = {};
    size_t length = std::fread(logged, 1, sizeof logged - 1, log);
    std::fclose(log);
    std::string text(logged, length);
    // "\nhh:mm:ss  <report>\n"
    ASSERT_GT(text.size(), 11u);
    EXPECT_EQ(text.substr(11), report + "\n");
}

TEST_F(SqlError, NoConditions) {
    connect_roads();
    ASSERT_EQ(osl_prepare("s", "SELECT 1"), 0);
    EXPECT_EQ(error_text(), "");
    EndResult result = run_capturing_end([] { check_sql(); });
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "\nEXEC SQL error ...\n\n\n");
}

}  // namespace
