// The rules that need no database: the bytes each kind of value becomes in
// its field (with the refusals of an append whose columns no longer fit the
// file's fields, or whose values do not), and the cut of long texts.

#include <gtest/gtest.h>

#include <cfloat>
#include <cstring>
#include <string>
#include <vector>

#include "db/client.h"
#include "db/row_values.h"
#include "dbf/field_refusals.h"
#include "process_end_capture.h"

namespace {

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

// A value as the fetch gives it: in its FieldValue member, or (a decimal, a
// date) in the library's form that the fetch makes into the field's.
struct Given {
    FieldValue value;
    LibraryValue library = {};
};

template <typename T>
Given value_in(T FieldValue::*member, T held) {
    Given given;
    given.value.*member = held;
    return given;
}

Given decimal_value(int sign, const char* digits, int exponent) {
    Given given;
    given.library.decimal = decimal(sign, digits, exponent);
    return given;
}

Given date_value(OslDate date) {
    Given given;
    given.library.date = date;
    return given;
}

const auto as_text = &FieldValue::text;
const auto as_integer = &FieldValue::integer;
const auto as_real = &FieldValue::real;

// One field of the given column type in a record of its own, with the row
// values the fetch fills.
struct OneField {
    RecordFormats formats;
    RowValues row;
    char* place = nullptr;  // the value's own place for a text the fetch makes
    int32_t cuts = 0;
    explicit OneField(const DescribedColumn& column, char ftyp, int32_t flen, int32_t fdec) {
        formats.fields = new FieldFormat[1];
        int32_t needed = 0;
        EXPECT_EQ(make_field_format(column, ftyp, flen, fdec, formats.fields[0], needed),
                  FormatProblem::kNone);
        formats.fields[0].offset = 1;
        formats.field_count = 1;
        formats.record_length = 1 + flen;
        prepare_row_values(formats, row);
        place = row.values[0].text;
    }
    ~OneField() { free_field_formats(formats, row); }
    // The record of a fetched value, or the field it stops at.
    int32_t format(const Given& given, std::string& bytes) {
        FieldValue& value = row.values[0];
        value = given.value;
        if (value.text == nullptr) {
            value.text = place;
        }
        row.library[0] = given.library;
        make_field_texts(formats, row);
        bytes.assign(static_cast<size_t>(formats.record_length) + 1, '|');
        int32_t result = format_dbf_record(formats, row.values, &bytes[0], &cuts);
        EXPECT_EQ(bytes.back(), '|');  // nothing past the record
        bytes.pop_back();
        return result;
    }
    std::string record(const Given& given) {
        std::string bytes;
        EXPECT_EQ(format(given, bytes), kAllValuesFit);
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
        DescribedColumn column;
        char ftyp;
        int32_t flen;
        int32_t fdec;
        Given value;
        std::string field;
    };
    // clang-format off
    const Case cases[] = {
        {{OSL_SQL_CHAR, 40},             'C', 40,  0,   value_in(as_text, text),               "ab" + std::string(38, ' ')},
        {{OSL_SQL_VARCHAR, 300},         'C', 254, 0,   value_in(as_text, long_text),          std::string(254, 'x')},
        {{OSL_SQL_SMALLINT},             'N', 6,   0,   value_in(as_integer, -32768),          "-32768"},
        {{OSL_SQL_INTEGER},              'N', 11,  0,   value_in(as_integer, 42),              "         42"},
        {{OSL_SQL_SERIAL},               'N', 11,  0,   value_in(as_integer, INT32_MIN),       "-2147483648"},
        {{OSL_SQL_FLOAT},                'F', 24,  16,  value_in(as_real, 0.1),                "  1.0000000000000001e-01"},
        {{OSL_SQL_SMALLFLOAT},           'F', 24,  16,  value_in(as_real, -DBL_MAX),           "-1.7976931348623157e+308"},
        {{OSL_SQL_DECIMAL, 0, 16, 255},  'F', 24,  16,  decimal_value(1, "12345678", 5),       "  1.2345678000000000e+04"},
        {{OSL_SQL_DECIMAL, 0, 19, 0},    'N', 18,  0,   decimal_value(1, "999999999999999999", 18), "999999999999999999"},
        // Older files' floating fields, F(20,0) and N(20,255), keep their form.
        {{OSL_SQL_FLOAT},                'F', 20,  0,   value_in(as_real, 0.1),                "  1.000000000000e-01"},
        {{OSL_SQL_SMALLFLOAT},           'F', 20,  0,   value_in(as_real, -1.5e300),           "-1.500000000000e+300"},
        {{OSL_SQL_DECIMAL, 0, 16, 255},  'N', 20,  255, decimal_value(1, "12345678", 5),       "  1.234567800000e+04"},
        {{OSL_SQL_DECIMAL, 0, 8, 2},     'N', 10,  2,   decimal_value(-1, "12345678", 5),      " -12345.68"},
        {{OSL_SQL_MONEY, 0, 8, 2},       'N', 10,  2,   decimal_value(1, "5", 0),              "      0.50"},
        {{OSL_SQL_DECIMAL, 0, 19, 0},    'N', 21,  0,   decimal_value(1, "9223372036854775807", 19), "  9223372036854775807"},
        {{OSL_SQL_DATE},                 'D', 8,   0,   date_value(45632),     "20241207"},
        {{OSL_SQL_DATE},                 'D', 8,   0,   date_value(1),         "19000101"},
        // An existing file's wider date field: the day, then blanks.
        {{OSL_SQL_DATE},                 'D', 10,  0,   date_value(45632),     "20241207  "},
        {{OSL_SQL_BOOLEAN},              'L', 1,   0,   value_in(as_text, letter),             "T"},
        // An existing file's wider integer field keeps its numbers right-aligned.
        {{OSL_SQL_SMALLINT},             'N', 10,  0,   value_in(as_integer, 5),               "         5"},
    };
    // clang-format on
    for (const Case& c : cases) {
        OneField one(c.column, c.ftyp, c.flen, c.fdec);
        EXPECT_EQ(one.record(c.value), " " + c.field) << c.field;
        Given null = c.value;
        null.value.indicator = -1;
        std::string blank(static_cast<size_t>(c.flen), ' ');
        EXPECT_EQ(one.record(null), " " + (c.column.type == OSL_SQL_BOOLEAN ? "?" : blank))
            << c.field;
    }
}

// A number field narrower than its column's full width takes every value
// whose text fits; the first that does not stops the record, and the run is
// refused naming the field, the value and the width.
TEST(DbfFieldFormats, NarrowNumberFieldsTakeTheValuesThatFit) {
    struct Case {
        DescribedColumn column;
        int32_t flen;
        int32_t fdec;
        Given value;
        const char* field;  // null: the value does not fit
        const char* shown;  // the value in the refusal
    };
    // clang-format off
    const Case cases[] = {
        {{OSL_SQL_INTEGER},              9,  0, value_in(as_integer, 123456789),         "123456789", nullptr},
        {{OSL_SQL_INTEGER},              9,  0, value_in(as_integer, -12345678),         "-12345678", nullptr},
        {{OSL_SQL_INTEGER},              9,  0, value_in(as_integer, 1234567890),        nullptr, "1234567890"},
        {{OSL_SQL_INTEGER},              9,  0, value_in(as_integer, -123456789),        nullptr, "-123456789"},
        {{OSL_SQL_DECIMAL, 0, 19, 0},    18, 0, decimal_value(1, "123456789012", 12),   "      123456789012", nullptr},
        {{OSL_SQL_DECIMAL, 0, 19, 0},    18, 0, decimal_value(1, "1", 19),              nullptr, "1000000000000000000"},
        {{OSL_SQL_DECIMAL, 0, 16, 2},    10, 2, decimal_value(1, "123456789", 7),       "1234567.89", nullptr},
        {{OSL_SQL_DECIMAL, 0, 16, 2},    10, 2, decimal_value(-1, "123456789", 8),      nullptr, "-12345678.90"},
        {{OSL_SQL_FLOAT},                19, 11, value_in(as_real, 1.5),                 " 1.500000000000e+00", nullptr},
        {{OSL_SQL_FLOAT},                19, 11, value_in(as_real, -1.5e-300),           nullptr, "-1.500000000000e-300"},
    };
    // clang-format on
    for (const Case& c : cases) {
        OneField one(c.column, 'N', c.flen, c.fdec);
        if (c.field != nullptr) {
            EXPECT_EQ(one.record(c.value), std::string(" ") + c.field);
            continue;
        }
        std::string record;
        EXPECT_EQ(one.format(c.value, record), 0);
        char shown[kFieldTextBytes];
        shown_value_text(one.formats, one.row, 0, c.fdec, shown, sizeof shown);
        FieldTable fields;
        allocate_field_table(fields, 1);
        fields.field_count = 1;
        fields.fnam[0] = strdup("POP");
        fields.column_name[0] = strdup("pop 2020");
        fields.flen[0] = c.flen;
        fields.fdec[0] = c.fdec;
        EndResult result = run_capturing_end(
            [&] { refuse_value(fields, one.formats, one.row.values[0], 0, 7, shown); });
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(result.err, "\nRecord 7: the value " + std::string(c.shown) +
                                  " of column 'pop 2020' does not fit field 'POP' of " +
                                  std::to_string(c.flen) + " characters.\n");
        free_field_table(fields);
    }
}

TEST(DbfFieldFormats, ColumnsThatNoLongerFitAnExistingField) {
    struct Case {
        const char* what;
        DescribedColumn item;
        char ftyp;
        int32_t flen;
        int32_t fdec;
        FormatProblem problem;
        int32_t needed;
    };
    // clang-format off
    const Case cases[] = {
        {"a DATETIME",                  {99},                         'C', 10, 0,   FormatProblem::kUnsupportedType, 0},
        {"text into a numeric field",   {OSL_SQL_VARCHAR, 10},        'N', 10, 0,   FormatProblem::kWrongType, 0},
        {"a number into a text field",  {OSL_SQL_INTEGER},            'C', 11, 0,   FormatProblem::kWrongType, 0},
        {"a date into a text field",    {OSL_SQL_DATE},               'C', 8,  0,   FormatProblem::kWrongType, 0},
        {"a FLOAT into 17",             {OSL_SQL_FLOAT},              'N', 17, 0,   FormatProblem::kTooNarrow, 18},
        {"a floating DECIMAL into 10.2", {OSL_SQL_DECIMAL, 0, 16, 255}, 'N', 10, 2, FormatProblem::kTooNarrow, 18},
        {"a DATE into a 6-wide D",      {OSL_SQL_DATE},               'D', 6,  0,   FormatProblem::kTooNarrow, 8},
        {"a scaled DECIMAL into a floating field", {OSL_SQL_DECIMAL, 0, 16, 2}, 'N', 20, 255, FormatProblem::kBadDecimals, 0},
        {"decimals as many as the width", {OSL_SQL_MONEY, 0, 8, 2},   'N', 4,  4,   FormatProblem::kBadDecimals, 0},
        // Narrower number fields are decided value by value.
        {"INTEGER into a SMALLINT's field", {OSL_SQL_INTEGER},        'N', 6,  0,   FormatProblem::kNone, 0},
        {"DECIMAL(16,2) into 10.2",     {OSL_SQL_DECIMAL, 0, 16, 2},  'N', 10, 2,   FormatProblem::kNone, 0},
        {"DECIMAL(10,0) into 1",        {OSL_SQL_DECIMAL, 0, 10, 0},  'N', 1,  0,   FormatProblem::kNone, 0},
        {"a FLOAT into 18",             {OSL_SQL_FLOAT},              'F', 18, 0,   FormatProblem::kNone, 0},
    };
    // clang-format on
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
        bool cut = write_text_field(&field[0], width, text);
        EXPECT_EQ(cut, std::strlen(text) > static_cast<size_t>(width)) << text;
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

    // The record counts the values it cuts, field by field.
    std::string umlauts;
    for (int i = 0; i < 10; ++i) {
        umlauts += "\xc3\x84";
    }
    OneField one({OSL_SQL_VARCHAR, 10}, 'C', 10, 0);
    EXPECT_EQ(one.record(value_in(as_text, &umlauts[0])), " " + umlauts.substr(0, 10));
    std::string fits = "0123456789";
    one.record(value_in(as_text, &fits[0]));
    EXPECT_EQ(one.cuts, 1);
}

}  // namespace
