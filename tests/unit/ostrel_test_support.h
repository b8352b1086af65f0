// Support for the client library's tests: scratch directories, databases
// built by the test-database builder (tests/tools/testdb.py) from a JSON
// description, and the diagnostics of the last operation as plain values.

#ifndef SPOOLMAP_TESTS_OSTREL_TEST_SUPPORT_H
#define SPOOLMAP_TESTS_OSTREL_TEST_SUPPORT_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
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
// "gpkg", "spatialite" or "native".
inline void build_database(const std::string& path, const char* kind, const std::string& json) {
    std::string description_path = path + ".json";
    {
        std::ofstream out(description_path);
        out << json;
    }
    std::string command = std::string(SPOOLMAP_TEST_PYTHON) + " " + SPOOLMAP_TEST_TOOLS +
                          "/testdb.py build '" + description_path + "' '" + path + "' " + kind;
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

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

#endif
