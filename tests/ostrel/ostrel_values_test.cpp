// Fetching values on every engine through the cursor and the descriptor, as
// the record formatter reads them: every value kind with its edges, nulls,
// the shape item, and the text fetch bounded by the caller's buffer.

#include <cstring>
#include <string>

#include "ostrel_test_support.h"

namespace {

// Row 1 ordinary values, row 2 nulls, row 3 the other edges; n orders them.
const char* const kValuesJson = R"J({"tables": [{"name": "vals",
  "columns": [["n", "SMALLINT"], ["name", "TEXT"], ["small", "SMALLINT"], ["medium", "INT4"],
              ["big", "BIGINT"], ["real", "DOUBLE PRECISION"], ["price", "DECIMAL(8,2)"],
              ["floating", "NUMERIC"], ["day", "DATE"], ["flag", "BOOLEAN"]],
  "geometry_column": "geom", "geometry_type": "POINT", "srid": 0,
  "rows": [
    {"n": 1, "name": "\u00c4-\u00df", "small": 32767, "medium": -2147483648,
     "big": 9223372036854775807, "real": 2.5, "price": 2.675, "floating": 1234.5678,
     "day": "2024-02-29", "flag": true, "geom": ["Point", [1, 2]]},
    {"n": 2},
    {"n": 3, "name": "", "small": -32768, "medium": 2147483647, "big": -9223372036854775808,
     "real": -0.0, "price": -2.675, "floating": -1e-20, "day": "1900-01-01",
     "flag": false, "geom": ["Point", [-3.5, 1e300]]}
  ]}]})J";

enum Item { kName = 1, kSmall, kMedium, kBig, kReal, kPrice, kFloating, kDay, kFlag, kShape };

class OslValues : public EngineTest {
protected:
    void SetUp() override {
        connect_to(kValuesJson);
        ASSERT_EQ(osl_prepare("selstmt2",
                              "SELECT name, small, medium, big, real, price, floating, day, flag, "
                              "GX_AsShape(geom) FROM vals ORDER BY n;"),
                  0)
            << first_message();
        ASSERT_EQ(osl_allocate_descriptor("seldesc2", kShape), 0);
        ASSERT_EQ(osl_describe("selstmt2", "seldesc2"), 0) << first_message();
        OslItemSetting shape[] = {{OSL_ITEM_TYPE, OSL_SQL_VAR_BINARY},
                                  {OSL_ITEM_VAR_BY_LIBRARY, 1}};
        ASSERT_EQ(osl_set_descriptor_items("seldesc2", kShape, shape, 2), 0);
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

    // The shape item's bytes, as little-endian doubles after its type.
    std::string shape() {
        OslVar var = {};
        osl_var_ready(&var);
        int16_t indicator = 0;
        EXPECT_EQ(read(kShape, host_var(&var), &indicator), 0) << first_message();
        std::string bytes(static_cast<const char*>(osl_var_getdata(&var)),
                          static_cast<size_t>(osl_var_getlen(&var)));
        osl_var_dealloc(&var);
        return indicator == -1 ? "<null>" : bytes;
    }
};

std::string point_shape(double x, double y) {
    std::string bytes("\x01\x00\x00\x00", 4);
    bytes.append(reinterpret_cast<const char*>(&x), 8);  // the tests run little-endian
    bytes.append(reinterpret_cast<const char*>(&y), 8);
    return bytes;
}

TEST_P(OslValues, EveryKindWithNullsAndEdges) {
    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    EXPECT_EQ(text(kName), "\xc3\x84-\xc3\x9f");
    EXPECT_EQ(integer(kSmall), 32767);
    EXPECT_EQ(integer(kMedium), INT32_MIN);
    // A 64-bit integer is carried whole as DECIMAL(19,0).
    EXPECT_EQ(decimal(kBig, "--------------------&"), "  9223372036854775807");
    double real = 0;
    int16_t indicator = 0;
    ASSERT_EQ(read(kReal, host_double(&real), &indicator), 0);
    EXPECT_EQ(real, 2.5);
    EXPECT_EQ(decimal(kPrice, "-------.--"), "      2.68");
    OslDecimal floating;
    ASSERT_EQ(read(kFloating, host_decimal(&floating), &indicator), 0);
    double as_double = 0;
    ASSERT_EQ(osl_decimal_to_double(&floating, &as_double), 0);
    EXPECT_EQ(as_double, 1234.5678);
    EXPECT_EQ(date(kDay), "20240229");
    EXPECT_EQ(text(kFlag), "T");
    EXPECT_EQ(shape(), point_shape(1, 2));

    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    for (int item = kName; item <= kShape; ++item) {
        int16_t null_indicator = 0;
        OslItemRequest request = {OSL_ITEM_INDICATOR, host_int16(&null_indicator)};
        ASSERT_EQ(osl_get_descriptor_items("seldesc2", item, &request, 1), 0);
        EXPECT_EQ(null_indicator, -1) << item;
    }
    EXPECT_EQ(text(kName), "<null>");
    EXPECT_EQ(decimal(kPrice, "----.--"), "<null>");
    EXPECT_EQ(shape(), "<null>");

    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    EXPECT_EQ(text(kName), "");
    EXPECT_EQ(integer(kSmall), -32768);
    EXPECT_EQ(integer(kMedium), INT32_MAX);
    EXPECT_EQ(decimal(kBig, "--------------------&"), " -9223372036854775808");
    EXPECT_EQ(decimal(kPrice, "----.--"), "  -2.68");
    EXPECT_EQ(decimal(kFloating, "---.--"), "  0.00");
    EXPECT_EQ(date(kDay), "19000101");
    EXPECT_EQ(text(kFlag), "F");
    EXPECT_EQ(shape(), point_shape(-3.5, 1e300));

    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), OSL_NO_ROW);
    EXPECT_LT(read(kName, host_text(nullptr, 0), &indicator), 0);
    EXPECT_EQ(first_message(),
              "Descriptor 'seldesc2', item 1: there is no current row; fetch one first.");
}

