// The .dbf field names of columns: the hash and the names written out, names
// that depend on the column alone, and the names an append matches a field by.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "dbf/field_names.h"

namespace {

TEST(DbfFieldNames, HashAndNamesWrittenOut) {
    // FNV-1a of the lower-case name; its last 3 base-36 digits end a shared name.
    EXPECT_EQ(field_name_hash(""), 0x811c9dc5u);
    EXPECT_EQ(field_name_hash("a"), 0xe40c292cu);
    EXPECT_EQ(field_name_hash("POPULATION"), 0xb3de8cb2u);
    EXPECT_EQ(field_name_hash("population"), 0xb3de8cb2u);

    struct Case {
        const char* column;
        const char* own;
        const char* shared;
    };
    const Case cases[] = {
        {"population_2010", "POPULATION", "POPULA_7TO"},
        {"Population_2010", "POPULATION", "POPULA_7TO"},
        {"population_2020", "POPULATION", "POPULA_IT3"},
        {"gx_row_id", "GX_ROW_ID", "GX_ROW_OYZ"},
        {"a", "A", "A_I7G"},
        {"", "", "_TFP"},
        {"Name With Space", "NAME_WITH_", "NAME_W_RAS"},
        {"quo\"te", "QUO_TE", "QUO_TE_S8D"},
        // One '_' per UTF-8 character, however many bytes it has.
        {"Stra\xc3\x9f"
         "e",
         "STRA_E", "STRA_E_B4O"},
        {"aaaaaaaaa\xc3\xa9x", "AAAAAAAAA_", nullptr},
        {"\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80!", "____", nullptr},
        {"\x80\x80z", "_Z", nullptr},  // a stray continuation byte is a character
    };
    for (const Case& c : cases) {
        char own[kDbfNameAreaBytes];
        char shared[kDbfNameAreaBytes];
        own_field_name(c.column, own);
        shared_field_name(c.column, shared);
        EXPECT_STREQ(own, c.own) << c.column;
        if (c.shared != nullptr) {
            EXPECT_STREQ(shared, c.shared) << c.column;
        }
    }
}

std::vector<std::string> names_of(const std::vector<const char*>& columns, int32_t* clash,
                                  int32_t* other) {
    std::vector<char[kDbfNameAreaBytes]> names(columns.size());
    *clash =
        name_fields(columns.data(), static_cast<int32_t>(columns.size()), names.data(), *other);
    return std::vector<std::string>(names.begin(), names.end());
}

TEST(DbfFieldNames, AColumnsNameDependsOnItselfNeverOnItsPlace) {
    int32_t clash = 0;
    int32_t other = 0;
    EXPECT_EQ(names_of({"population_2010", "code", "population_2020", ""}, &clash, &other),
              (std::vector<std::string>{"POPULA_7TO", "CODE", "POPULA_IT3", "_TFP"}));
    EXPECT_EQ(clash, -1);
    EXPECT_EQ(names_of({"population_2020", "population_2010", "code"}, &clash, &other),
              (std::vector<std::string>{"POPULA_IT3", "POPULA_7TO", "CODE"}));
    // Alone, a column keeps its own name; names alike only in case collide.
    EXPECT_EQ(names_of({"population_2020"}, &clash, &other),
              (std::vector<std::string>{"POPULATION"}));
    EXPECT_EQ(names_of({"Code", "CODE"}, &clash, &other),
              (std::vector<std::string>{"CODE_BN8", "CODE_BN8"}));
    EXPECT_EQ(clash, 0);
    EXPECT_EQ(other, 1);
    // A shared name that is another column's own name is a clash too.
    names_of({"popula_7to", "population_2010", "population_2020"}, &clash, &other);
    EXPECT_EQ(clash, 0);
    EXPECT_EQ(other, 1);
}

TEST(DbfFieldNames, AFieldMatchesItsColumnByAnyOfItsNames) {
    struct Case {
        const char* field;
        const char* column;
        bool matches;
    };
    const Case cases[] = {
        {"POPULATION", "population_2010", true},
        {"population", "population_2010", true},  // as other writers cut it
        {"POPULA_7TO", "population_2010", true},
        {"popula_7to", "population_2010", true},
        {"POPULA_IT3", "population_2010", false},
        {"POPULATI_1", "population_2020", false},
        {"NAME_WITH_", "Name With Space", true},
        {"Name With", "Name With Space", true},   // cut, its trailing blank dropped
        {"NAME WITH ", "Name With Space", true},  // earlier versions kept the blank
        {"NAME WITHS", "Name With Space", false},
        {"STRA\xc3\x9f"
         "E",
         "Stra\xc3\x9f"
         "e",
         true},
        {"CODE", "code_2", false},
        {"CODE", "cod", false},
    };
    for (const Case& c : cases) {
        ColumnFieldNames names;
        column_field_names(c.column, names);
        EXPECT_EQ(field_name_matches(c.field, names), c.matches) << c.field << " " << c.column;
    }
}

}  // namespace
