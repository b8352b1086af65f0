// Exact decimals (OslDecimal): made from integers, doubles and texts, rounded
// half away from zero, formatted by picture and turned into doubles.

#ifndef OSTREL_VALUES_DECIMAL_H
#define OSTREL_VALUES_DECIMAL_H

#include <cstddef>
#include <cstdint>

#include "ostrel/ostrel.h"

constexpr int kDecimalMaxDigits = OSL_DECIMAL_MAX_DIGITS;
constexpr int kFloatingScale = OSL_FLOATING_SCALE;  // DECIMAL(p) without a scale

void decimal_from_int64(int64_t value, OslDecimal* result);

// From the shortest decimal text that reads back as the same double (so
// 2.675 is 2.675, not 2.67499999...). False for an infinite value.
bool decimal_from_double(double value, OslDecimal* result);

// The same as decimal_from_double followed by rounding to scale digits
// after the point, without the text, where that is sure to give the same
// result; false where it is not (then take the way through the text).
bool decimal_from_double_at_scale(double value, int scale, OslDecimal* result);

// A decimal number text: blanks, an optional sign, digits with at most one
// point, an optional exponent, blanks. False for anything else. More than 32
// significant digits are rounded to 32.
bool decimal_from_text(const char* text, size_t length, OslDecimal* result);

// Rounds half away from zero to scale digits after the point, or (scale 255)
// to precision significant digits. False when the whole part then has more
// digits than precision - scale (never for scale 255).
bool decimal_fit(OslDecimal* value, int precision, int scale);

// The plain text of a decimal ("-12.5", "0.001", "1200"), NUL-terminated;
// text must hold kDecimalTextBytes.
constexpr size_t kDecimalTextBytes = kDecimalMaxDigits + 32 + 4 + 1;
void decimal_to_text(const OslDecimal& value, char* text);

// The shortest round-trip text of a double (to_chars); text must hold 32
// bytes. Returns its length.
size_t shortest_double_text(double value, char* text);

#endif
