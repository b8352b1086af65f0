// Time of day and intervals of the client library. A date-time keeps the
// whole instant so that a difference across midnight is still right; its
// qualifier chooses only which units its text shows.

#include <sys/time.h>

#include <cinttypes>
#include <cstdio>
#include <ctime>

#include "ostrel/ostrel.h"

static constexpr int64_t kMicrosPerSecond = 1000000;
static constexpr int64_t kMicrosPerTenth = kMicrosPerSecond / 10;

int osl_current_datetime(OslDateTime* value, int qualifier) {
    struct timeval now;
    if (gettimeofday(&now, nullptr) != 0) {
        return -1;
    }
    value->qualifier = qualifier;
    value->microseconds = static_cast<int64_t>(now.tv_sec) * kMicrosPerSecond + now.tv_usec;
    struct timespec steady;
    value->steady_microseconds =
        clock_gettime(CLOCK_MONOTONIC, &steady) == 0
            ? static_cast<int64_t>(steady.tv_sec) * kMicrosPerSecond + steady.tv_nsec / 1000
            : 0;
    return 0;
}

int osl_datetime_to_text(const OslDateTime* value, char* text, size_t size) {
    if (value->qualifier != OSL_HOUR_TO_SECOND && value->qualifier != OSL_HOUR_TO_FRACTION1) {
        return -1;
    }
    time_t seconds = static_cast<time_t>(value->microseconds / kMicrosPerSecond);
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) {
        return -1;
    }
    int written;
    if (value->qualifier == OSL_HOUR_TO_SECOND) {
        written =
            std::snprintf(text, size, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    } else {
        int tenth = static_cast<int>(value->microseconds % kMicrosPerSecond / kMicrosPerTenth);
        written = std::snprintf(text, size, "%02d:%02d:%02d.%d", local.tm_hour, local.tm_min,
                                local.tm_sec, tenth);
    }
    return (written < 0 || static_cast<size_t>(written) >= size) ? -1 : 0;
}

int osl_datetime_subtract(const OslDateTime* later, const OslDateTime* earlier,
                          OslInterval* result) {
    result->qualifier = OSL_HOUR_TO_FRACTION1;
    bool steady = later->steady_microseconds > 0 && earlier->steady_microseconds > 0;
    result->microseconds = steady ? later->steady_microseconds - earlier->steady_microseconds
                                  : later->microseconds - earlier->microseconds;
    return 0;
}

// Hours grow as needed ("26:03:07.4"); a negative span (a clock stepped back)
// keeps its sign rather than showing a wrapped value.
int osl_interval_to_text(const OslInterval* value, char* text, size_t size) {
    int64_t tenths = value->microseconds / kMicrosPerTenth;
    const char* sign = "";
    if (tenths < 0) {
        sign = "-";
        tenths = -tenths;
    }
    int64_t hours = tenths / 36000;
    int minutes = static_cast<int>(tenths / 600 % 60);
    int seconds = static_cast<int>(tenths / 10 % 60);
    int tenth = static_cast<int>(tenths % 10);
    int written = std::snprintf(text, size, "%s%" PRId64 ":%02d:%02d.%d", sign, hours, minutes,
                                seconds, tenth);
    return (written < 0 || static_cast<size_t>(written) >= size) ? -1 : 0;
}
