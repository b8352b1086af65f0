// The rules that need no database: the 10-character field names, the
// pictures and formats chosen per SQL type (with the refusals of an append
// whose columns no longer fit the file's fields), and the cut of long texts.

#include <gtest/gtest.h>

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

TEST(DbfFieldFormats, PicturesAndFormatsOfTheCatalogueFields) {
    char picture[kFieldTextBytes];
    make_decimal_picture(10, 2, picture);
    EXPECT_STREQ(picture, "-------.--");
    make_decimal_picture(7, 0, picture);
    EXPECT_STREQ(picture, "------&");
    make_decimal_picture(18, 2, picture);
    EXPECT_STREQ(picture, "---------------.--");

    struct Case {
        ItemDescription item;
        char ftyp;
        int32_t flen;
        int32_t fdec;
        FieldKind kind;
        const char* text;
    };
    const Case cases[] = {
        {{OSL_SQL_CHAR, 40, 0, 0}, 'C', 40, 0, FieldKind::kText, "%-40s"},
        {{OSL_SQL_VARCHAR, 300, 0, 0}, 'C', 254, 0, FieldKind::kText, "%-254s"},
        {{OSL_SQL_SMALLINT, 0, 0, 0}, 'N', 6, 0, FieldKind::kInteger, "%6d"},
        {{OSL_SQL_INTEGER, 0, 0, 0}, 'N', 11, 0, FieldKind::kInteger, "%11d"},
        {{OSL_SQL_SERIAL, 0, 0, 0}, 'N', 11, 0, FieldKind::kInteger, "%11d"},
        {{OSL_SQL_FLOAT, 0, 0, 0}, 'F', 20, 0, FieldKind::kFloat, "%20.12e"},
        {{OSL_SQL_SMALLFLOAT, 0, 0, 0}, 'F', 20, 0, FieldKind::kFloat, "%20.12e"},
        {{OSL_SQL_DECIMAL, 0, 16, 255}, 'N', 20, 255, FieldKind::kFloatingDecimal, "%20.12e"},
        {{OSL_SQL_DECIMAL, 0, 8, 2}, 'N', 10, 2, FieldKind::kDecimalPicture, "-------.--"},
        {{OSL_SQL_MONEY, 0, 8, 2}, 'N', 10, 2, FieldKind::kDecimalPicture, "-------.--"},
        {{OSL_SQL_DECIMAL, 0, 19, 0},
         'N',
         21,
         0,
         FieldKind::kDecimalPicture,
         "--------------------&"},
        {{OSL_SQL_DATE, 0, 0, 0}, 'D', 8, 0, FieldKind::kDate, "yyyymmdd"},
        {{OSL_SQL_BOOLEAN, 0, 0, 0}, 'L', 1, 0, FieldKind::kBoolean, "%1s"},
        // An existing file's wider integer field keeps its numbers right-aligned.
        {{OSL_SQL_SMALLINT, 0, 0, 0}, 'N', 10, 0, FieldKind::kInteger, "%10d"},
    };
    for (const Case& c : cases) {
        FieldFormat format;
        int32_t needed = 0;
        EXPECT_EQ(make_field_format(c.item, c.ftyp, c.flen, c.fdec, format, needed),
                  FormatProblem::kNone)
            << c.text;
        EXPECT_EQ(format.kind, c.kind) << c.text;
        EXPECT_STREQ(format.text, c.text);
        EXPECT_EQ(format.width, c.flen);
    }
}

TEST(DbfFieldFormats, ColumnsThatNoLongerFitAnExistingField) {
    struct Case {
        const char* what;
        ItemDescription item;
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
