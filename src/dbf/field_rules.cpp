// The field rules (see field_rules.h).

#include "dbf/field_rules.h"

#include <cstring>

#include "db/client.h"
#include "dbf/dbf_header.h"
#include "dbf/number_text.h"

// Numbers go to N or F fields, as other dBASE writers make them.
static const char kNumberLetters[] = "NF";

constexpr WidthRule kFixed = WidthRule::kFixed;
constexpr WidthRule kColumnLength = WidthRule::kColumnLength;
constexpr WidthRule kDecimalDigits = WidthRule::kDecimalDigits;

// SQL type, field letter, the letters an existing field may have, width
// rule, width, decimals, value kind, whether a scale of 255 floats it,
// whether a gx_row_id of the type is the row id.
// clang-format off
static const FieldRule kFieldRules[] = {
    {OSL_SQL_CHAR,       'C', "C",            kColumnLength,  0,                  0,                 ValueKind::kText,           false, false},
    {OSL_SQL_VARCHAR,    'C', "C",            kColumnLength,  0,                  0,                 ValueKind::kText,           false, false},
    {OSL_SQL_SMALLINT,   'N', kNumberLetters, kFixed,         kSmallIntegerWidth, 0,                 ValueKind::kInteger,        false, false},
    {OSL_SQL_INTEGER,    'N', kNumberLetters, kFixed,         kIntegerWidth,      0,                 ValueKind::kInteger,        false, true},
    {OSL_SQL_SERIAL,     'N', kNumberLetters, kFixed,         kIntegerWidth,      0,                 ValueKind::kInteger,        false, true},
    {OSL_SQL_FLOAT,      'F', kNumberLetters, kFixed,         kExponentWidth,     kExponentDecimals, ValueKind::kFloat,          false, false},
    {OSL_SQL_SMALLFLOAT, 'F', kNumberLetters, kFixed,         kExponentWidth,     kExponentDecimals, ValueKind::kFloat,          false, false},
    {OSL_SQL_DECIMAL,    'N', kNumberLetters, kDecimalDigits, kExponentWidth,     0,                 ValueKind::kDecimalPicture, true,  false},
    {OSL_SQL_MONEY,      'N', kNumberLetters, kDecimalDigits, 0,                  0,                 ValueKind::kDecimalPicture, false, false},
    {OSL_SQL_DATE,       'D', "D",            kFixed,         kDateWidth,         0,                 ValueKind::kDate,           false, false},
    {OSL_SQL_BOOLEAN,    'L', "L",            kFixed,         kLogicalWidth,      0,                 ValueKind::kBoolean,        false, false},
};
// clang-format on

const FieldRule* field_rule_for(int32_t sql_type) {
    for (const FieldRule& rule : kFieldRules) {
        if (rule.sql_type == sql_type) {
            return &rule;
        }
    }
    return nullptr;
}

ValueKind value_kind_of(const FieldRule& rule, int32_t scale) {
    return rule.may_float && scale == OSL_FLOATING_SCALE ? ValueKind::kFloatingDecimal : rule.kind;
}

bool field_letter_holds(const FieldRule& rule, char ftyp) {
    return ftyp != '\0' && std::strchr(rule.letters, ftyp) != nullptr;
}

int exponent_fraction_digits(int32_t flen) {
    return flen >= kExponentWidth ? kExactFractionDigits : kShortFractionDigits;
}

// The library describes a 64-bit INTEGER column as DECIMAL(19,0), which holds
// every value exactly; it gets the integer field of kInteger64Width, and the
// row-id rule, meant for integer row ids, covers it as it covers INTEGER and
// SERIAL. (A column declared DECIMAL(19,0) is described the same way and
// gets the same field.)
bool is_integer_carrier(const DescribedColumn& column) {
    return column.type == OSL_SQL_DECIMAL && column.precision == OSL_INT64_PRECISION &&
           column.scale == 0;
}

bool decimal_has_field(const FieldRule& rule, const DescribedColumn& column) {
    if (column.precision < 1 || column.precision > OSL_DECIMAL_MAX_DIGITS) {
        return false;
    }
    if (value_kind_of(rule, column.scale) == ValueKind::kFloatingDecimal) {
        return true;
    }
    return column.scale >= 0 && column.scale <= column.precision;
}
