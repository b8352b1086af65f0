// The server engine against the test cluster: connections that fail say
// what is wrong in one condition that names the server and never a
// password; the session reads one snapshot and goes on after a failed
// statement; the server's own types read as their mapping; rows that fail
// in the middle, rows cut off by another statement, and the shape item
// anywhere but in the select list.

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "front/row_reader.h"
#include "ostrel_test_support.h"

namespace {

class PostgresEngine : public OstrelTest {
protected:
    void SetUp() override {
        facts = postgres_cluster_facts();
        ASSERT_FALSE(facts.empty()) << "no PostgreSQL test cluster: run the tests through ctest";
    }

    std::string server(const std::string& credentials) {
        return "postgresql://" + credentials + "@" + facts["host"] + ":" + facts["port"];
    }

    // Makes a database from json ("sql" statements included) and returns
    // its target, the test role's password in the address.
    std::string make(const std::string& json) {
        for (const TestEngine* engine : test_engines()) {
            if (std::string(engine->name) == "Postgres") {
                return engine->make_database(scratch, "pg", json);
            }
        }
        ADD_FAILURE() << "no Postgres test engine";
        return "";
    }

    // Runs sql on the target's database in a session of its own, as
    // another client of the server would.
    void run_elsewhere(const std::string& target, const std::string& sql) {
        std::string command = "PGPASSWORD='" + facts["password"] + "' '" + facts["bindir"] +
                              "/psql' -X -q -v ON_ERROR_STOP=1 -h " + facts["host"] + " -p " +
                              facts["port"] + " -U " + facts["user"] + " -d " +
                              target.substr(0, target.find('@')) + " -c \"" + sql + "\"";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }

    int32_t single_integer(const char* sql) {
        int32_t value = -1;
        OslHostValue output = host_int32(&value);
        EXPECT_EQ(osl_execute_immediate(sql, nullptr, 0, &output, 1), 0) << first_message();
        return value;
    }

    std::map<std::string, std::string> facts;
};

const char* const kOneTable = R"J({"tables": [{"name": "t", "columns": [["n", "INT4"]],
  "geometry_column": "geom", "geometry_type": "POINT", "srid": 0,
  "rows": [{"n": 1, "geom": ["Point", [1, 2]]}]}]})J";

