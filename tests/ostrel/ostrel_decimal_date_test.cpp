// The library's value helpers: decimals by picture and as doubles, dates by
// picture and split, and var buffers.

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <string>

#include "ostrel/ostrel.h"
#include "values/dates.h"
#include "values/decimal.h"

namespace {

OslDecimal decimal(const char* text) {
    OslDecimal d;
    EXPECT_TRUE(decimal_from_text(text, std::strlen(text), &d)) << text;
    return d;
}

std::string formatted(const char* value, const char* picture, int expected_status = 0) {
    OslDecimal d = decimal(value);
    char out[64];
    std::memset(out, '#', sizeof out);
    EXPECT_EQ(osl_decimal_format(&d, picture, out), expected_status) << value << " " << picture;
    EXPECT_EQ(std::strlen(out), std::strlen(picture));
    return out;
}

TEST(OslDecimal, FormatByPicture) {
    EXPECT_EQ(formatted("2.675", "-------.--"), "      2.68");
    EXPECT_EQ(formatted("-2.675", "-------.--"), "     -2.68");
    EXPECT_EQ(formatted("0.5", "----.--"), "   0.50");
    EXPECT_EQ(formatted("0.5", "-.--"), "0.50");
    EXPECT_EQ(formatted("-0.5", "-.--"), "-.50");  // no room for the 0
    EXPECT_EQ(formatted("-0.5", "--.--"), "-0.50");
    EXPECT_EQ(formatted("-0.004", "--.--"), " 0.00");  // rounds to zero: no sign
    EXPECT_EQ(formatted("42", "------&"), "     42");
    EXPECT_EQ(formatted("-42.5", "------&"), "    -43");  // half away from zero
    EXPECT_EQ(formatted("0", "-----&"), "     0");
    EXPECT_EQ(formatted("1e3", "-----&"), "  1000");
    EXPECT_EQ(formatted("12345678901234.56", "---------------.--"), " 12345678901234.56");
    EXPECT_EQ(formatted("-999999", "------&"), "-999999");
    // A value that does not fit fills the picture with '*'.
    EXPECT_EQ(formatted("12345", "---.--", -1), "******");
    EXPECT_EQ(formatted("999.995", "---.--", -1), "******");
    EXPECT_EQ(formatted("-1000000", "------&", -1), "*******");
}

TEST(OslDecimal, WidePicturesShowEveryWholeDigit) {
    std::string picture(99, '-');
    picture += '&';
    char out[256];
    OslDecimal d = decimal("1e80");
    ASSERT_EQ(osl_decimal_format(&d, picture.c_str(), out), 0);
    EXPECT_EQ(std::string(out), std::string(19, ' ') + "1" + std::string(80, '0'));
    d = decimal("1e300");
    std::string widest(254, '-');
    widest += '&';
    ASSERT_EQ(osl_decimal_format(&d, widest.c_str(), out), -1);
    EXPECT_EQ(std::string(out), std::string(255, '*'));
}

TEST(OslDecimal, FromTextsIntegersAndDoubles) {
    char text[kDecimalTextBytes];
    OslDecimal d;
    decimal_from_int64(INT64_MIN, &d);
    decimal_to_text(d, text);
    EXPECT_STREQ(text, "-9223372036854775808");
    ASSERT_TRUE(decimal_from_double(0.1 + 0.2, &d));
    decimal_to_text(d, text);
    EXPECT_STREQ(text, "0.30000000000000004");
    ASSERT_TRUE(decimal_from_double(2.675, &d));
    decimal_to_text(d, text);
    EXPECT_STREQ(text, "2.675");
    ASSERT_TRUE(decimal_from_text(" +000.00120e2 ", 14, &d));
    decimal_to_text(d, text);
    EXPECT_STREQ(text, "0.12");
    // 33 significant digits round to 32, the carry running through the 9s.
    const char* long_text = "999999999999999999999999999999995";
    ASSERT_TRUE(decimal_from_text(long_text, std::strlen(long_text), &d));
    decimal_to_text(d, text);
    EXPECT_STREQ(text, "1000000000000000000000000000000000");
    for (const char* bad : {"", "-", ".", "1.2.3", "1e", "12a", "inf", "nan", "0x10", "1 2"}) {
        EXPECT_FALSE(decimal_from_text(bad, std::strlen(bad), &d)) << bad;
    }
    EXPECT_FALSE(decimal_from_double(1.0 / 0.0, &d));
}

TEST(OslDecimal, FitsPrecisionAndScale) {
    OslDecimal d = decimal("999999.994");
    EXPECT_TRUE(decimal_fit(&d, 8, 2));
    d = decimal("999999.995");  // rounds to 1000000.00: seven whole digits
    EXPECT_FALSE(decimal_fit(&d, 8, 2));
    d = decimal("-0.00001");
    EXPECT_TRUE(decimal_fit(&d, 5, 5));
    d = decimal("123456789012345678901234567890");
    EXPECT_TRUE(decimal_fit(&d, 16, kFloatingScale));  // never refused
    char text[kDecimalTextBytes];
    decimal_to_text(d, text);
    EXPECT_STREQ(text, "123456789012345700000000000000");
}

TEST(OslDecimal, ToDouble) {
    double value = 0;
    OslDecimal d = decimal("1234.5678");
    ASSERT_EQ(osl_decimal_to_double(&d, &value), 0);
    EXPECT_EQ(value, 1234.5678);
    d = decimal("-0");
    ASSERT_EQ(osl_decimal_to_double(&d, &value), 0);
    EXPECT_EQ(value, 0.0);
    d = decimal("1e400");
    EXPECT_LT(osl_decimal_to_double(&d, &value), 0);
}

TEST(OslDate, DaysTextsAndPictures) {
    EXPECT_EQ(date_from_ymd(1900, 1, 1), 1);
    OslDate date = 0;
    ASSERT_TRUE(date_from_text("2023-12-07", 10, &date));
    char out[16];
    ASSERT_EQ(osl_date_format(date, "yyyymmdd", out), 0);
    EXPECT_STREQ(out, "20231207");
    ASSERT_EQ(osl_date_format(date, "dd.mm.yy", out), 0);
    EXPECT_STREQ(out, "07.12.23");
    int16_t mdy[3];
    ASSERT_EQ(osl_date_split(date, mdy), 0);
    EXPECT_EQ(mdy[0], 12);
    EXPECT_EQ(mdy[1], 7);
    EXPECT_EQ(mdy[2], 2023);
    ASSERT_TRUE(date_from_text("0001-01-01", 10, &date));
    ASSERT_EQ(osl_date_format(date, "yyyymmdd", out), 0);
    EXPECT_STREQ(out, "00010101");
    for (const char* bad : {"2023-02-29", "2023-13-01", "2023-00-10", "2023-1-01", "20231207",
                            "2023-12-07T10:00", "0000-01-01", "abcd-ef-gh"}) {
        EXPECT_FALSE(date_from_text(bad, std::strlen(bad), &date)) << bad;
    }
    ASSERT_TRUE(date_from_text("2000-02-29", 10, &date));  // every 400 years

    ASSERT_EQ(osl_today(&date), 0);
    time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    ASSERT_EQ(osl_date_split(date, mdy), 0);
    EXPECT_EQ(mdy[2], local.tm_year + 1900);
    EXPECT_EQ(mdy[0], local.tm_mon + 1);
}

TEST(OslVarBuffer, AllocSetLengthAndRelease) {
    OslVar var = {};
    EXPECT_EQ(osl_var_getdata(&var), nullptr);
    EXPECT_EQ(osl_var_getlen(&var), 0);
    EXPECT_LT(osl_var_setlen(&var, 4), 0);
    ASSERT_EQ(osl_var_alloc(&var, 4), 0);
    ASSERT_EQ(osl_var_setlen(&var, 4), 0);
    EXPECT_LT(osl_var_setlen(&var, var.capacity + 1), 0);
    void* block = osl_var_getdata(&var);
    ASSERT_NE(block, nullptr);
    std::memset(block, 0, 4);
    EXPECT_EQ(osl_var_getlen(&var), 4);
    ASSERT_EQ(osl_var_dealloc(&var), 0);
    EXPECT_EQ(osl_var_getdata(&var), nullptr);

    // The released block comes back for the next row: no malloc per row.
    ASSERT_EQ(osl_var_alloc(&var, 4), 0);
    EXPECT_EQ(osl_var_getdata(&var), block);
    ASSERT_EQ(osl_var_dealloc(&var), 0);
    EXPECT_LT(osl_var_alloc(&var, -1), 0);
    EXPECT_LT(osl_var_alloc(nullptr, 4), 0);
    EXPECT_LT(osl_var_dealloc(nullptr), 0);
}

}  // namespace

