// The field rules: for each SQL type that has a .dbf field, the field's type
// letter, how its width follows from the column, and the kind of value it
// holds. The catalogue reads them to make a table's fields, the record
// formatter to fetch and write each value, and an append to check that a
// column still fits the field an existing file has for it; this is the one
// place the rules are written.

#ifndef SPOOLMAP_DBF_FIELD_RULES_H
#define SPOOLMAP_DBF_FIELD_RULES_H

#include <cstddef>
#include <cstdint>

// Field widths: the decimal text of any 16-bit integer (six characters for
// -32768) and of any 32-bit integer (eleven for -2147483648), the exponent
// form "%24.16e" of a floating value ("-1.7976931348623157e+308"), a date as
// yyyymmdd and a logical's one letter; a decimal's digits take two more
// characters, its sign and point.
constexpr int32_t kSmallIntegerWidth = 6;
constexpr int32_t kIntegerWidth = 11;
constexpr int32_t kExponentWidth = 24;
constexpr int32_t kDateWidth = 8;
constexpr int32_t kLogicalWidth = 1;
constexpr int32_t kDecimalExtraChars = 2;

// A floating field declares the sixteen decimals its exponent form carries,
// so that no reader takes it for a field of whole numbers.
constexpr int32_t kExponentDecimals = 16;

// A 64-bit integer column (the library describes it as a DECIMAL of 19
// digits, is_integer_carrier) gets an N field of 18 characters, the widest
// that GDAL-based readers take as a 64-bit integer rather than a double,
// which would change ids above 2^53. A value of 19 digits does not fit it and
// is refused where it is written.
constexpr int32_t kInteger64Width = 18;

// What the database says of a column: the SQL type code (as the client
// library reports it) and sizes the rules go by, and its name.
constexpr size_t kColumnNameBytes = 512;
struct DescribedColumn {
    int32_t type = 0;
    int32_t length = 0;
    int32_t precision = 0;
    int32_t scale = 0;
    char name[kColumnNameBytes] = {};  // as the database stores it
};

// How a value is fetched and written into its field.
enum class ValueKind {
    kText,             // CHAR, VARCHAR: left-aligned, cut to the field
    kBoolean,          // "T" or "F", "?" for null
    kInteger,          // right-aligned decimal
    kFloat,            // exponent form
    kFloatingDecimal,  // DECIMAL without a scale: as a double, exponent form
    kDecimalPicture,   // DECIMAL with a scale, MONEY: the library's picture
    kDate,             // yyyymmdd
};

// How a field's width follows from its column.
enum class WidthRule {
    kFixed,          // the rule's width, whatever the column
    kColumnLength,   // the column's LENGTH, at most kDbfMaxFieldLength
    kDecimalDigits,  // PRECISION + kDecimalExtraChars; the rule's width when floating
};

struct FieldRule {
    int32_t sql_type;
    char letter;          // the field type the catalogue gives such a column
    const char* letters;  // the field types that can hold its values (an append's check)
    WidthRule width_rule;
    // kFixed: the width of the field a new file gets (an existing file may
    // have narrower number fields, whose values are checked as written);
    // kDecimalDigits: the width of a floating decimal.
    int32_t width;
    int32_t decimals;  // the decimal count of a new kFixed field
    ValueKind kind;
    bool may_float;      // a SCALE of 255 makes the value a floating decimal
    bool may_be_row_id;  // a column of this type named gx_row_id is left out
};

// The rule of an SQL type code, or null for a type that has no field.
const FieldRule* field_rule_for(int32_t sql_type);

// The kind of a column's values: the rule's, except that a decimal whose
// scale is 255 floats where the rule lets it.
ValueKind value_kind_of(const FieldRule& rule, int32_t scale);

// Whether a field of type letter ftyp can hold the values of the rule's type.
bool field_letter_holds(const FieldRule& rule, char ftyp);

// Whether column is a 64-bit integer as the library describes one,
// DECIMAL(OSL_INT64_PRECISION, 0): it gets the integer field of
// kInteger64Width.
bool is_integer_carrier(const DescribedColumn& column);

// Whether a DECIMAL or MONEY column of rule has a field: a precision the
// library's decimals hold, and a scale within it unless it floats. The
// library describes any other as unmapped; a server engine that did not
// would still never reach the field table.
bool decimal_has_field(const FieldRule& rule, const DescribedColumn& column);

// The digits after the point of the exponent form a floating field of width
// flen holds: all sixteen from kExponentWidth on, the twelve of older files'
// fields below it.
int exponent_fraction_digits(int32_t flen);

#endif