TEST_F(PostgresEngine, FailedConnectionsSayWhatIsWrong) {
    std::string target = make(kOneTable);
    ASSERT_FALSE(HasFatalFailure());
    std::string database = target.substr(0, target.find('@'));
    std::string password = facts["password"];
    struct Case {
        std::string target;
        const char* sqlstate;
        const char* says;
    };
    const Case cases[] = {
        {database + "@" + server(facts["user"] + ":wrong"), "28P01",
         "password authentication failed"},
        {"nosuch@" + server(facts["user"] + ":" + password), "3D000", "does not exist"},
        {facts["nopostgis_dbname"] + "@" + server(facts["user"] + ":" + password), "08001",
         "has no PostGIS"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(osl_connect(c.target.c_str(), nullptr), -409) << c.target;
        std::vector<Condition> all = conditions();
        ASSERT_EQ(all.size(), 1u) << c.target;
        EXPECT_EQ(all[0].sqlstate, c.sqlstate) << all[0].message;
        EXPECT_NE(all[0].message.find(c.says), std::string::npos) << all[0].message;
        EXPECT_NE(all[0].message.find(facts["host"] + ":" + facts["port"]), std::string::npos);
        EXPECT_EQ(all[0].message.find(password), std::string::npos) << all[0].message;
    }

    // -u and -p win over the address's user and password, and -D over the
    // database the address names.
    OslConnectAuth* auth = osl_auth_make(facts["user"].c_str(), password.c_str());
    std::string other = database + "@" + server("nobody:wrong") + "/postgres";
    EXPECT_EQ(osl_connect(other.c_str(), auth), 0) << first_message();
    osl_auth_free(auth);
    EXPECT_EQ(single_integer("SELECT count(*) FROM t"), 1);
    ASSERT_EQ(osl_disconnect_current(), 0);

    // Without them libpq's conventions apply.
    setenv("PGPASSWORD", password.c_str(), 1);
    std::string from_environment = database + "@" + server(facts["user"]);
    EXPECT_EQ(osl_connect(from_environment.c_str(), nullptr), 0) << first_message();
    unsetenv("PGPASSWORD");
}

TEST_F(PostgresEngine, OneSnapshotThatOutlivesFailedStatements) {
    std::string target = make(kOneTable);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(osl_connect(target.c_str(), nullptr), 0) << first_message();
    run_elsewhere(target, "INSERT INTO t (n) VALUES (2); CREATE TABLE later (n integer);");
    EXPECT_EQ(single_integer("SELECT count(*) FROM t"), 1);
    EXPECT_EQ(single_integer("SELECT count(*) FROM systables WHERE tabname = 'later'"), 0);

    int32_t value = 0;
    OslHostValue output = host_int32(&value);
    EXPECT_EQ(osl_execute_immediate("SELECT 1 / (n - 1) FROM t", nullptr, 0, &output, 1), -416);
    EXPECT_EQ(conditions()[0].sqlstate, "22012");
    EXPECT_EQ(first_message(), "Statement 'SELECT 1 / (n - 1) FROM t' failed: division by zero.");
    EXPECT_EQ(single_integer("SELECT count(*) FROM t"), 1);
    EXPECT_EQ(single_integer("SELECT count(*) FROM syscolumns c, systables s "
                             "WHERE c.tabid = s.tabid AND s.tabname = 't'"),
              2);
}

// Row 1 holds values; row 2 the ones the mapping refuses.
const char* const kServerTypes =
    R"J({"tables": [], "sql": ["CREATE TABLE v (n integer, cash money, r real, code char(5), )J"
    R"J(big numeric(30,10), odd numeric, day date, seen timestamp, )J"
    R"J(place geography(PointZ, 4326))", )J"
    R"J("INSERT INTO v VALUES (1, 12.35, 0.1, 'ab', 12345678901234567890.0123456789, 0.5, )J"
    R"J('2024-02-29', '2024-01-02 03:04:05', 'SRID=4326;POINT(1 2 3)'), )J"
    R"J((2, -0.07, 1e30, 'abcde', -0.5, 'NaN', 'infinity', NULL, NULL)"]})J";

