// Cursors whose rows a reader thread reads ahead deliver what stepping the
// statement in the caller's thread delivers: the same rows in the same order
// (across block boundaries and past a row too large for a block), an error
// on row N at the fetch of row N with the same conditions, and the
// connection handed back whenever another operation needs it.

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "front/row_reader.h"
#include "ostrel_test_support.h"

namespace {

constexpr ReadAhead kModes[] = {ReadAhead::kOff, ReadAhead::kOn};

// 3000 rows of texts 0 to 2999 bytes long, so that blocks fill by their
// bytes as well as by their rows; row 1500 is larger than any block.
const char kRowsQuery[] =
    "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
    "SELECT i, CASE WHEN i = 1500 THEN printf('%.*c', 400000, 'x') "
    "ELSE substr(printf('%.*c', 3000, 'y'), 1, (i * 7) % 3000) END FROM n";
constexpr int kRows = 3000;

class OslReadAhead : public OstrelTest {
protected:
    void SetUp() override {
        build_database(scratch.file("t.gpkg"), "gpkg", kRoadsAndPointsJson);
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_EQ(osl_connect(scratch.file("t.gpkg").c_str(), nullptr), 0) << first_message();
    }
    void TearDown() override {
        OstrelTest::TearDown();
        set_read_ahead(ReadAhead::kByMachine);
    }

    void open(const char* sql) {
        ASSERT_EQ(osl_prepare("s", sql), 0) << first_message();
        ASSERT_EQ(osl_allocate_descriptor("d", 2), 0);
        ASSERT_EQ(osl_describe("s", "d"), 0);
        const OslItemSetting as_integer = {OSL_ITEM_TYPE, OSL_SQL_INTEGER};
        const OslItemSetting as_text = {OSL_ITEM_TYPE, OSL_SQL_VARCHAR};
        ASSERT_EQ(osl_set_descriptor_items("d", 1, &as_integer, 1), 0);
        ASSERT_EQ(osl_set_descriptor_items("d", 2, &as_text, 1), 0);
        ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
        ASSERT_EQ(osl_open_cursor("c"), 0);
    }

