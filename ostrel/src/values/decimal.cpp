// Exact decimals. An OslDecimal holds sign * 0.d1 d2 ... dn * 10^exponent
// with no leading or trailing zero digits (zero has no digits), so rounding
// and counting whole digits are index arithmetic on the digit array.

#include "values/decimal.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/blanks.h"

namespace {

constexpr int kMaxExponent = 32000;  // well inside int16, beyond any double
constexpr int kPlainTextMaxExponent = 48;
constexpr int kPlainTextMinExponent = -32;

void set_zero(OslDecimal* d) {
    d->sign = 1;
    d->digit_count = 0;
    d->exponent = 0;
}

// Drops trailing zero digits; a decimal left without digits is zero.
void normalise(OslDecimal* d) {
    while (d->digit_count > 0 && d->digits[d->digit_count - 1] == 0) {
        --d->digit_count;
    }
    if (d->digit_count == 0) {
        set_zero(d);
    }
}

// One unit more in the last digit kept, carried up through the nines: 0.999..
// becomes 1 with one place more. The rounding of a value that has more
// digits than it keeps.
void add_last_unit(OslDecimal* d) {
    int i = d->digit_count - 1;
    while (i >= 0 && d->digits[i] == 9) {
        d->digits[i] = 0;
        --i;
    }
    if (i >= 0) {
        ++d->digits[i];
    } else {
        d->digits[0] = 1;
        d->digit_count = 1;
        ++d->exponent;
    }
}

// Keeps the first keep significant digits, rounding half away from zero on
// the first digit dropped (a digit of 5 or more is at least half, whatever
// follows it).
void round_at(OslDecimal* d, int keep) {
    if (keep >= d->digit_count) {
        return;
    }
    if (keep < 0) {
        set_zero(d);
        return;
    }
    bool up = d->digits[keep] >= 5;
    d->digit_count = static_cast<int8_t>(keep);
    if (up) {
        add_last_unit(d);
    }
    normalise(d);
}

}  // namespace

void decimal_from_int64(int64_t value, OslDecimal* result) {
    set_zero(result);
    if (value == 0) {
        return;
    }
    // The magnitude as unsigned, so INT64_MIN has one. Its digits are written
    // from the last up, two at a time, after counting them against the powers
    // of ten (this runs once per value of every INTEGER column).
    static const uint64_t kPowersOfTen[] = {1ULL,
                                            10ULL,
                                            100ULL,
                                            1000ULL,
                                            10000ULL,
                                            100000ULL,
                                            1000000ULL,
                                            10000000ULL,
                                            100000000ULL,
                                            1000000000ULL,
                                            10000000000ULL,
                                            100000000000ULL,
                                            1000000000000ULL,
                                            10000000000000ULL,
                                            100000000000000ULL,
                                            1000000000000000ULL,
                                            10000000000000000ULL,
                                            100000000000000000ULL,
                                            1000000000000000000ULL,
                                            10000000000000000000ULL};
    uint64_t magnitude =
        value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    int count = 1;
    while (count < 20 && magnitude >= kPowersOfTen[count]) {
        ++count;
    }
    int i = count;
    while (i >= 2) {
        unsigned pair = static_cast<unsigned>(magnitude % 100);
        magnitude /= 100;
        result->digits[--i] = static_cast<uint8_t>(pair % 10);
        result->digits[--i] = static_cast<uint8_t>(pair / 10);
    }
    if (i == 1) {
        result->digits[0] = static_cast<uint8_t>(magnitude);
    }
    result->sign = value < 0 ? -1 : 1;
    result->digit_count = static_cast<int8_t>(count);
    result->exponent = static_cast<int16_t>(count);
    normalise(result);
}

size_t shortest_double_text(double value, char* text) {
    auto end = std::to_chars(text, text + 31, value).ptr;
    *end = '\0';
    return static_cast<size_t>(end - text);
}

bool decimal_from_double(double value, OslDecimal* result) {
    if (!std::isfinite(value)) {
        return false;
    }
    char text[32];
    size_t length = shortest_double_text(value, text);
    return decimal_from_text(text, length, result);
}

