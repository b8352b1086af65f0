// The printf-free number texts against snprintf itself: edge values at the
// narrowest, the usual and the widest field widths, then a seeded sweep over
// random bit patterns (every exponent, denormals, NaNs) and random integers.

#include "dbf/number_text.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

constexpr int kGuardBytes = 4;
constexpr int kWidestField = 255;
constexpr char kUntouched = '#';

// Writes value into a field of width bytes between guard bytes and compares
// with snprintf's text: the same bytes and the width returned when the text
// fits; the text's length returned and the field untouched when it does not.
// Returns false after reporting a difference.
template <typename Value>
bool matches_snprintf(int32_t (*write)(char*, int32_t, Value), const char* format, int32_t width,
                      Value value) {
    char expected[kWidestField + 64];
    int length = std::snprintf(expected, sizeof expected, format, width, value);
    std::string buffer(static_cast<size_t>(width + 2 * kGuardBytes), kUntouched);
    int32_t returned = write(&buffer[kGuardBytes], width, value);
    std::string field = buffer.substr(kGuardBytes, static_cast<size_t>(width));
    std::string guards = buffer.substr(0, kGuardBytes) + buffer.substr(kGuardBytes + width);
    bool fits = length <= width;
    std::string wanted = fits ? std::string(expected) : std::string(width, kUntouched);
    if (returned == length && field == wanted &&
        guards == std::string(2 * kGuardBytes, kUntouched)) {
        return true;
    }
    ADD_FAILURE() << "format " << format << " width " << width << " value "
                  << ::testing::PrintToString(value) << ": snprintf wrote \"" << expected << "\" ("
                  << length << "), the field holds \"" << field << "\", returned " << returned
                  << ", guards \"" << guards << "\"";
    return false;
}

bool integer_matches(int32_t width, int64_t value) {
    return matches_snprintf<int64_t>(write_integer_text, "%*lld", width, value);
}

int32_t write_exact(char* field, int32_t width, double value) {
    return write_exponent_text(field, width, value, kExactFractionDigits);
}

int32_t write_short(char* field, int32_t width, double value) {
    return write_exponent_text(field, width, value, kShortFractionDigits);
}

// Both exponent forms: the sixteen fraction digits of new fields, the twelve
// of older files' fields.
bool exponent_matches(int32_t width, double value) {
    return matches_snprintf<double>(write_exact, "%*.16e", width, value) &&
           matches_snprintf<double>(write_short, "%*.12e", width, value);
}

// 1 and 2 are narrower than most texts, 6, 11, 18, 20 and 24 the widths the
// catalogue gives and had, 255 the widest a descriptor states.
const int32_t kWidths[] = {1, 2, 6, 11, 18, 19, 20, 21, 24, kWidestField};

TEST(NumberText, IntegersAreSnprintfsAtEveryWidth) {
    const int64_t values[] = {0,
                              1,
                              -1,
                              9,
                              -9,
                              10,
                              -10,
                              42,
                              99999,
                              -99999,
                              INT16_MIN,
                              INT16_MAX,
                              INT32_MIN,
                              INT32_MAX,
                              int64_t{INT32_MAX} + 1,
                              999999999999999999,
                              1000000000000000000,
                              INT64_MIN,
                              INT64_MAX};
    for (int32_t width : kWidths) {
        for (int64_t value : values) {
            integer_matches(width, value);
        }
    }
}

TEST(NumberText, ExponentFormsAreSnprintfsAtEveryWidth) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const double values[] = {0.0, -0.0, 1.0, -1.0, 0.1, 0.5, 123456.789, -2.5e-7,
                             // Rounding at the twelfth and the sixteenth decimal: up, down,
                             // carried into the exponent, and exact ties, which printf takes
                             // to the even digit.
                             9.9999999999995, 9.9999999999994, 9.99999999999949e22,
                             99999999999995.0, 12345678901235.0, 12345678901225.0,
                             -12345678901235.0, 99999999999999995.0, 12345678901234565.0,
                             1.78861727063048990, 9223372036854775800.0, 1.0 / 3,
                             // The ends of the range: denormals, the smallest normal, the largest.
                             1e-308, -1e-308, 5e-324, -5e-324, 2.2250738585072009e-308, DBL_MIN,
                             1e308, DBL_MAX, -DBL_MAX,
                             // Not stored by SQLite, but a server's double can be any of them.
                             infinity, -infinity, nan, -nan};
    for (int32_t width : kWidths) {
        for (double value : values) {
            exponent_matches(width, value);
        }
    }
}

// Values with a tail near half a unit of the last digit of either form
// (the thirteenth and the seventeenth), on both sides of the margin where
// the scaling stops telling how the value rounds, at small, usual and large
// exponents.
TEST(NumberText, TailsNearAMidpointMatchSnprintf) {
    for (const char* digits : {"1.234567890123", "9.999999999999", "5.000000000000",
                               "1.2345678901234567", "9.9999999999999999", "5.0000000000000000"}) {
        for (int tail = 4850; tail <= 5150; tail += 7) {
            for (int exponent : {-307, -5, 0, 7, 22, 300}) {
                char text[64];
                std::snprintf(text, sizeof text, "%s%04de%d", digits, tail, exponent);
                exponent_matches(24, std::strtod(text, nullptr));
                exponent_matches(24, -std::strtod(text, nullptr));
            }
        }
    }
}

TEST(NumberText, SeededSweepMatchesSnprintf) {
    constexpr int kDraws = 100000;
    std::mt19937_64 random(13);
    std::uniform_int_distribution<int32_t> width_of(1, 26);
    std::uniform_int_distribution<int> bits_of(0, 63);
    for (int draw = 0; draw < kDraws; ++draw) {
        uint64_t bits = random();
        // Any bit pattern: every exponent, denormals, infinities and NaNs.
        double any;
        std::memcpy(&any, &bits, sizeof any);
        // A value as tables hold them: a few digits at a modest scale.
        double usual = std::ldexp(static_cast<double>(bits >> 11), -53) *
                       std::pow(10.0, static_cast<int>(bits % 17) - 8);
        // An integer of any length, either sign.
        int64_t integer = static_cast<int64_t>(bits) >> bits_of(random);
        int32_t width = width_of(random);
        if (!exponent_matches(24, any) || !exponent_matches(width, usual) ||
            !integer_matches(width, integer)) {
            return;  // one difference is enough to read
        }
    }
}

}  // namespace