namespace {

// The direct way from a double to a scaled decimal agrees with the way
// through its shortest text wherever it answers.
TEST(OslDecimal, ScaledDoublesAgreeWithTheirTexts) {
    uint64_t seed = 0x9E3779B97F4A7C15ULL;
    int answered = 0;
    for (int i = 0; i < 200000; ++i) {
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        int scale = static_cast<int>(seed % 7);
        double value = static_cast<double>(static_cast<int64_t>(seed >> 20) % 200000000) /
                       static_cast<double>(1 + seed % 1000);
        if (i % 3 == 0) {
            value = static_cast<double>(static_cast<int64_t>(seed % 2000001) - 1000000) / 1000.0 +
                    0.0005;  // ties in the decimal text, not in the double
        }
        OslDecimal fast;
        OslDecimal slow;
        ASSERT_TRUE(decimal_from_double(value, &slow));
        bool fits = decimal_fit(&slow, 32, scale);
        if (!decimal_from_double_at_scale(value, scale, &fast)) {
            continue;
        }
        ++answered;
        ASSERT_TRUE(fits);
        ASSERT_TRUE(decimal_fit(&fast, 32, scale));
        char a[kDecimalTextBytes];
        char b[kDecimalTextBytes];
        decimal_to_text(fast, a);
        decimal_to_text(slow, b);
        ASSERT_STREQ(a, b) << value << " at scale " << scale;
    }
    EXPECT_GT(answered, 100000);
}

}  // namespace