    // Fetches up to limit rows; each row as "<i>:<length of its text>".
    std::vector<std::string> fetch(int limit) {
        std::vector<std::string> rows;
        std::vector<char> text(500000);
        while (static_cast<int>(rows.size()) < limit && osl_fetch("c", "d") == 0) {
            int32_t i = 0;
            OslItemRequest first = {OSL_ITEM_DATA, host_int32(&i)};
            OslItemRequest second = {OSL_ITEM_DATA, host_text(text.data(), text.size())};
            EXPECT_EQ(osl_get_descriptor_items("d", 1, &first, 1), 0) << first_message();
            EXPECT_EQ(osl_get_descriptor_items("d", 2, &second, 1), 0) << first_message();
            rows.push_back(std::to_string(i) + ":" +
                           std::to_string(std::string(text.data()).size()));
        }
        return rows;
    }
};

std::vector<std::string> expected_rows(int from, int to) {
    std::vector<std::string> rows;
    for (int i = from; i <= to; ++i) {
        rows.push_back(std::to_string(i) + ":" + std::to_string(i == 1500 ? 400000 : i * 7 % 3000));
    }
    return rows;
}

TEST_F(OslReadAhead, SameRowsInTheSameOrder) {
    for (ReadAhead mode : kModes) {
        set_read_ahead(mode);
        open(kRowsQuery);
        EXPECT_EQ(fetch(kRows + 1), expected_rows(1, kRows));
        EXPECT_EQ(osl_status(), OSL_NO_ROW) << first_message();
        EXPECT_EQ(osl_fetch("c", "d"), OSL_NO_ROW);
        // Opened again, the cursor starts over; closed early, it stops.
        ASSERT_EQ(osl_open_cursor("c"), 0);
        EXPECT_EQ(fetch(10), expected_rows(1, 10));
        ASSERT_EQ(osl_open_cursor("c"), 0);
        EXPECT_EQ(fetch(3), expected_rows(1, 3));
        EXPECT_EQ(osl_close_cursor("c"), 0);
        EXPECT_EQ(osl_free_cursor("c"), 0);
        EXPECT_EQ(osl_free_statement("s"), 0);
        EXPECT_EQ(osl_deallocate_descriptor("d"), 0);
    }
}

// Row 2500 fails in GX_AsShape: rows 1 to 2499 come, then the fetch of row
// 2500 fails with the conditions of a fetch that stepped the statement.
TEST_F(OslReadAhead, ErrorOnItsOwnRow) {
    std::vector<std::vector<std::string>> messages;
    for (ReadAhead mode : kModes) {
        set_read_ahead(mode);
        open(
            "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3000) "
            "SELECT i, hex(GX_AsShape(CASE WHEN i = 2500 THEN x'00' END)) FROM n");
        EXPECT_EQ(fetch(kRows).size(), 2499u);
        EXPECT_EQ(osl_status(), -937);
        std::vector<std::string> texts;
        for (const Condition& condition : conditions()) {
            texts.push_back(std::to_string(condition.code) + " " + condition.sqlstate + " " +
                            condition.message);
        }
        messages.push_back(texts);
        EXPECT_EQ(osl_fetch("c", "d"), -443);  // the failed fetch closed the cursor
        EXPECT_EQ(osl_free_cursor("c"), 0);
        EXPECT_EQ(osl_free_statement("s"), 0);
        EXPECT_EQ(osl_deallocate_descriptor("d"), 0);
    }
    ASSERT_EQ(messages[0].size(), 2u);
    EXPECT_NE(messages[0][1].find("failed at row 2500"), std::string::npos) << messages[0][1];
    EXPECT_EQ(messages[1], messages[0]);
}

// Another statement while rows are read ahead: the connection comes back to
// the caller, and the cursor goes on where it was.
TEST_F(OslReadAhead, ConnectionTakenBackInBetween) {
    set_read_ahead(ReadAhead::kOn);
    open(kRowsQuery);
    std::vector<std::string> rows = fetch(700);
    int32_t answer = 0;
    OslHostValue into = host_int32(&answer);
    ASSERT_EQ(osl_prepare("other", "SELECT 42"), 0);
    ASSERT_EQ(osl_execute_into("other", &into, 1), 0) << first_message();
    EXPECT_EQ(answer, 42);
    std::vector<std::string> more = fetch(kRows);
    rows.insert(rows.end(), more.begin(), more.end());
    EXPECT_EQ(rows, expected_rows(1, kRows));
    // A disconnect with rows read ahead stops the reader.
    ASSERT_EQ(osl_open_cursor("c"), 0);
    EXPECT_EQ(fetch(1), expected_rows(1, 1));
    EXPECT_EQ(osl_disconnect_current(), 0);
}

// A statement that switches the trace on every row (to level 1 on odd rows,
// to 3, which traces fetches, on even ones) is stepped in the caller's
// thread, whatever the mode: each switch comes before the fetch of its own
// row, and no other thread touches the trace meanwhile.
TEST_F(OslReadAhead, AStatementThatSwitchesTheTraceIsNotReadAhead) {
    std::string file = scratch.file("t.log");
    std::string query =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 3) "
        "SELECT i, gx_trace('" +
        file + "', CASE i % 2 WHEN 1 THEN '1' ELSE '3' END) FROM n";
    set_read_ahead(ReadAhead::kOn);
    open(query.c_str());  // describing it runs its first row
    EXPECT_EQ(fetch(4).size(), 3u);
    EXPECT_EQ(osl_disconnect_current(), 0);
    auto switched = [&](int level) {
        return "trace " + file + ": tracing to '" + file + "' at level " + std::to_string(level);
    };
    const std::vector<std::string> expected = {
        switched(1), "open c: " + query, switched(1), switched(3), "fetch c row 2", switched(1),
    };
    std::ifstream in(file);
    std::vector<std::string> lines;
    constexpr size_t kStampChars = sizeof "2024-01-31 12:00:00.000  " - 1;
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line.substr(std::min(kStampChars, line.size())));
    }
    ASSERT_FALSE(lines.empty());
    lines.pop_back();  // the disconnect
    EXPECT_EQ(lines, expected);
}

}  // namespace
