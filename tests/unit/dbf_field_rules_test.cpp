// The rules that need no database: the 10-character field names, the bytes
// each kind of value becomes in its field (with the refusals of an append
// whose columns no longer fit the file's fields), and the cut of long texts.

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "db/client.h"
#include "dbf/column_catalogue.h"
#include "dbf/dbf_record.h"

namespace {

// Names the columns in order, each against the names before it.
std::vector<std::string> dbf_names(const std::vector<const char*>& columns) {
    std::vector<std::string> names;
    names.reserve(columns.size());  // taken points into these strings
    std::vector<const char*> taken;
    for (const char* column : columns) {
        char name[kDbfNameAreaBytes];
        make_dbf_field_name(column, taken.data(), static_cast<int32_t>(taken.size()), name);
        names.push_back(name);
        taken.push_back(names.back().c_str());
    }
    return names;
}

TEST(DbfFieldNames, CutToTenAndMadeUniqueWithASuffix) {
    EXPECT_EQ(dbf_names({"population_2020", "population_2021", "populati_1", "Name",
                         "name_of_the_road", "name"}),
              (std::vector<std::string>{"POPULATION", "POPULATI_1", "POPULATI_2", "NAME",
                                        "NAME_OF_TH", "NAME_1"}));

    // Ten characters exactly are kept; the suffix grows into the name.
    std::vector<std::string> twelve = dbf_names(std::vector<const char*>(12, "abcdefghijkl"));
    EXPECT_EQ(twelve[0], "ABCDEFGHIJ");
    EXPECT_EQ(twelve[1], "ABCDEFGH_1");
    EXPECT_EQ(twelve[9], "ABCDEFGH_9");
    EXPECT_EQ(twelve[10], "ABCDEFG_10");
    EXPECT_EQ(twelve[11], "ABCDEFG_11");
}

TEST(DbfFieldNames, NeverSplitAUtf8Character) {
    // Nine ASCII letters and a two-byte letter: the cut at 10 bytes would
    // fall inside it, so it stays out; only ASCII letters change case.
    char name[kDbfNameAreaBytes];
    make_dbf_field_name("aaaaaaaaa\xc3\xa9", nullptr, 0, name);
    EXPECT_STREQ(name, "AAAAAAAAA");
    make_dbf_field_name(
        "gr\xc3\xb6\xc3\x9f"
        "e",
        nullptr, 0, name);
    EXPECT_STREQ(name,
                 "GR\xc3\xb6\xc3\x9f"
                 "E");
    const char* taken[] = {"AAAAAAA\xc3\xa9"};
    make_dbf_field_name("aaaaaaa\xc3\xa9\xc3\xa9", taken, 1, name);
    EXPECT_STREQ(name, "AAAAAAA_1");
}

// A decimal sign * 0.digits * 10^exponent, as the library holds it.
OslDecimal decimal(int sign, const char* digits, int exponent) {
    OslDecimal d = {};
    d.sign = static_cast<int8_t>(sign);
    d.exponent = static_cast<int16_t>(exponent);
    for (const char* p = digits; *p != '\0'; ++p) {
        d.digits[d.digit_count++] = static_cast<uint8_t>(*p - '0');
    }
    return d;
}

// A value held in one member of FieldValue.
template <typename T>
FieldValue value_in(T FieldValue::*member, T held) {
    FieldValue value;
    value.*member = held;
    return value;
}

FieldValue decimal_value(int sign, const char* digits, int exponent) {
    return value_in(&FieldValue::decimal, decimal(sign, digits, exponent));
}

const auto as_text = &FieldValue::text;
const auto as_integer = &FieldValue::integer;
const auto as_real = &FieldValue::real;
const auto as_date = &FieldValue::date;

// One field of the given column type in a record of its own.
struct OneField {
    RecordFormats formats;
    FieldFormat format;
    explicit OneField(const ColumnDescription& column, char ftyp, int32_t flen, int32_t fdec) {
        int32_t needed = 0;
        EXPECT_EQ(make_field_format(column, ftyp, flen, fdec, format, needed),
                  FormatProblem::kNone);
        format.offset = 1;
        formats = {1, 1 + flen, &format};
    }
    std::string record(const FieldValue& value) {
        std::string bytes(static_cast<size_t>(formats.record_length) + 1, '|');
        EXPECT_EQ(format_dbf_record(formats, &value, &bytes[0]), kAllValuesFit);
        EXPECT_EQ(bytes.back(), '|');  // nothing past the record
        bytes.pop_back();
        return bytes;
    }
};

TEST(DbfFieldFormats, PicturesOfTheCatalogueFields) {
    char picture[kFieldTextBytes];
    make_decimal_picture(10, 2, picture);
    EXPECT_STREQ(picture, "-------.--");
    make_decimal_picture(7, 0, picture);
    EXPECT_STREQ(picture, "------&");
    make_decimal_picture(18, 2, picture);
    EXPECT_STREQ(picture, "---------------.--");
}

// The bytes each kind of value becomes in the fields the catalogue makes,
// and in a wider field of an existing file.
TEST(DbfFieldFormats, EveryKindOfValueInItsField) {
    char text[] = "ab";
    char long_text[255];
    std::memset(long_text, 'x', 254);
    long_text[254] = '\0';
    char letter[] = "T";
    struct Case {
        ColumnDescription column;
        char ftyp;
        int32_t flen;
        int32_t fdec;
        FieldValue value;
        std::string field;
    };
    // clang-format off
    const Case cases[] = {
        {{OSL_SQL_CHAR, 40},             'C', 40,  0,   value_in(as_text, text),               "ab" + std::string(38, ' ')},
        {{OSL_SQL_VARCHAR, 300},         'C', 254, 0,   value_in(as_text, long_text),          std::string(254, 'x')},
        {{OSL_SQL_SMALLINT},             'N', 6,   0,   value_in(as_integer, -32768),          "-32768"},
        {{OSL_SQL_INTEGER},              'N', 11,  0,   value_in(as_integer, 42),              "         42"},
        {{OSL_SQL_SERIAL},               'N', 11,  0,   value_in(as_integer, INT32_MIN),       "-2147483648"},
        {{OSL_SQL_FLOAT},                'F', 20,  0,   value_in(as_real, 0.1),                "  1.000000000000e-01"},
        {{OSL_SQL_SMALLFLOAT},           'F', 20,  0,   value_in(as_real, -1.5e300),           "-1.500000000000e+300"},
        {{OSL_SQL_DECIMAL, 0, 16, 255},  'N', 20,  255, decimal_value(1, "12345678", 5),       "  1.234567800000e+04"},
        {{OSL_SQL_DECIMAL, 0, 8, 2},     'N', 10,  2,   decimal_value(-1, "12345678", 5),      " -12345.68"},
        {{OSL_SQL_MONEY, 0, 8, 2},       'N', 10,  2,   decimal_value(1, "5", 0),              "      0.50"},
        {{OSL_SQL_DECIMAL, 0, 19, 0},    'N', 21,  0,   decimal_value(1, "9223372036854775807", 19), "  9223372036854775807"},
        {{OSL_SQL_DATE},                 'D', 8,   0,   value_in(as_date, OslDate{45632}),     "20241207"},
        {{OSL_SQL_DATE},                 'D', 8,   0,   value_in(as_date, OslDate{1}),         "19000101"},
        {{OSL_SQL_BOOLEAN},              'L', 1,   0,   value_in(as_text, letter),             "T"},
        // An existing file's wider integer field keeps its numbers right-aligned.
        {{OSL_SQL_SMALLINT},             'N', 10,  0,   value_in(as_integer, 5),               "         5"},
    };
    // clang-format on
    for (const Case& c : cases) {
        OneField one(c.column, c.ftyp, c.flen, c.fdec);
        EXPECT_EQ(one.record(c.value), " " + c.field) << c.field;
        FieldValue null = c.value;
        null.indicator = -1;
        std::string blank(static_cast<size_t>(c.flen), ' ');
        EXPECT_EQ(one.record(null), " " + (c.column.type == OSL_SQL_BOOLEAN ? "?" : blank))
            << c.field;
    }
}

// A value the field cannot hold leaves the record to the caller to refuse,
// naming the field it stopped at.
TEST(DbfFieldFormats, AValueThatDoesNotFitNamesItsField) {
    FieldFormat formats[2];
    int32_t needed = 0;
    ASSERT_EQ(make_field_format({OSL_SQL_SMALLINT}, 'N', 6, 0, formats[0], needed),
              FormatProblem::kNone);
    ASSERT_EQ(make_field_format({OSL_SQL_DECIMAL, 0, 8, 2}, 'N', 10, 2, formats[1], needed),
              FormatProblem::kNone);
    formats[0].offset = 1;
    formats[1].offset = 7;
    RecordFormats record_formats = {2, 17, formats};
    FieldValue values[2];
    values[0].integer = 7;
    values[1].decimal = decimal(1, "1", 9);  // 100000000.00 needs 12
    char record[17];
    EXPECT_EQ(format_dbf_record(record_formats, values, record), 1);
    values[1].decimal = decimal(1, "1", 7);
    EXPECT_EQ(format_dbf_record(record_formats, values, record), kAllValuesFit);
    EXPECT_EQ(std::string(record, 17), "      71000000.00");
}

TEST(DbfFieldFormats, ColumnsThatNoLongerFitAnExistingField) {
    struct Case {
        const char* what;
        ColumnDescription item;
        char ftyp;
        int32_t flen;
        int32_t fdec;
        FormatProblem problem;
        int32_t needed;
    };
    const Case cases[] = {
        {"a DATETIME", {99, 0, 0, 0}, 'C', 10, 0, FormatProblem::kUnsupportedType, 0},
        {"text into a numeric field",
         {OSL_SQL_VARCHAR, 10, 0, 0},
         'N',
         10,
         0,
         FormatProblem::kWrongType,
         0},
        {"a number into a text field",
         {OSL_SQL_INTEGER, 0, 0, 0},
         'C',
         11,
         0,
         FormatProblem::kWrongType,
         0},
        {"a date into a text field",
         {OSL_SQL_DATE, 0, 0, 0},
         'C',
         8,
         0,
         FormatProblem::kWrongType,
         0},
        {"INTEGER into a SMALLINT's field",
         {OSL_SQL_INTEGER, 0, 0, 0},
         'N',
         6,
         0,
         FormatProblem::kTooNarrow,
         11},
        {"a FLOAT into 11", {OSL_SQL_FLOAT, 0, 0, 0}, 'N', 11, 0, FormatProblem::kTooNarrow, 20},
        {"a floating DECIMAL into a 10.2 field",
         {OSL_SQL_DECIMAL, 0, 16, 255},
         'N',
         10,
         2,
         FormatProblem::kTooNarrow,
         20},
        {"DECIMAL(16,2) into 10.2",
         {OSL_SQL_DECIMAL, 0, 16, 2},
         'N',
         10,
         2,
         FormatProblem::kTooNarrow,
         18},
        {"DECIMAL(10,0) into 10",
         {OSL_SQL_DECIMAL, 0, 10, 0},
         'N',
         10,
         0,
         FormatProblem::kTooNarrow,
         11},
        {"a scaled DECIMAL into a floating field",
         {OSL_SQL_DECIMAL, 0, 16, 2},
         'N',
         20,
         255,
         FormatProblem::kBadDecimals,
         0},
        {"decimals as many as the width",
         {OSL_SQL_MONEY, 0, 8, 2},
         'N',
         4,
         4,
         FormatProblem::kBadDecimals,
         0},
    };
    for (const Case& c : cases) {
        FieldFormat format;
        int32_t needed = 0;
        EXPECT_EQ(make_field_format(c.item, c.ftyp, c.flen, c.fdec, format, needed), c.problem)
            << c.what;
        if (c.problem == FormatProblem::kTooNarrow) {
            EXPECT_EQ(needed, c.needed) << c.what;
        }
    }
}

TEST(DbfFieldFormats, TextIsCutAtAWholeUtf8Character) {
    // The field, then '|' for the byte after it, which must stay.
    auto field_of = [](int32_t width, const char* text) {
        std::string field(static_cast<size_t>(width), ' ');
        field += '|';
        write_text_field(&field[0], width, text);
        return field;
    };
    EXPECT_EQ(field_of(5, "ab"), "ab   |");
    EXPECT_EQ(field_of(3, "xyz"), "xyz|");
    EXPECT_EQ(field_of(3, "abcdef"), "abc|");
    // "h\u00e9llo": the cut at 2 would split the two-byte letter.
    EXPECT_EQ(field_of(2, "h\xc3\xa9llo"), "h |");
    EXPECT_EQ(field_of(3, "h\xc3\xa9llo"), "h\xc3\xa9|");
    // A four-byte character at the cut stays out whole.
    EXPECT_EQ(field_of(4, "a\xf0\x9f\x98\x80"), "a   |");
    EXPECT_EQ(field_of(5, "a\xf0\x9f\x98\x80"), "a\xf0\x9f\x98\x80|");
    // Bytes that are not UTF-8 are cut at the width.
    EXPECT_EQ(field_of(2, "\x80\x80\x80\x80\x80"), "\x80\x80|");
}

}  // namespace
