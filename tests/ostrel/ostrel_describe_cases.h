// Describe cases for the client library's tests: one table with a column
// per declared type, and the check of one described item against its case.

#ifndef OSTREL_TESTS_OSTREL_DESCRIBE_CASES_H
#define OSTREL_TESTS_OSTREL_DESCRIBE_CASES_H

#include <string>

#include "ostrel_test_support.h"

struct TypeCase {
    const char* declared;
    int type;
    int length;  // checked for character types only
    int precision;
    int scale;
};

constexpr int kDec = sizeof(OslDecimal);

inline std::string type_column_name(size_t i) {
    return "C" + std::to_string(i);
}

// One table "t" with a column per case, then the registered geometry column
// "Shape", declared as geometry_decl when that is not null.
template <size_t N>
std::string all_types_json(const TypeCase (&cases)[N], const char* geometry_decl) {
    std::string columns;
    for (size_t i = 0; i < N; ++i) {
        columns += (i ? ", " : "") + std::string("[\"") + type_column_name(i) + "\", \"" +
                   cases[i].declared + "\"]";
    }
    std::string declared = geometry_decl != nullptr
                               ? std::string(R"(, "geometry_decl": ")") + geometry_decl + "\""
                               : "";
    return R"({"tables": [{"name": "t", "columns": [)" + columns +
           R"(], "geometry_column": "Shape")" + declared + R"(, "rows": []}]})";
}

inline void expect_described(int item, const TypeCase& c, const std::string& expected_name) {
    int32_t type = -1, length = -1, precision = -1, scale = -1;
    char name[64];
    OslItemRequest requests[] = {
        {OSL_ITEM_TYPE, host_int32(&type)},
        {OSL_ITEM_LENGTH, host_int32(&length)},
        {OSL_ITEM_PRECISION, host_int32(&precision)},
        {OSL_ITEM_SCALE, host_int32(&scale)},
        {OSL_ITEM_NAME, host_text(name, sizeof name)},
    };
    ASSERT_EQ(osl_get_descriptor_items("d", item, requests, 5), 0) << first_message();
    EXPECT_EQ(type, c.type) << c.declared;
    if (c.type == OSL_SQL_CHAR || c.type == OSL_SQL_VARCHAR) {
        EXPECT_EQ(length, c.length) << c.declared;
    }
    if (c.type == OSL_SQL_DECIMAL || c.type == OSL_SQL_MONEY) {
        EXPECT_EQ(precision, c.precision) << c.declared;
        EXPECT_EQ(scale, c.scale) << c.declared;
    }
    EXPECT_EQ(std::string(name), expected_name);
}

#endif