// Where doubles are dense enough: below 1e9 one unit in the last place is
// at most 2^-23, so the distance of v * 10^scale from the shortest text's
// scaled value stays far below kTieGuard.
static constexpr double kDenseLimit = 1e9;
static constexpr double kTieGuard = 1e-5;
static constexpr int kMaxFastScale = 15;

bool decimal_from_double_at_scale(double value, int scale, OslDecimal* result) {
    static const double kPowersOfTen[kMaxFastScale + 1] = {
        1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    if (scale < 0 || scale > kMaxFastScale || !std::isfinite(value)) {
        return false;
    }
    double scaled = std::fabs(value * kPowersOfTen[scale]);
    if (!(scaled < kDenseLimit)) {
        return false;
    }
    double whole = std::floor(scaled);
    double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) < kTieGuard) {
        return false;  // a tie or nearly: only the decimal text can tell
    }
    int64_t rounded = static_cast<int64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    decimal_from_int64(value < 0 ? -rounded : rounded, result);
    if (result->digit_count > 0) {
        result->exponent = static_cast<int16_t>(result->exponent - scale);
    }
    return true;
}

bool decimal_from_text(const char* text, size_t length, OslDecimal* result) {
    const char* p = text;
    const char* end = text + length;
    while (p < end && is_blank(*p)) {
        ++p;
    }
    while (end > p && is_blank(end[-1])) {
        --end;
    }
    OslDecimal d;
    set_zero(&d);
    if (p < end && (*p == '+' || *p == '-')) {
        d.sign = *p == '-' ? -1 : 1;
        ++p;
    }
    int digits_seen = 0;
    long exponent = 0;  // digits before the point, less leading zeros
    bool point = false;
    bool leading = true;
    bool dropped_round_up = false;
    bool dropped_any = false;
    for (; p < end; ++p) {
        if (*p == '.') {
            if (point) {
                return false;
            }
            point = true;
            continue;
        }
        if (*p < '0' || *p > '9') {
            break;
        }
        ++digits_seen;
        int digit = *p - '0';
        if (leading && digit == 0) {
            if (point) {
                --exponent;  // 0.00d: the first digit sits further down
            }
            continue;
        }
        leading = false;
        if (!point) {
            ++exponent;
        }
        if (d.digit_count < kDecimalMaxDigits) {
            d.digits[d.digit_count++] = static_cast<uint8_t>(digit);
        } else if (!dropped_any) {
            dropped_any = true;
            dropped_round_up = digit >= 5;
        }
    }
    if (digits_seen == 0) {
        return false;
    }
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool negative = false;
        if (p < end && (*p == '+' || *p == '-')) {
            negative = *p == '-';
            ++p;
        }
        if (p == end) {
            return false;
        }
        long power = 0;
        for (; p < end && *p >= '0' && *p <= '9'; ++p) {
            if (power < kMaxExponent * 10L) {
                power = power * 10 + (*p - '0');
            }
        }
        exponent += negative ? -power : power;
    }
    if (p != end) {
        return false;
    }
    if (d.digit_count == 0) {
        *result = d;
        set_zero(result);
        return true;
    }
    if (exponent > kMaxExponent || exponent < -kMaxExponent) {
        return false;
    }
    d.exponent = static_cast<int16_t>(exponent);
    if (dropped_round_up) {
        // The 33rd digit was 5 or more: one unit up in the 32nd place.
        add_last_unit(&d);
    }
    normalise(&d);
    *result = d;
    return true;
}

bool decimal_fit(OslDecimal* value, int precision, int scale) {
    if (scale == kFloatingScale) {
        round_at(value, precision < kDecimalMaxDigits ? precision : kDecimalMaxDigits);
        return true;
    }
    round_at(value, value->exponent + scale);
    int whole_digits = value->digit_count > 0 && value->exponent > 0 ? value->exponent : 0;
    return whole_digits <= precision - scale;
}