TEST_F(PostgresEngine, ServerTypesReadAsTheirMapping) {
    std::string target = make(kServerTypes);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(osl_connect(target.c_str(), nullptr), 0) << first_message();
    ASSERT_EQ(osl_prepare("s",
                          "SELECT cash, r, code, big, odd, day, seen, GX_AsShape(place) AS shape "
                          "FROM v ORDER BY n"),
              0)
        << first_message();
    ASSERT_EQ(osl_allocate_descriptor("d", 8), 0);
    ASSERT_EQ(osl_describe("s", "d"), 0) << first_message();
    const int32_t kTypes[][3] = {{OSL_SQL_MONEY, 19, 2},     {OSL_SQL_SMALLFLOAT, 0, 0},
                                 {OSL_SQL_CHAR, 5, 0},       {OSL_SQL_DECIMAL, 30, 10},
                                 {OSL_SQL_DECIMAL, 16, 255}, {OSL_SQL_DATE, 0, 0},
                                 {OSL_SQL_UNMAPPED, 0, 0},   {OSL_SQL_VAR_BINARY, 0, 0}};
    for (int item = 1; item <= 8; ++item) {
        int32_t type = -1, precision = 0, scale = 0, length = 0;
        OslItemRequest requests[] = {{OSL_ITEM_TYPE, host_int32(&type)},
                                     {OSL_ITEM_PRECISION, host_int32(&precision)},
                                     {OSL_ITEM_SCALE, host_int32(&scale)},
                                     {OSL_ITEM_LENGTH, host_int32(&length)}};
        ASSERT_EQ(osl_get_descriptor_items("d", item, requests, 4), 0);
        const int32_t* expected = kTypes[item - 1];
        EXPECT_EQ(type, expected[0]) << item;
        if (type == OSL_SQL_DECIMAL || type == OSL_SQL_MONEY) {
            EXPECT_EQ(precision, expected[1]) << item;
            EXPECT_EQ(scale, expected[2]) << item;
        } else if (type == OSL_SQL_CHAR) {
            EXPECT_EQ(length, expected[1]);
        }
    }
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    auto decimal = [](int item, const char* picture) {
        OslDecimal value;
        OslItemRequest data = {OSL_ITEM_DATA, host_decimal(&value)};
        EXPECT_EQ(osl_get_descriptor_items("d", item, &data, 1), 0) << first_message();
        char out[64];
        osl_decimal_format(&value, picture, out);
        return std::string(out);
    };
    ASSERT_EQ(osl_fetch("c", "d"), 0) << first_message();
    EXPECT_EQ(decimal(1, "----.--"), "  12.35");
    double real = 0;
    OslItemRequest real_data = {OSL_ITEM_DATA, host_double(&real)};
    ASSERT_EQ(osl_get_descriptor_items("d", 2, &real_data, 1), 0);
    EXPECT_EQ(real, 0.1);  // the real's shortest text, not 0.100000001490116
    char code[8];
    OslItemRequest code_data = {OSL_ITEM_DATA, host_text(code, sizeof code)};
    ASSERT_EQ(osl_get_descriptor_items("d", 3, &code_data, 1), 0);
    EXPECT_STREQ(code, "ab");  // the blanks that pad a char(5) are no part of it
    EXPECT_EQ(decimal(4, "--------------------.----------"), "12345678901234567890.0123456789");
    OslVar shape = {};
    osl_var_ready(&shape);
    OslItemRequest shape_data = {OSL_ITEM_DATA, host_var(&shape)};
    ASSERT_EQ(osl_get_descriptor_items("d", 8, &shape_data, 1), 0) << first_message();
    double expected_point[] = {1, 2, 3, -1e39};  // PointZ: X, Y, Z and M no data
    ASSERT_EQ(osl_var_getlen(&shape), 4 + 32);
    const char* bytes = static_cast<const char*>(osl_var_getdata(&shape));
    EXPECT_EQ(bytes[0], 11);
    EXPECT_EQ(std::memcmp(bytes + 4, expected_point, sizeof expected_point), 0);
    osl_var_dealloc(&shape);

    ASSERT_EQ(osl_fetch("c", "d"), 0) << first_message();
    EXPECT_EQ(decimal(1, "----.--"), "  -0.07");
    OslDecimal refused;
    OslItemRequest odd = {OSL_ITEM_DATA, host_decimal(&refused)};
    EXPECT_LT(osl_get_descriptor_items("d", 5, &odd, 1), 0);
    EXPECT_EQ(first_message(), "Value 'NaN' of column 'odd' (statement 's') is not a number.");
    OslDate day;
    OslItemRequest day_data = {OSL_ITEM_DATA, host_date(&day)};
    EXPECT_LT(osl_get_descriptor_items("d", 6, &day_data, 1), 0);
    EXPECT_EQ(first_message(),
              "Value 'infinity' of column 'day' (statement 's') is not a date of the form "
              "YYYY-MM-DD.");
    EXPECT_EQ(osl_fetch("c", "d"), OSL_NO_ROW);

    // A type outside the mapping still reads as its text.
    char seen[32];
    OslHostValue output = host_text(seen, sizeof seen);
    ASSERT_EQ(osl_execute_immediate("SELECT seen FROM v WHERE n = 1", nullptr, 0, &output, 1), 0)
        << first_message();
    EXPECT_STREQ(seen, "2024-01-02 03:04:05");
    // A geography column is a geometry column of WGS 84.
    ASSERT_EQ(osl_free_cursor("c"), 0);
    ASSERT_EQ(osl_deallocate_descriptor("d"), 0);
    EXPECT_EQ(column_values("SELECT f_geometry_column || ' ' || srid FROM geometry_columns"),
              (std::vector<std::string>{"place 4326"}));
}

