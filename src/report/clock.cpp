// The wall clock (see clock.h), through the C library's local time.

#include "report/clock.h"

#include <cstdio>
#include <ctime>

// Local time now, or false.
static bool local_now(struct tm& local) {
    time_t now = std::time(nullptr);
    return now != static_cast<time_t>(-1) && localtime_r(&now, &local) != nullptr;
}

bool time_of_day_text(char* text, size_t size) {
    struct tm local;
    if (!local_now(local)) {
        return false;
    }
    int written =
        std::snprintf(text, size, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return written > 0 && static_cast<size_t>(written) < size;
}

bool today_date(CalendarDate& date) {
    struct tm local;
    if (!local_now(local)) {
        return false;
    }
    date = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday};
    return true;
}
