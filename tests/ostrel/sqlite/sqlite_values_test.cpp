// Values SQLite stores loosely: a column holds whatever was put in it, so
// each value is checked against the column's described type, and what does
// not convert is refused with the column and the value named. MONEY and
// raw geometry blobs are SQLite's too.

#include <cstring>
#include <string>

#include "ostrel_test_support.h"

namespace {

// Row 1 values that convert, row 2 a value in every column that must be
// refused.
const char* const kLooseJson = R"J({"tables": [{"name": "vals",
  "columns": [["name", "TEXT"], ["small", "SMALLINT"], ["medium", "MEDIUMINT"],
              ["big", "INTEGER"], ["real", "DOUBLE"], ["price", "DECIMAL(8,2)"],
              ["floating", "DECIMAL(16)"], ["day", "DATE"], ["flag", "BOOLEAN"],
              ["cash", "MONEY(6,2)"]],
  "geometry_column": "geom", "geometry_type": "POINT", "srid": 0, "encoding": "wkb",
  "rows": [
    {"small": " +5 ", "medium": "-7", "flag": "False", "cash": 12.345, "geom": ["Point", [1, 2]]},
    {"name": {"hex": "ff00"}, "small": 32768, "medium": 4294967296, "big": "x",
     "real": "abc", "price": 1234567.0, "floating": "1e400", "day": "2023-02-29",
     "flag": 2, "cash": "12a", "geom": {"hex": "0102"}}
  ]}]})J";

enum Item { kName = 1, kSmall, kMedium, kBig, kReal, kPrice, kFloating, kDay, kFlag, kCash, kGeom };

class SqliteValues : public OstrelTest {
protected:
    void SetUp() override {
        std::string file = scratch.file("v.db");
        build_database(file, "native", kLooseJson);
        ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
        ASSERT_EQ(osl_prepare("selstmt2", "SELECT * FROM vals ORDER BY rowid"), 0)
            << first_message();
        ASSERT_EQ(osl_allocate_descriptor("seldesc2", kGeom), 0);
        ASSERT_EQ(osl_describe("selstmt2", "seldesc2"), 0) << first_message();
        OslItemSetting raw[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY}};
        ASSERT_EQ(osl_set_descriptor_items("seldesc2", kGeom, raw, 1), 0);
        ASSERT_EQ(osl_declare_cursor("selcurs", "selstmt2"), 0);
        ASSERT_EQ(osl_open_cursor("selcurs"), 0);
        ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    }

    // The status of reading an item's DATA into value.
    int read(int item, OslHostValue value) {
        OslItemRequest request = {OSL_ITEM_DATA, value};
        return osl_get_descriptor_items("seldesc2", item, &request, 1);
    }

    // The refusal of an item's value: its first message.
    std::string refusal(int item, OslHostValue value) {
        EXPECT_LT(read(item, value), 0) << item;
        return first_message();
    }
};

TEST_F(SqliteValues, TextsNumbersAndBlobsWhereOthersAreDeclared) {
    int32_t integer = 0;
    ASSERT_EQ(read(kSmall, host_int32(&integer)), 0) << first_message();
    EXPECT_EQ(integer, 5);
    ASSERT_EQ(read(kMedium, host_int32(&integer)), 0) << first_message();
    EXPECT_EQ(integer, -7);
    char flag[2];
    ASSERT_EQ(read(kFlag, host_text(flag, sizeof flag)), 0) << first_message();
    EXPECT_STREQ(flag, "F");
    OslDecimal cash;
    ASSERT_EQ(read(kCash, host_decimal(&cash)), 0) << first_message();
    char shown[9];
    ASSERT_EQ(osl_decimal_format(&cash, "-----.--", shown), 0);
    EXPECT_STREQ(shown, "   12.35");
    // The geometry column read as it is stored: a little-endian WKB point.
    OslVar raw = {};
    osl_var_ready(&raw);
    ASSERT_EQ(read(kGeom, host_var(&raw)), 0) << first_message();
    ASSERT_EQ(osl_var_getlen(&raw), 21);
    EXPECT_EQ(std::memcmp(osl_var_getdata(&raw), "\x01\x01\x00\x00\x00", 5), 0);
    osl_var_dealloc(&raw);
}