TEST_F(PostgresEngine, RowsThatFailMidwayOrAreCutOff) {
    std::string target = make(kOneTable);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(osl_connect(target.c_str(), nullptr), 0) << first_message();
    ASSERT_EQ(osl_allocate_descriptor("d", 1), 0);
    ASSERT_EQ(osl_prepare("s", "SELECT 10 / (n - 3) FROM generate_series(1, 5) n"), 0);
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    EXPECT_EQ(osl_fetch("c", "d"), 0) << first_message();
    EXPECT_EQ(osl_fetch("c", "d"), 0) << first_message();
    EXPECT_EQ(osl_fetch("c", "d"), -416);
    EXPECT_EQ(conditions()[0].sqlstate, "22012");
    EXPECT_EQ(first_message(),
              "Fetch from cursor 'c' (statement 's') failed at row 3: division by zero.");

    // Another statement while rows are in flight cuts them off, and a later
    // fetch says so rather than ending early as if they were all (the rows
    // a cursor had already read ahead come first).
    ASSERT_EQ(osl_prepare("s", "SELECT n FROM generate_series(1, 100000) n"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    EXPECT_EQ(osl_fetch("c", "d"), 0) << first_message();
    EXPECT_EQ(single_integer("SELECT 2"), 2);
    int status = 0;
    int fetched = 1;
    while ((status = osl_fetch("c", "d")) == 0) {
        ++fetched;
    }
    EXPECT_LT(fetched, 100000);
    ASSERT_EQ(status, -416);
    EXPECT_EQ(conditions()[0].sqlstate, "24000");
    EXPECT_NE(first_message().find("cut off"), std::string::npos) << first_message();

    // ... also when the reader stopped holding a row it had no block for:
    // rows of 100 kB fill the blocks two at a time, so the ring is full with
    // one more row stepped. That row comes whole, before the cut-off.
    set_read_ahead(ReadAhead::kOn);
    ASSERT_EQ(osl_prepare("s", "SELECT repeat(chr(64 + n), 100000) FROM generate_series(1, 40) n"),
              0);
    ASSERT_EQ(osl_describe("s", "d"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    std::vector<char> text(200000);
    OslItemRequest data = {OSL_ITEM_DATA, host_text(text.data(), text.size())};
    std::vector<std::string> rows;
    auto fetch_row = [&] {
        int fetch = osl_fetch("c", "d");
        if (fetch == 0) {
            EXPECT_EQ(osl_get_descriptor_items("d", 1, &data, 1), 0) << first_message();
            rows.emplace_back(text.data());
        }
        return fetch;
    };
    ASSERT_EQ(fetch_row(), 0) << first_message();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the ring fills
    EXPECT_EQ(single_integer("SELECT 2"), 2);
    while ((status = fetch_row()) == 0) {
    }
    EXPECT_EQ(status, -416);
    ASSERT_GT(rows.size(), 2u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i], std::string(100000, static_cast<char>('A' + i))) << "row " << i + 1;
    }
    set_read_ahead(ReadAhead::kByMachine);

    EXPECT_EQ(osl_prepare("s", "SELECT octet_length(GX_AsShape(geom)) FROM t"), -411);
    EXPECT_EQ(first_message(),
              "Statement 's' cannot be prepared: GX_AsShape is answered on a PostgreSQL server "
              "only as a whole item of the select list.");

    std::string trace = scratch.file("trace.log");
    std::string call = "EXECUTE FUNCTION GX_Trace('" + trace + "', 2)";
    ASSERT_EQ(osl_prepare("efstmt", call.c_str()), 0) << first_message();
    char answer[128];
    OslHostValue output = host_text(answer, sizeof answer);
    ASSERT_EQ(osl_execute_into("efstmt", &output, 1), 0) << first_message();
    EXPECT_EQ(std::string(answer).rfind("OK", 0), 0u) << answer;
    EXPECT_TRUE(std::ifstream(trace).good());
}

}  // namespace
