// Number texts of .dbf fields (see number_text.h). Each text is made in a
// small stack buffer by std::to_chars and then placed right-aligned in the
// field, so a text that does not fit never touches the record.

#include "dbf/number_text.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

// The longest texts: "-9223372036854775808" (20 characters) and
// "-1.7976931348623157e+308" (24); both buffers leave room to spare.
constexpr int kIntegerTextBytes = 24;
constexpr int kExponentTextBytes = 32;

// Blanks before the text, then the text: the field as "%<width>..." leaves it.
static int32_t place_right_aligned(char* field, int32_t width, const char* text, int32_t length) {
    if (length > width) {
        return length;
    }
    std::memset(field, ' ', static_cast<size_t>(width - length));
    std::memcpy(field + (width - length), text, static_cast<size_t>(length));
    return width;
}

int32_t write_integer_text(char* field, int32_t width, int64_t value) {
    char text[kIntegerTextBytes];
    char* end = std::to_chars(text, text + sizeof text, value).ptr;
    return place_right_aligned(field, width, text, static_cast<int32_t>(end - text));
}

// The powers of ten a long double holds exactly when its significand has 64
// bits (x86's extended precision): 10^27 = 2^27 * 5^27, and 5^27 < 2^64. The
// scaling also reads the whole number out of the significand's bits, which
// takes that format's layout: the 64 significand bits first, in the host's
// little-endian order.
constexpr int kExactPowers = 27;
constexpr bool kExtendedPrecision =
    std::numeric_limits<long double>::digits == 64 && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__;

struct ExactPowersOfTen {
    long double power[kExactPowers + 1];
    constexpr ExactPowersOfTen() : power() {
        long double value = 1;
        for (int k = 0; k <= kExactPowers; ++k) {
            power[k] = value;
            value *= 10;
        }
    }
};
constexpr ExactPowersOfTen kPowersOfTen;

constexpr uint64_t kEightDigits = 100000000;
constexpr char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324"
    "25262728293031323334353637383940414243444546474849"
    "50515253545556575859606162636465666768697071727374"
    "75767778798081828384858687888990919293949596979899";

// 2^63: a 64-bit significand of this magnitude has no fraction bits, and
// the significand of 2^63 + n is n with its top bit set.
constexpr long double kRoundingShift = 9223372036854775808.0L;
constexpr uint64_t kTopBit = uint64_t{1} << 63;
// How near a midpoint between two whole numbers the scaled value may lie
// before the scaling no longer tells which way it rounds: one rounding to 64
// bits errs by at most 2^-64 of the scaled value; the margin is 2^-62 of the
// largest scaled value, some three times that.
constexpr long double kMarginShare = 1.0L / 4611686018427387904.0L;  // 2^-62
constexpr int kDoubleFractionBits = 52;
constexpr int kDoubleExponentBias = 1023;
constexpr int kLog10Of2Scaled = 78913;  // log10(2) * 2^18, rounded down
constexpr int kLog10Of2Shift = 18;

// Writes the low pairs * 2 digits of value, ending just before end.
static char* write_digit_pairs(char* end, uint32_t value, int pairs) {
    for (int pair = 0; pair < pairs; ++pair) {
        end -= 2;
        std::memcpy(end, kDigitPairs + 2 * (value % 100), 2);
        value /= 100;
    }
    return end;
}