TEST_F(SqliteValues, RefusalsNameTheColumnAndTheValue) {
    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    char buffer[64];
    int32_t integer_value = 0;
    double double_value = 0;
    OslDecimal decimal_value;
    OslDate date_value;
    EXPECT_EQ(refusal(kName, host_text(buffer, sizeof buffer)),
              "Value of 2 bytes of binary data of column 'name' (statement 'selstmt2') is binary "
              "data, not text.");
    EXPECT_EQ(refusal(kSmall, host_int32(&integer_value)),
              "Value 32768 of column 'small' (statement 'selstmt2') is outside the range -32768 "
              "to 32767 of a 16-bit integer.");
    EXPECT_EQ(osl_status(), -452);
    EXPECT_EQ(conditions()[0].sqlstate, "22003");
    EXPECT_EQ(refusal(kMedium, host_int32(&integer_value)),
              "Value 4294967296 of column 'medium' (statement 'selstmt2') is outside the range "
              "-2147483648 to 2147483647 of a 32-bit integer.");
    EXPECT_EQ(refusal(kBig, host_decimal(&decimal_value)),
              "Value 'x' of column 'big' (statement 'selstmt2') is not a number.");
    EXPECT_EQ(refusal(kReal, host_double(&double_value)),
              "Value 'abc' of column 'real' (statement 'selstmt2') is not a number.");
    EXPECT_EQ(refusal(kPrice, host_decimal(&decimal_value)),
              "Value 1234567 of column 'price' (statement 'selstmt2') has more than 6 digits "
              "before the decimal point for DECIMAL(8,2).");
    EXPECT_EQ(refusal(kFloating, host_decimal(&decimal_value)),
              "Value inf of column 'floating' (statement 'selstmt2') is not a number.");
    EXPECT_EQ(refusal(kDay, host_date(&date_value)),
              "Value '2023-02-29' of column 'day' (statement 'selstmt2') is not a date of the "
              "form YYYY-MM-DD.");
    EXPECT_EQ(refusal(kFlag, host_text(buffer, sizeof buffer)),
              "Value 2 of column 'flag' (statement 'selstmt2') is not a boolean (0, 1, true, "
              "false, t or f).");
    EXPECT_EQ(refusal(kCash, host_decimal(&decimal_value)),
              "Value '12a' of column 'cash' (statement 'selstmt2') is not a number.");
    // A host type the column's SQL type does not go into.
    EXPECT_EQ(refusal(kSmall, host_double(&double_value)),
              "Column 'small' (statement 'selstmt2') of SQL type 1 cannot be read into a host "
              "variable of type 105.");
}

// Integer texts: a sign, digits and blanks around them, and nothing else.
TEST_F(OstrelTest, IntegerTextsTakeOneSignOnly) {
    std::string file = scratch.file("ints.db");
    build_database(file, "native", R"J({"tables": [{"name": "ints",
      "columns": [["small", "SMALLINT"]], "geometry_column": null,
      "rows": [{"small": " +5 "}, {"small": "-7"}, {"small": "+-5"}, {"small": "5 5"}]}]})J");
    ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
    ASSERT_EQ(osl_prepare("s", "SELECT small FROM ints"), 0) << first_message();
    ASSERT_EQ(osl_allocate_descriptor("d", 1), 0);
    ASSERT_EQ(osl_describe("s", "d"), 0);
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    const int expected_status[] = {0, 0, -1, -1};
    const int32_t expected_value[] = {5, -7, 0, 0};
    for (int row = 0; row < 4; ++row) {
        ASSERT_EQ(osl_fetch("c", "d"), 0);
        int32_t value = 0;
        OslItemRequest request = {OSL_ITEM_DATA, host_int32(&value)};
        int status = osl_get_descriptor_items("d", 1, &request, 1);
        if (expected_status[row] == 0) {
            EXPECT_EQ(status, 0) << row << first_message();
            EXPECT_EQ(value, expected_value[row]) << row;
        } else {
            EXPECT_LT(status, 0) << row;
        }
    }
}

}  // namespace
