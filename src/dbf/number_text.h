// Number texts of .dbf fields without printf: the integer form "%<w>d" and
// the exponent forms "%<w>.16e" and "%<w>.12e", written straight into a field
// of a record. The texts are printf's to the byte (std::to_chars is defined
// to produce printf's digits for a given precision), so files stay the same
// while the per-value cost drops from a format parse and a multi-precision
// conversion to a short digit loop.

#ifndef SPOOLMAP_DBF_NUMBER_TEXT_H
#define SPOOLMAP_DBF_NUMBER_TEXT_H

#include <cstdint>

// Digits after the point of the exponent forms. Sixteen give the seventeen
// significant digits that bring every double back as the same double ("%.16e");
// twelve are the form of the fields older files have ("%.12e").
constexpr int kExactFractionDigits = 16;
constexpr int kShortFractionDigits = 12;

// Writes into field[0, width) what snprintf with "%<width>lld" writes for
// value: the decimal text right-aligned, blanks before it, a '-' before the
// digits of a negative value. Returns the length of that text, which is width
// when it fits; when the text needs more than width characters, returns the
// number it needs and leaves the field untouched (printf would overrun the
// field: the caller refuses the value). width is at least 1; no zero byte is
// written.
int32_t write_integer_text(char* field, int32_t width, int64_t value);

// As write_integer_text, for "%<width>.<fraction_digits>e" with
// fraction_digits kExactFractionDigits or kShortFractionDigits: one digit,
// the point, the fraction digits, 'e', the exponent's sign and at least two
// digits, rounded as printf rounds (to nearest, ties to even on the exact
// binary value). Negative zero keeps its sign; infinities and NaN are "inf",
// "-inf", "nan", "-nan" as printf writes them.
int32_t write_exponent_text(char* field, int32_t width, double value, int fraction_digits);

#endif
