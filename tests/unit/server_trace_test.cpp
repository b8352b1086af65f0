// Server tracing: -trc FILE,LEVEL switches the engine's trace on through
// GX_Trace, and the trace file then holds the session's statements.

#include "db/server_trace.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "core/trace.h"
#include "ostrel_test_support.h"
#include "process_end_capture.h"

namespace {

class ServerTrace : public OstrelTest {
protected:
    void SetUp() override {
        std::string file = scratch.file("r.gpkg");
        build_database(file, "gpkg", R"J({"tables": [{"name": "roads",
            "columns": [["name", "TEXT"]], "geometry_column": "geom",
            "geometry_type": "POINT", "rows": [{"name": "A", "geom": ["Point", [1, 2]]},
                                               {"name": "B", "geom": ["Point", [3, 4]]}]}]})J");
        ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
    }

    EndResult start(const std::string& file, const char* level) {
        trace_file = file;
        return run_capturing_end([&] { start_server_trace(trace_file.c_str(), level); });
    }

    std::string read_trace() {
        std::ifstream in(trace_file);
        std::stringstream content;
        content << in.rdbuf();
        return content.str();
    }

    std::string trace_file;
};

TEST_F(ServerTrace, LevelTwoTracesTheSessionsStatements) {
    std::string file = scratch.file("t.log");
    EndResult result = start(file, "2");
    ASSERT_FALSE(result.ended) << result.err;
    EXPECT_EQ(result.out, "\nKestrum tracing enabled: file " + file + ", level 2\n");

    ASSERT_EQ(osl_prepare("selstmt2", "SELECT\n\tname\nFROM\troads\n"), 0);
    ASSERT_EQ(osl_allocate_descriptor("seldesc2", 1), 0);
    ASSERT_EQ(osl_describe("selstmt2", "seldesc2"), 0);
    ASSERT_EQ(osl_declare_cursor("selcurs", "selstmt2"), 0);
    ASSERT_EQ(osl_open_cursor("selcurs"), 0);
    while (osl_fetch("selcurs", "seldesc2") == 0) {
    }
    ASSERT_EQ(osl_close_cursor("selcurs"), 0);
    // The converter reports each call through the engine's callback.
    trace_gx_call(nullptr, "Polygon", 136);
    ASSERT_EQ(osl_disconnect_current(), 0);

    std::string trace = read_trace();
    const std::string stamp = "[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\\.[0-9]{3}  ";
    const std::string expected_lines[] = {
        "trace " + file + ": tracing to '" + file + "' at level 2",
        "prepare selstmt2: SELECT  name FROM roads",
        "open selcurs: SELECT  name FROM roads",
        "close selcurs: after 2 rows",
        "GX_AsShape Polygon: 136 bytes",
        "disconnect .*",
    };
    std::string pattern;
    for (const std::string& line : expected_lines) {
        pattern += stamp + line + "\n";
    }
    EXPECT_TRUE(std::regex_match(trace, std::regex(pattern))) << trace;
}

TEST_F(ServerTrace, LevelOneLeavesOutTheConverterCalls) {
    std::string file = scratch.file("t.log");
    ASSERT_FALSE(start(file, "1").ended);
    trace_gx_call(nullptr, "Point", 28);
    ASSERT_EQ(osl_disconnect_current(), 0);
    EXPECT_EQ(read_trace().find("GX_AsShape"), std::string::npos);
}

TEST_F(ServerTrace, AnswersOtherThanOkEndTheRun) {
    for (const char* level : {"12", "-1", "2.5"}) {
        EndResult result = start(scratch.file("t.log"), level);
        EXPECT_TRUE(result.ended) << level;
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "\nCall to GX_Trace returned unexpected result\n") << level;
    }
    EndResult result = start(scratch.file("no/such/dir/t.log"), "1");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "\nCall to GX_Trace returned unexpected result\n");
}

TEST_F(ServerTrace, AQuoteInTheFileNameIsAnSqlError) {
    EndResult result = start(scratch.file("it's.log"), "1");
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("\nEXEC SQL error ...\n\n  -411: Statement 'efstmt' cannot be "
                               "prepared: ",
                               0),
              0u)
        << result.err;
}

}  // namespace
