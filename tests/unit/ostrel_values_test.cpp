// Fetching values through the cursor and the descriptor: every value kind,
// nulls, the bounded text fetch, and the refusals with their diagnostics.

#include <cstring>
#include <string>

#include "ostrel_test_support.h"

namespace {

// Column order: name, small, medium, big, real, price, floating, day, flag,
// cash, geom. Row 1 ordinary values, row 2 nulls, row 3 the other edges,
// row 4 a value in every column that must be refused.
const char* const kValuesJson = R"J({"tables": [{"name": "vals",
  "columns": [["name", "TEXT"], ["small", "SMALLINT"], ["medium", "MEDIUMINT"],
              ["big", "INTEGER"], ["real", "DOUBLE"], ["price", "DECIMAL(8,2)"],
              ["floating", "DECIMAL(16)"], ["day", "DATE"], ["flag", "BOOLEAN"],
              ["cash", "MONEY(6,2)"]],
  "geometry_column": "geom", "geometry_type": "POINT", "srid": 0, "encoding": "wkb",
  "rows": [
    {"name": "\u00c4-\u00df", "small": 32767, "medium": -2147483648,
     "big": 9223372036854775807, "real": 2.5, "price": 2.675, "floating": 1234.5678,
     "day": "2024-02-29", "flag": 1, "cash": 12.345, "geom": ["Point", [1, 2]]},
    {},
    {"name": "", "small": -32768, "medium": 2147483647, "big": -9223372036854775808,
     "real": -0.0, "price": -2.675, "floating": -1e-20, "day": "1900-01-01",
     "flag": "False", "cash": "-0.005", "geom": {"hex": "0102"}},
    {"name": {"hex": "ff00"}, "small": 32768, "medium": 4294967296, "big": "x",
     "real": "abc", "price": 1234567.0, "floating": "1e400", "day": "2023-02-29",
     "flag": 2, "cash": "12a", "geom": null}
  ]}]})J";

enum Item { kName = 1, kSmall, kMedium, kBig, kReal, kPrice, kFloating, kDay, kFlag, kCash, kGeom };

class OslValues : public OstrelTest {
protected:
    void SetUp() override {
        std::string file = scratch.file("v.db");
        build_database(file, "native", kValuesJson);
        ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
        ASSERT_EQ(osl_prepare("selstmt2", "SELECT * FROM vals ORDER BY rowid;"), 0)
            << first_message();
        ASSERT_EQ(osl_allocate_descriptor("seldesc2", 11), 0);
        ASSERT_EQ(osl_describe("selstmt2", "seldesc2"), 0) << first_message();
        OslItemSetting shape[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY},
                                  {OSL_ITEM_VAR_BY_LIBRARY, 1}};
        ASSERT_EQ(osl_set_descriptor_items("seldesc2", kGeom, shape, 2), 0);
        ASSERT_EQ(osl_declare_cursor("selcurs", "selstmt2"), 0);
        ASSERT_EQ(osl_open_cursor("selcurs"), 0);
    }

    // Reads INDICATOR and DATA of an item in one request, as the record
    // formatter does; returns the status.
    int read(int item, OslHostValue value, int16_t* indicator) {
        OslItemRequest requests[] = {{OSL_ITEM_INDICATOR, host_int16(indicator)},
                                     {OSL_ITEM_DATA, value}};
        return osl_get_descriptor_items("seldesc2", item, requests, 2);
    }

    std::string text(int item, size_t size = 64) {
        std::string buffer(size, '#');
        int16_t indicator = 0;
        EXPECT_EQ(read(item, host_text(&buffer[0], size), &indicator), 0) << first_message();
        return indicator == -1 ? "<null>" : std::string(buffer.c_str());
    }

    int32_t integer(int item) {
        int32_t value = 7;
        int16_t indicator = 0;
        EXPECT_EQ(read(item, host_int32(&value), &indicator), 0) << first_message();
        return indicator == -1 ? -999 : value;
    }

    std::string decimal(int item, const char* picture) {
        OslDecimal value;
        int16_t indicator = 0;
        EXPECT_EQ(read(item, host_decimal(&value), &indicator), 0) << first_message();
        if (indicator == -1) {
            return "<null>";
        }
        char out[64];
        EXPECT_EQ(osl_decimal_format(&value, picture, out), 0);
        return out;
    }

    std::string date(int item) {
        OslDate value;
        int16_t indicator = 0;
        EXPECT_EQ(read(item, host_date(&value), &indicator), 0) << first_message();
        if (indicator == -1) {
            return "<null>";
        }
        char out[9];
        EXPECT_EQ(osl_date_format(value, "yyyymmdd", out), 0);
        return out;
    }

    // The refusal of an item's value: its status and first message.
    std::string refusal(int item, OslHostValue value) {
        int16_t indicator = 0;
        EXPECT_LT(read(item, value, &indicator), 0) << item;
        return first_message();
    }
};