// The exponent form with kFraction digits after the point of a finite value
// whose decimal exponent lies within kExactPowers of kFraction (1e-11 to 1e43
// for sixteen digits, 1e-15 to 1e39 for twelve: what tables hold): the value
// times a power of ten that the long double holds exactly gives its digits
// and the fraction after them with one rounding, far from the midpoint where
// printf's rounding (on the exact value, ties to even) is decided. Returns
// the text's length, or 0 where it cannot tell (a value near a midpoint,
// outside the range, zero, a machine without extended precision): the exact
// way then writes it. Several times faster than std::to_chars with a
// precision.
template <int kFraction>
static int32_t exponent_text_by_scaling(double value, char* text) {
    // The significant digits, one before the point and the fraction digits,
    // read as a whole number: from 10^kFraction up to 10^(kFraction + 1).
    constexpr int kDigits = 1 + kFraction;
    static_assert(kFraction % 2 == 0 && kFraction >= 8 && kFraction <= 16, "pairs of digits");
    constexpr uint64_t kSmallestDigits = [] {
        uint64_t power = 1;
        for (int k = 0; k < kFraction; ++k) {
            power *= 10;
        }
        return power;
    }();
    constexpr uint64_t kDigitsEnd = 10 * kSmallestDigits;
    constexpr long double kSmallestScaled = kSmallestDigits;
    constexpr long double kScaledEnd = kDigitsEnd;
    constexpr long double kMidpointMargin = kScaledEnd * kMarginShare;

    double magnitude = std::fabs(value);
    if (!kExtendedPrecision || !(magnitude > 0) || !std::isfinite(magnitude)) {
        return 0;
    }
    // floor(log10(magnitude)), or one less: the digit count corrects it.
    // floor(k * log10(2)) is (k * 78913) >> 18 for every exponent a double
    // has (the shift rounds towards minus infinity).
    uint64_t bits = 0;
    std::memcpy(&bits, &magnitude, sizeof bits);
    int binary_exponent = static_cast<int>(bits >> kDoubleFractionBits) - kDoubleExponentBias;
    int exponent = (binary_exponent * kLog10Of2Scaled) >> kLog10Of2Shift;
    for (int attempt = 0; attempt < 2; ++attempt) {
        int scale = kFraction - exponent;
        if (scale > kExactPowers || scale < -kExactPowers) {
            return 0;
        }
        long double scaled = scale >= 0
                                 ? static_cast<long double>(magnitude) * kPowersOfTen.power[scale]
                                 : static_cast<long double>(magnitude) / kPowersOfTen.power[-scale];
        if (scaled >= kScaledEnd) {
            ++exponent;
            continue;
        }
        if (scaled < kSmallestScaled) {
            --exponent;
            continue;
        }
        // The nearest whole number: added to 2^63 the value keeps no
        // fraction, and the sum's significand is 2^63 plus that number. (A
        // conversion to an integer would switch the x87's rounding mode
        // twice, slower than all the rest.)
        long double shifted = scaled + kRoundingShift;
        long double nearest = shifted - kRoundingShift;
        if (std::fabs(std::fabs(scaled - nearest) - 0.5L) < kMidpointMargin) {
            return 0;
        }
        uint64_t significand = 0;
        std::memcpy(&significand, &shifted, sizeof significand);
        uint64_t digits = significand - kTopBit;
        if (digits == kDigitsEnd) {
            digits = kSmallestDigits;  // 9.999...95 became 10.000...
            ++exponent;
        }
        char* out = text;
        if (std::signbit(value)) {
            *out++ = '-';
        }
        // d.dddd...: the fraction digits eight at a time in 32-bit
        // arithmetic, a pair at a time, then the first digit.
        uint32_t lead = static_cast<uint32_t>(digits / kSmallestDigits);
        uint64_t fraction = digits % kSmallestDigits;
        char* place = out + kDigits + 1;  // past the last digit (and the point)
        int pairs_left = kFraction / 2;
        while (pairs_left > 0) {
            int pairs = pairs_left < 4 ? pairs_left : 4;
            place = write_digit_pairs(place, static_cast<uint32_t>(fraction % kEightDigits), pairs);
            fraction /= kEightDigits;
            pairs_left -= pairs;
        }
        out[1] = '.';
        out[0] = static_cast<char>('0' + lead);
        out += kDigits + 1;
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        int shown = exponent < 0 ? -exponent : exponent;  // below 100 here
        *out++ = static_cast<char>('0' + shown / 10);
        *out++ = static_cast<char>('0' + shown % 10);
        return static_cast<int32_t>(out - text);
    }
    return 0;
}

int32_t write_exponent_text(char* field, int32_t width, double value, int fraction_digits) {
    char text[kExponentTextBytes];
    int32_t length = fraction_digits == kExactFractionDigits
                         ? exponent_text_by_scaling<kExactFractionDigits>(value, text)
                         : exponent_text_by_scaling<kShortFractionDigits>(value, text);
    if (length == 0) {
        char* end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific,
                                  fraction_digits)
                        .ptr;
        length = static_cast<int32_t>(end - text);
    }
    return place_right_aligned(field, width, text, length);
}
