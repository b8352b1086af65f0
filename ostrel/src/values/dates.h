// Day numbers and the YYYY-MM-DD text of dates, shared by the value
// conversions and the date API.

#ifndef OSTREL_VALUES_DATES_H
#define OSTREL_VALUES_DATES_H

#include <cstddef>

#include "ostrel/ostrel.h"

OslDate date_from_ymd(int year, int month, int day);

// Exactly "YYYY-MM-DD" naming a real calendar day (year 1 to 9999).
bool date_from_text(const char* text, size_t length, OslDate* date);

// The "YYYY-MM-DD" text of a date, NUL-terminated.
void date_to_text(OslDate date, char text[11]);

#endif