void decimal_to_text(const OslDecimal& d, char* text) {
    char* out = text;
    if (d.digit_count == 0) {
        std::strcpy(text, "0");
        return;
    }
    if (d.sign < 0) {
        *out++ = '-';
    }
    if (d.exponent > kPlainTextMaxExponent || d.exponent < kPlainTextMinExponent) {
        *out++ = static_cast<char>('0' + d.digits[0]);
        if (d.digit_count > 1) {
            *out++ = '.';
            for (int i = 1; i < d.digit_count; ++i) {
                *out++ = static_cast<char>('0' + d.digits[i]);
            }
        }
        std::sprintf(out, "E%+d", d.exponent - 1);
        return;
    }
    if (d.exponent <= 0) {
        *out++ = '0';
        *out++ = '.';
        for (int i = d.exponent; i < 0; ++i) {
            *out++ = '0';
        }
        for (int i = 0; i < d.digit_count; ++i) {
            *out++ = static_cast<char>('0' + d.digits[i]);
        }
    } else {
        for (int i = 0; i < d.exponent; ++i) {
            *out++ = static_cast<char>('0' + (i < d.digit_count ? d.digits[i] : 0));
        }
        if (d.digit_count > d.exponent) {
            *out++ = '.';
            for (int i = d.exponent; i < d.digit_count; ++i) {
                *out++ = static_cast<char>('0' + d.digits[i]);
            }
        }
    }
    *out = '\0';
}

// The picture: '-' digit positions with one '.', or a final '&'. The text
// is right-aligned in exactly strlen(picture) characters: blanks, a '-' just
// before the first digit of a negative value, the whole digits ("0" when
// there are none and the picture has room), the point and the decimals.
int osl_decimal_format(const OslDecimal* value, const char* picture, char* out) {
    size_t width = std::strlen(picture);
    const char* point = std::strchr(picture, '.');
    int decimals = point != nullptr ? static_cast<int>(std::strlen(point + 1)) : 0;

    OslDecimal d = *value;
    round_at(&d, d.exponent + decimals);
    bool negative = d.sign < 0 && d.digit_count > 0;

    int whole_digits = d.digit_count > 0 && d.exponent > 0 ? d.exponent : 0;
    size_t needed = (negative ? 1 : 0) + static_cast<size_t>(whole_digits) +
                    (point != nullptr ? 1 + static_cast<size_t>(decimals) : 0);
    bool leading_zero = whole_digits == 0 && (point == nullptr || needed + 1 <= width);
    if (leading_zero) {
        ++needed;
    }
    if (needed > width) {
        std::memset(out, '*', width);
        out[width] = '\0';
        return -1;
    }
    char* p = out;
    std::memset(p, ' ', width - needed);
    p += width - needed;
    if (negative) {
        *p++ = '-';
    }
    if (leading_zero) {
        *p++ = '0';
    }
    for (int i = 0; i < whole_digits; ++i) {
        *p++ = static_cast<char>('0' + (i < d.digit_count ? d.digits[i] : 0));
    }
    if (point != nullptr) {
        *p++ = '.';
        for (int i = 0; i < decimals; ++i) {
            int index = d.exponent + i;
            *p++ = static_cast<char>('0' +
                                     (index >= 0 && index < d.digit_count ? d.digits[index] : 0));
        }
    }
    *p = '\0';
    return 0;
}

int osl_decimal_to_double(const OslDecimal* value, double* result) {
    if (value->digit_count < 0 || value->digit_count > kDecimalMaxDigits) {
        return -1;
    }
    if (value->digit_count == 0) {
        *result = 0.0;
        return 0;
    }
    char text[kDecimalMaxDigits + 16];
    char* p = text;
    *p++ = value->sign < 0 ? '-' : '+';
    *p++ = '.';
    for (int i = 0; i < value->digit_count; ++i) {
        *p++ = static_cast<char>('0' + value->digits[i]);
    }
    std::sprintf(p, "e%d", value->exponent);
    double converted = std::strtod(text, nullptr);
    if (!std::isfinite(converted)) {
        return -1;
    }
    *result = converted;
    return 0;
}
