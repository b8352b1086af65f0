// Support for the client library's tests: scratch directories, databases
// built by the test-database builder (tests/tools/testdb.py) from a JSON
// description, the engines the engine-facing suites run against, and the
// diagnostics of the last operation as plain values.

#ifndef OSTREL_TESTS_OSTREL_TEST_SUPPORT_H
#define OSTREL_TESTS_OSTREL_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "ostrel/ostrel.h"

struct ScratchDir {
    std::string path;
    ScratchDir() {
        char pattern[] = "/tmp/ostrel-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        path = made != nullptr ? made : "/tmp";
    }
    ~ScratchDir() {
        std::string command = "rm -rf '" + path + "'";
        if (std::system(command.c_str()) != 0) {
            std::fprintf(stderr, "could not remove %s\n", path.c_str());
        }
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
};

// Writes the database at path from a testdb.py JSON description; kind is
// "gpkg", "spatialite" or "native", or "postgres" (path is then the name of
// a database in the test cluster, and description_path says where the
// description goes).
inline void build_database(const std::string& path, const char* kind, const std::string& json,
                           std::string description_path = "") {
    if (description_path.empty()) {
        description_path = path + ".json";
    }
    {
        std::ofstream out(description_path);
        out << json;
    }
    std::string command = std::string(SPOOLMAP_TEST_PYTHON) + " " + SPOOLMAP_TEST_TOOLS +
                          "/testdb.py build '" + description_path + "' '" + path + "' " + kind;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

// Two tables: "Roads" (names in mixed case, a real reference system) and
// "points" (an undefined one, SRID 0).
const char* const kRoadsAndPointsJson = R"({"tables": [{
  "name": "Roads", "columns": [["Name", "TEXT"], ["lanes", "SMALLINT"]],
  "geometry_column": "Geom", "geometry_type": "LINESTRING", "srid": 4326,
  "srtext": "GEOGCS[\"WGS 84\"]",
  "rows": [{"Name": "A", "lanes": 2, "geom": ["LineString", [[0, 0], [1, 1]]]}]}, {
  "name": "points", "columns": [["label", "TEXT"]],
  "geometry_column": "geom", "geometry_type": "POINT", "srid": 0,
  "rows": [{"label": "p", "geom": ["Point", [1, 2]]}]}]})";

struct Condition {
    int32_t code;
    std::string sqlstate;
    std::string message;
};

inline std::vector<Condition> conditions() {
    std::vector<Condition> result;
    for (int i = 1; i <= osl_diag_condition_count(); ++i) {
        Condition c;
        char state[6];
        char message[256];
        int32_t length = 0;
        EXPECT_EQ(osl_diag_condition(i, &c.code, state, message, sizeof message, &length), 0);
        c.sqlstate = state;
        c.message = message;
        EXPECT_EQ(static_cast<size_t>(length), c.message.size());
        result.push_back(c);
    }
    return result;
}

inline std::string first_message() {
    std::vector<Condition> all = conditions();
    return all.empty() ? std::string() : all[0].message;
}

// Every test leaves the library disconnected, so the sanitizer run, which
// runs the whole suite in one process, starts each test afresh.
class OstrelTest : public testing::Test {
protected:
    void TearDown() override { osl_disconnect_current(); }
    ScratchDir scratch;
};

// ---------------------------------------------------------------------------
// Engines under test.

// An engine the engine-facing suites run against: how it makes a database
// from a testdb.py JSON description, and the target that connects to it.
struct TestEngine {
    const char* name;  // names the suites' instances
    // Makes database name from json (scratch holds any files); returns the
    // target for osl_connect, after recording a failure when it cannot.
    std::string (*make_database)(const ScratchDir& scratch, const std::string& name,
                                 const std::string& json);
};

// The facts of the PostgreSQL test cluster (host, port, user, password,
// ...; scripts/pg-test-cluster.sh), from the file SPOOLMAP_PG_CONNECTION
// names; empty without one.
std::map<std::string, std::string> postgres_cluster_facts();

// Every engine the engine-facing suites run against (ostrel_test_engines.cpp).
const std::vector<const TestEngine*>& test_engines();

// A test of behaviour every engine shares, run once per engine: the same
// tables, the same statements, the same results.
class EngineTest : public OstrelTest, public testing::WithParamInterface<const TestEngine*> {
protected:
    // Makes the database from json and connects to it.
    void connect_to(const std::string& json, const std::string& name = "t") {
        std::string target = GetParam()->make_database(scratch, name, json);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(osl_connect(target.c_str(), nullptr), 0) << first_message();
    }
};

inline std::string engine_name(const testing::TestParamInfo<const TestEngine*>& info) {
    return info.param->name;
}

// The engine by its name in test listings, where GoogleTest shows the
// parameter.
inline void PrintTo(const TestEngine* engine, std::ostream* out) {
    *out << engine->name;
}

// Runs the TEST_P tests of suite (an EngineTest) against every engine.
#define OSTREL_ENGINE_SUITE(suite) \
    INSTANTIATE_TEST_SUITE_P(Engines, suite, testing::ValuesIn(test_engines()), engine_name)

// ---------------------------------------------------------------------------
// Host values in one line each.
inline OslHostValue host_int32(int32_t* v) {
    return {OSL_HOST_INT32, v, sizeof *v};
}
inline OslHostValue host_int16(int16_t* v) {
    return {OSL_HOST_INT16, v, sizeof *v};
}
inline OslHostValue host_double(double* v) {
    return {OSL_HOST_DOUBLE, v, sizeof *v};
}
inline OslHostValue host_decimal(OslDecimal* v) {
    return {OSL_HOST_DECIMAL, v, sizeof *v};
}
inline OslHostValue host_date(OslDate* v) {
    return {OSL_HOST_DATE, v, sizeof *v};
}
inline OslHostValue host_text(char* v, size_t size) {
    return {OSL_HOST_CSTRING, v, size};
}
inline OslHostValue host_var(OslVar* v) {
    return {OSL_HOST_VAR_LOCATED, v, sizeof *v};
}

// Runs a one-column query through a cursor and returns its rows as texts.
inline std::vector<std::string> column_values(const char* sql) {
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

#endif
