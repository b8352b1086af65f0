// The client library's text and time helpers.

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "ostrel/ostrel.h"

namespace {

TEST(OslText, CompareIgnoresAsciiCaseOnly) {
    EXPECT_EQ(osl_text_compare("GX_ROW_ID", "gx_row_id"), 0);
    EXPECT_EQ(osl_text_compare("Geom", "geom"), 0);
    EXPECT_NE(osl_text_compare("geom", "geom2"), 0);
    EXPECT_NE(osl_text_compare("\xc3\x84", "\xc3\xa4"), 0);
    EXPECT_NE(osl_text_compare("", "a"), 0);
}

TEST(OslText, ToIntAcceptsAWholeSignedDecimalOnly) {
    int32_t value = 7;
    EXPECT_EQ(osl_text_to_int("9", &value), 0);
    EXPECT_EQ(value, 9);
    EXPECT_EQ(osl_text_to_int("-2147483648", &value), 0);
    EXPECT_EQ(value, INT32_MIN);
    EXPECT_EQ(osl_text_to_int("+2147483647", &value), 0);
    EXPECT_EQ(value, INT32_MAX);
    for (const char* bad : {"", " 1", "1 ", "2147483648", "-2147483649", "1.0", "--1", "+", "1e3",
                            "99999999999999999999999"}) {
        value = 7;
        EXPECT_EQ(osl_text_to_int(bad, &value), -1) << bad;
        EXPECT_EQ(value, 7) << bad;
    }
}

TEST(OslTime, TextsAndIntervals) {
    OslDateTime now;
    ASSERT_EQ(osl_current_datetime(&now, OSL_HOUR_TO_SECOND), 0);
    char text[512];
    ASSERT_EQ(osl_datetime_to_text(&now, text, sizeof text), 0);
    EXPECT_TRUE(std::regex_match(text, std::regex("[0-2][0-9]:[0-5][0-9]:[0-5][0-9]"))) << text;

    // A run that passes midnight: the difference of the instants, never negative.
    OslDateTime before = {OSL_HOUR_TO_FRACTION1, 86399 * 1000000LL + 900000, 0};
    OslDateTime after = {OSL_HOUR_TO_FRACTION1, 86400 * 1000000LL + 2 * 3600 * 1000000LL + 500000,
                         0};
    OslInterval elapsed;
    ASSERT_EQ(osl_datetime_subtract(&after, &before, &elapsed), 0);
    ASSERT_EQ(osl_interval_to_text(&elapsed, text, sizeof text), 0);
    EXPECT_STREQ(text, "2:00:00.6");

    // A wall clock set back during the run: the steady readings decide.
    OslDateTime set_back_start = {OSL_HOUR_TO_FRACTION1, 5000 * 1000000LL, 70 * 1000000LL};
    OslDateTime set_back_end = {OSL_HOUR_TO_FRACTION1, 4990 * 1000000LL, 73 * 1000000LL};
    ASSERT_EQ(osl_datetime_subtract(&set_back_end, &set_back_start, &elapsed), 0);
    ASSERT_EQ(osl_interval_to_text(&elapsed, text, sizeof text), 0);
    EXPECT_STREQ(text, "0:00:03.0");

    OslInterval long_run = {OSL_HOUR_TO_FRACTION1, (26 * 3600 + 3 * 60 + 7) * 1000000LL + 400000};
    ASSERT_EQ(osl_interval_to_text(&long_run, text, sizeof text), 0);
    EXPECT_STREQ(text, "26:03:07.4");
    EXPECT_NE(osl_interval_to_text(&long_run, text, 4), 0);
}

}  // namespace
