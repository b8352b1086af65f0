// Dates of the client library: day numbers (day 1 is 1900-01-01), today's
// date, its month/day/year split, the YYYY-MM-DD text a database stores and
// the formatting by picture.

#include "values/dates.h"

#include <cstring>
#include <ctime>

namespace {

// Days from 1970-01-01 to y-m-d in the proleptic Gregorian calendar (the
// classic era-based conversion: 400-year eras of 146097 days).
int64_t days_from_civil(int64_t y, int m, int d) {
    y -= m <= 2 ? 1 : 0;
    int64_t era = (y >= 0 ? y : y - 399) / 400;
    int64_t year_of_era = y - era * 400;
    int64_t day_of_year = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    int64_t day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146097 + day_of_era - 719468;
}

void civil_from_days(int64_t z, int64_t* y, int* m, int* d) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    int64_t day_of_era = z - era * 146097;
    int64_t year_of_era =
        (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    int64_t mp = (5 * day_of_year + 2) / 153;
    *d = static_cast<int>(day_of_year - (153 * mp + 2) / 5 + 1);
    *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    *y = year_of_era + era * 400 + (*m <= 2 ? 1 : 0);
}

// Day 0 of OslDate is 1899-12-31.
const int64_t kEpochFrom1970 = days_from_civil(1899, 12, 31);

constexpr int kMaxYear = 9999;

bool is_leap(int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int days_in_month(int64_t y, int m) {
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && is_leap(y) ? 29 : kDays[m - 1];
}

int digit(char c) {
    return c >= '0' && c <= '9' ? c - '0' : -1;
}

// Reads count digits at text; -1 when one is not a digit.
int read_digits(const char* text, int count) {
    int value = 0;
    for (int i = 0; i < count; ++i) {
        int d = digit(text[i]);
        if (d < 0) {
            return -1;
        }
        value = value * 10 + d;
    }
    return value;
}

void write_digits(char* out, int64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}

// Whether text begins with word; text is read no further than its first
// difference from word, so never past its terminator.
bool begins_with(const char* text, const char* word) {
    for (; *word != '\0'; ++text, ++word) {
        if (*text != *word) {
            return false;
        }
    }
    return true;
}

}  // namespace

OslDate date_from_ymd(int year, int month, int day) {
    return static_cast<OslDate>(days_from_civil(year, month, day) - kEpochFrom1970);
}

bool date_from_text(const char* text, size_t length, OslDate* date) {
    constexpr size_t kDateTextChars = 10;  // YYYY-MM-DD
    if (length != kDateTextChars || text[4] != '-' || text[7] != '-') {
        return false;
    }
    int year = read_digits(text, 4);
    int month = read_digits(text + 5, 2);
    int day = read_digits(text + 8, 2);
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > days_in_month(year, month)) {
        return false;
    }
    *date = date_from_ymd(year, month, day);
    return true;
}

void date_to_text(OslDate date, char text[11]) {
    int64_t year;
    int month;
    int day;
    civil_from_days(date + kEpochFrom1970, &year, &month, &day);
    write_digits(text, year, 4);
    text[4] = '-';
    write_digits(text + 5, month, 2);
    text[7] = '-';
    write_digits(text + 8, day, 2);
    text[10] = '\0';
}

int osl_today(OslDate* date) {
    time_t now = std::time(nullptr);
    struct tm local;
    if (localtime_r(&now, &local) == nullptr) {
        return -1;
    }
    *date = date_from_ymd(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
    return 0;
}

int osl_date_split(OslDate date, int16_t mdy[3]) {
    int64_t year;
    int month;
    int day;
    civil_from_days(date + kEpochFrom1970, &year, &month, &day);
    if (year < 1 || year > kMaxYear) {
        return -1;
    }
    mdy[0] = static_cast<int16_t>(month);
    mdy[1] = static_cast<int16_t>(day);
    mdy[2] = static_cast<int16_t>(year);
    return 0;
}

// Pictures: "yyyy" the year in four digits, "yy" in two, "mm" the month,
// "dd" the day; any other character stands for itself. A date whose year
// has no four-digit form fills the picture with '*'. The .dbf picture
// "yyyymmdd" comes once per date of every row: it is written straight.
int osl_date_format(OslDate date, const char* picture, char* out) {
    static const char kDbfPicture[] = "yyyymmdd";
    bool dbf_picture = std::strcmp(picture, kDbfPicture) == 0;
    size_t width = dbf_picture ? sizeof kDbfPicture - 1 : std::strlen(picture);
    int64_t year;
    int month;
    int day;
    civil_from_days(date + kEpochFrom1970, &year, &month, &day);
    if (year < 1 || year > kMaxYear) {
        std::memset(out, '*', width);
        out[width] = '\0';
        return -1;
    }
    if (dbf_picture) {
        write_digits(out, year, 4);
        write_digits(out + 4, month, 2);
        write_digits(out + 6, day, 2);
        out[width] = '\0';
        return 0;
    }
    size_t i = 0;
    while (i < width) {
        if (begins_with(picture + i, "yyyy")) {
            write_digits(out + i, year, 4);
            i += 4;
        } else if (begins_with(picture + i, "yy")) {
            write_digits(out + i, year % 100, 2);
            i += 2;
        } else if (begins_with(picture + i, "mm")) {
            write_digits(out + i, month, 2);
            i += 2;
        } else if (begins_with(picture + i, "dd")) {
            write_digits(out + i, day, 2);
            i += 2;
        } else {
            out[i] = picture[i];
            ++i;
        }
    }
    out[width] = '\0';
    return 0;
}