TEST_F(OslValues, EveryKindWithNullsAndEdges) {
    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    EXPECT_EQ(text(kName), "\xc3\x84-\xc3\x9f");
    EXPECT_EQ(integer(kSmall), 32767);
    EXPECT_EQ(integer(kMedium), INT32_MIN);
    // An INTEGER is a 64-bit value, carried whole as DECIMAL(19,0).
    EXPECT_EQ(decimal(kBig, "--------------------&"), "  9223372036854775807");
    double real = 0;
    int16_t indicator = 0;
    ASSERT_EQ(read(kReal, host_double(&real), &indicator), 0);
    EXPECT_EQ(real, 2.5);
    // The REAL 2.675 is taken as the text 2.675, so it rounds up.
    EXPECT_EQ(decimal(kPrice, "-------.--"), "      2.68");
    OslDecimal floating;
    ASSERT_EQ(read(kFloating, host_decimal(&floating), &indicator), 0);
    double as_double = 0;
    ASSERT_EQ(osl_decimal_to_double(&floating, &as_double), 0);
    EXPECT_EQ(as_double, 1234.5678);
    EXPECT_EQ(date(kDay), "20240229");
    EXPECT_EQ(text(kFlag), "T");
    EXPECT_EQ(decimal(kCash, "-----.--"), "   12.35");
    OslVar shape = {};
    osl_var_ready(&shape);
    ASSERT_EQ(read(kGeom, host_var(&shape), &indicator), 0) << first_message();
    ASSERT_EQ(osl_var_getlen(&shape), 21);  // a little-endian WKB point
    EXPECT_EQ(std::memcmp(osl_var_getdata(&shape), "\x01\x01\x00\x00\x00", 5), 0);
    osl_var_dealloc(&shape);

    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    for (int item = kName; item <= kGeom; ++item) {
        int16_t null_indicator = 0;
        OslItemRequest request = {OSL_ITEM_INDICATOR, host_int16(&null_indicator)};
        ASSERT_EQ(osl_get_descriptor_items("seldesc2", item, &request, 1), 0);
        EXPECT_EQ(null_indicator, -1) << item;
    }
    EXPECT_EQ(text(kName), "<null>");
    EXPECT_EQ(decimal(kPrice, "----.--"), "<null>");

    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    EXPECT_EQ(text(kName), "");
    EXPECT_EQ(integer(kSmall), -32768);
    EXPECT_EQ(integer(kMedium), INT32_MAX);
    EXPECT_EQ(decimal(kBig, "--------------------&"), " -9223372036854775808");
    EXPECT_EQ(decimal(kPrice, "----.--"), "  -2.68");
    EXPECT_EQ(decimal(kFloating, "---.--"), "  0.00");
    EXPECT_EQ(date(kDay), "19000101");
    EXPECT_EQ(text(kFlag), "F");
    EXPECT_EQ(decimal(kCash, "---.--"), " -0.01");
    ASSERT_EQ(read(kGeom, host_var(&shape), &indicator), 0);
    EXPECT_EQ(osl_var_getlen(&shape), 2);
    osl_var_dealloc(&shape);
}

TEST_F(OslValues, RefusalsNameTheColumnAndTheValue) {
    for (int row = 0; row < 4; ++row) {
        ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    }
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

    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), OSL_NO_ROW);
    int16_t indicator = 0;
    EXPECT_LT(read(kName, host_text(buffer, sizeof buffer), &indicator), 0);
    EXPECT_EQ(first_message(),
              "Descriptor 'seldesc2', item 1: there is no current row; fetch one first.");
}

TEST_F(OslValues, TextIsBoundedByTheBufferAndNeverSplitsACharacter) {
    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    // "Ä-ß" is C3 84 2D C3 9F: five bytes.
    EXPECT_EQ(text(kName, 6), "\xc3\x84-\xc3\x9f");
    EXPECT_EQ(text(kName, 5), "\xc3\x84-");
    EXPECT_EQ(text(kName, 4), "\xc3\x84-");
    EXPECT_EQ(text(kName, 3), "\xc3\x84");
    EXPECT_EQ(text(kName, 2), "");
    std::string guard(8, '#');
    int16_t indicator = 0;
    ASSERT_EQ(read(kName, host_text(&guard[0], 2), &indicator), 0);
    EXPECT_EQ(guard.substr(1), "#######");  // nothing written past the buffer
}

}  // namespace

namespace {

// Integer texts: a sign, digits and blanks around them, and nothing else.
TEST_F(OstrelTest, IntegerTextsTakeOneSignOnly) {
    std::string file = scratch.file("ints.db");
    build_database(file, "native", R"J({"tables": [{"name": "ints",
      "columns": [["small", "SMALLINT"]], "geometry_column": null,
      "rows": [{"small": " +5 "}, {"small": "-7"}, {"small": "+-5"}]}]})J");
    ASSERT_EQ(osl_connect(file.c_str(), nullptr), 0) << first_message();
    ASSERT_EQ(osl_prepare("s", "SELECT small FROM ints"), 0) << first_message();
    ASSERT_EQ(osl_allocate_descriptor("d", 1), 0);
    ASSERT_EQ(osl_describe("s", "d"), 0);
    ASSERT_EQ(osl_declare_cursor("c", "s"), 0);
    ASSERT_EQ(osl_open_cursor("c"), 0);
    const int expected_status[] = {0, 0, -1};
    const int32_t expected_value[] = {5, -7, 0};
    for (int row = 0; row < 3; ++row) {
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
    osl_disconnect_current();
}

}  // namespace