TEST_P(OslValues, TextIsBoundedByTheBufferAndNeverSplitsACharacter) {
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

// A row's items in one call: what a call per item reads, and the first item
// that fails ends it with that item's status and conditions.
TEST_P(OslValues, ItemsOfARowInOneCall) {
    ASSERT_EQ(osl_fetch("selcurs", "seldesc2"), 0) << first_message();
    char name[16] = "#";
    int32_t small = 0;
    OslDate day = 0;
    int16_t indicators[3] = {7, 7, 7};
    OslItemRequest requests[] = {
        {OSL_ITEM_INDICATOR, host_int16(&indicators[0])}, {OSL_ITEM_DATA, host_text(name, 16)},
        {OSL_ITEM_INDICATOR, host_int16(&indicators[1])}, {OSL_ITEM_DATA, host_int32(&small)},
        {OSL_ITEM_INDICATOR, host_int16(&indicators[2])}, {OSL_ITEM_DATA, host_date(&day)}};
    ASSERT_EQ(osl_get_descriptor_range("seldesc2", kName, 2, requests, 2), 0) << first_message();
    EXPECT_STREQ(name, "\xc3\x84-\xc3\x9f");
    EXPECT_EQ(small, 32767);
    EXPECT_EQ(indicators[0] + indicators[1], 0);

    // Item 3 (INT4) read as a date: refused as osl_get_descriptor_items
    // refuses it, after items 1 and 2.
    small = 0;
    EXPECT_EQ(osl_get_descriptor_range("seldesc2", kName, 3, requests, 2), -451);
    std::string refused = first_message();
    EXPECT_EQ(small, 32767);
    EXPECT_EQ(osl_get_descriptor_items("seldesc2", kMedium, requests + 4, 2), -451);
    EXPECT_EQ(first_message(), refused);
}

OSTREL_ENGINE_SUITE(OslValues);

}  // namespace
