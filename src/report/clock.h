// The wall clock as spoolmap reads it for itself: the time of day that
// stamps each log entry and today's date that the .dbf header carries, both
// in local time. Neither needs a database.

#ifndef SPOOLMAP_REPORT_CLOCK_H
#define SPOOLMAP_REPORT_CLOCK_H

#include <cstddef>

// "hh:mm:ss" (24-hour clock) into text; false, text untouched, when the
// clock cannot be read or text has fewer than 9 bytes.
bool time_of_day_text(char* text, size_t size);

struct CalendarDate {
    int year;   // as 2026
    int month;  // 1 to 12
    int day;    // 1 to 31
};

// Today's date; false when the clock cannot be read.
bool today_date(CalendarDate& date);

#endif
